// A DICOM data set, command set, query identifier, or a sequence/item of defined length nested in
// another data set. It owns an ordered list of entries, each an element or a nested DcmObj.
//
// Sequences and items of undefined length, and encapsulated pixel data, stay flat in the list
// (opener, items and delimiters in stream order). "Top-level" entries are those outside such flat
// structures; insertion and lookup by tag see top-level entries only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/DcmEntry.h"
#include "dicom/DcmTag.h"
#include "dicom/EntryCache.h"
#include "dicom/TagKey.h"
#include "dicom/TransferSyntaxes.h"

class FileWriter;

class DcmObj : public DcmEntry {
 public:
  DcmObj();
  // A nested data set (a sequence or an item) with the element that opens it as its header.
  explicit DcmObj(std::unique_ptr<DcmTag> headerElement);
  ~DcmObj() override;
  // Items come and go by the hundred with every object: their memory is kept for reuse.
  static void* operator new(size_t size) { return EntryCache<DcmObj>::Take(size); }
  static void operator delete(void* memory, size_t size) { EntryCache<DcmObj>::Give(memory, size); }
  DcmObj(const DcmObj&) = delete;
  DcmObj& operator=(const DcmObj&) = delete;

  // --- container (data sets) ---
  void Clear();  // keeps header, transferSyntax, photometricInterpretation, explicitVR
  int Count() const;
  // Index access throws std::out_of_range outside 0..Count()-1.
  const char* ClassNameAt(int index) const;
  DcmTag* TagAt(int index) const;  // null when the entry is a nested data set
  DcmObj* ObjAt(int index) const;  // null when the entry is an element
  void Add(DcmEntry* entry);       // appends; takes ownership
  void Insert(DcmTag* tag);        // in tag order, replacing an equal tag; takes ownership
  void SetString(uint16_t group, uint16_t element, const std::string& text);
  void InsertSequence(uint16_t group, uint16_t element, DcmObj* sequence);  // takes ownership
  void InsertAt(DcmEntry* entry, int index);  // 0..Count(); takes ownership
  void Delete(int index);
  uint16_t GetUShort(uint16_t group, uint16_t element) const;
  std::string GetString(uint16_t group, uint16_t element) const;
  // The same by a named tag (dicom/Tags.h): dataSet.GetString(tag::kPatientID).
  uint16_t GetUShort(TagKey tag) const { return GetUShort(tag.group, tag.element); }
  std::string GetString(TagKey tag) const { return GetString(tag.group, tag.element); }
  void SetString(TagKey tag, const std::string& text) { SetString(tag.group, tag.element, text); }
  void Dump(std::vector<std::string>& lines, int depth) const;

  // --- files and nested values ---
  bool Read(const std::string& path);  // appends; sets transferSyntax and explicitVR
  // Part 10 file through a FileWriter: encoded straight into one temporary file beside the
  // path, flushed to the disk and renamed into place; true when the file is in place and on
  // the disk.
  bool Write(const std::string& path);
  // Encodes this data set as a Part 10 file into `file` without finishing it, so the caller
  // decides when it goes into place; true when every byte was handed to the file.
  bool Write(FileWriter& file);
  // Parses the value of a sequence or item element into a new nested data set appended here.
  bool ParseSequence(const DcmTag& element, bool bigEndian, int depth = 0);
  // Parses the value of a sequence or item element into this data set's list (appending).
  bool Expand_SQ(const DcmTag& element, bool bigEndian, int depth = 0);
  // Encodes this data set's entries into the header element's value and length.
  void EncodeSequence(DcmTag& headerElement, bool bigEndian);

  // --- transfer-syntax conversion (dicom/codec) ---
  bool ConvertTransferSyntax(const std::string& targetUid);
  void Decomp(int pixelIndex, uint8_t* buffer, uint32_t size, int frames, uint16_t bitsAllocated);
  bool Comp(int& pixelIndex, uint8_t* buffer, bool colour, uint16_t columns, uint16_t rows,
            uint16_t bitsStored, uint16_t bitsAllocated, uint16_t pixelRepresentation, float slope,
            float intercept, float& ratio, int frames, const std::string& targetUid,
            const std::string& modality);
  void DecodeRLE(const uint8_t* fragment, uint8_t* out, uint32_t fragmentLength, uint32_t frameSize,
                 uint16_t bitsAllocated);

  std::vector<std::unique_ptr<DcmEntry>> items;
  std::string transferSyntax{ts::kImplicitLE};
  std::string photometricInterpretation;
  bool explicitVR = false;
  std::unique_ptr<DcmTag> header;
};
