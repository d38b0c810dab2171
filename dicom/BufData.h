// The element codec: DICOM data elements and data sets to bytes and back, over an in-memory
// stream with a position, little or big endian, explicit or implicit VR, and the Part 10 file
// meta header. The association service uses the same operations for P-DATA messages.
//
// Everything read here is untrusted: every declared length is checked against the bytes that
// remain before anything is allocated.
#pragma once

#include <cstdint>
#include <string>

#include "dicom/MemoryStream.h"

class DcmTag;
class DcmObj;
class FileWriter;

class BufData {
 public:
  explicit BufData(bool bigEndian);
  // A codec that writes straight into a file instead of its stream (a Part 10 file encoded
  // without a copy of the whole object in memory). Only the writing operations may be used;
  // the writer must outlive the codec.
  BufData(bool bigEndian, FileWriter& file);
  BufData(const BufData&) = delete;
  BufData& operator=(const BufData&) = delete;

  bool ReadU16(uint16_t& value);
  bool ReadU32(uint32_t& value);
  void WriteU16(uint16_t value);
  void WriteU32(uint32_t value);
  void WriteBytes(const void* bytes, uint32_t count);
  uint32_t ReadBytes(void* buffer, uint32_t count);  // returns how many were read

  void WriteElement(uint16_t group, uint16_t element, uint32_t length, const void* value,
                    const char* vr, bool explicitVR);
  void WriteTag(const DcmTag& tag, bool explicitVR);
  // Reads one element at the position (value included); false on a truncated or failed read.
  bool ReadTag(DcmTag& tag, bool explicitVR);
  // Reads elements from the position to the end and appends them; `depth` is obj's nesting level.
  bool ReadOjb(DcmObj& obj, int depth = 0);
  // Writes every entry; switches to big endian for "1.2.840.10008.1.2.2".
  void WriteObj(DcmObj& obj);
  // Checks "DICM" and reads the file meta group, leaving the position at the data set; false
  // for a file without "DICM" (the stream is then emptied) and for one cut inside the group.
  bool ReadMetaHeader(std::string& transferSyntax);
  void WriteMetaHeader(const std::string& sopClassUid, const std::string& sopInstanceUid,
                       const std::string& transferSyntaxUid);

  uint64_t GetPosition() const { return MS.Position(); }
  void SetPosition(uint64_t position) { MS.Seek(position); }
  uint64_t GetSize() const { return MS.Size(); }
  void Clear() { MS.Clear(); }
  bool LoadFromFile(const std::string& path);
  bool SaveToFile(const std::string& path);  // through a FileWriter (Files().WriteFileAtomically)

  bool bigEndian;
  MemoryStream MS;

  // Nesting deeper than this (each sequence or item counts one level) is refused, so a hostile
  // peer cannot exhaust the stack.
  static constexpr int kMaxNestingDepth = 256;

 private:
  friend class DcmObj;
  enum class ReadStatus { Ok, TruncatedHeader, Failed };
  enum class MetaOutcome { Read, NotPart10, Cut };
  MetaOutcome ReadMetaGroup(std::string& transferSyntax);

  // Where encoded bytes go: the stream at its position, or the end of the file.
  void Put(const void* bytes, uint32_t count);
  void PutZeros(uint32_t count);
  uint64_t Tell() const;  // the write position: in the stream, or the file's size

  bool Take(void* out, uint32_t count, uint64_t end);
  bool TakeU16(uint16_t& value, uint64_t end);
  bool TakeU32(uint32_t& value, uint64_t end);
  // A number in the stream's byte order at `at`.
  void Store16(uint8_t* at, uint16_t value) const;
  void Store32(uint8_t* at, uint32_t value) const;
  ReadStatus ReadHeader(DcmTag& tag, bool explicitVR, uint64_t end);
  bool ReadValue(DcmTag& tag, uint64_t end);
  bool CheckValueFits(const DcmTag& tag, uint64_t end);
  bool ReadRange(DcmObj& obj, uint64_t end, int depth, bool insideValue);
  void WriteHeader(uint16_t group, uint16_t element, uint32_t length, const char* vr,
                   bool explicitVR);
  void WriteEntries(DcmObj& obj, bool skipMetaGroup);
  void WriteNested(DcmObj& nested);
  void PatchU32(uint64_t offset, uint32_t value);
  static uint64_t EncodedSizeBound(const DcmObj& obj);
  void ReserveFor(const DcmObj& obj);  // room to encode obj after the position

  FileWriter* file_ = nullptr;
};
