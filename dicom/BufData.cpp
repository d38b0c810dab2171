// The element codec: one element or a whole data set to bytes and back, and the Part 10 file
// meta header. Reading works on bytes from files and peers, so every declared length is
// compared with what remains before anything is allocated, and nesting is bounded.
#include "dicom/BufData.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/Dictionary.h"
#include "dicom/Implementation.h"
#include "dicom/Nesting.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/util/ByteOrder.h"
#include "dicom/util/Log.h"
#include "platform/FileWriter.h"
#include "platform/Files.h"

namespace {

constexpr uint64_t kPreambleSize = 128;
constexpr uint64_t kMetaStart = kPreambleSize + 4;                 // after "DICM"
constexpr uint64_t kMetaLengthValue = kMetaStart + 2 + 2 + 2 + 2;  // value of (0002,0000)

uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

// VRs whose explicit encoding has two reserved bytes and a 4-byte length. Asked for every
// element read or written, hence a switch rather than a list search.
bool HasLongLength(const char* vr) {
  switch (vr[0]) {
    case 'O':
      return vr[1] == 'B' || vr[1] == 'F' || vr[1] == 'W' || vr[1] == 'D' || vr[1] == 'L' ||
             vr[1] == 'V';
    case 'S':
      return vr[1] == 'Q' || vr[1] == 'V';
    case 'U':
      return vr[1] == 'N' || vr[1] == 'T' || vr[1] == 'C' || vr[1] == 'R' || vr[1] == 'V';
    default:
      return false;
  }
}

// Groups 0000 (commands) and FFFE (items, delimiters) never carry a VR.
bool NeverHasVR(uint16_t group) { return group == 0x0000 || group == 0xFFFE; }

bool IsSequenceOrItem(const DcmTag& t) { return t.HasVR("SQ") || IsTag(t, tag::kItem); }

// Values of at least this many bytes read from a lent block refer into it; smaller ones are
// copied, which costs less than the shared ownership.
constexpr uint32_t kLendValuesFrom = 1024;

// Most elements take 12 bytes or more; the list of a large range is left to grow from 64.
size_t LikelyEntries(uint64_t bytes) { return size_t(std::min<uint64_t>(bytes / 12 + 1, 64)); }

bool HasDefinedNonZeroLength(const DcmTag& t) {
  return t.length != 0 && t.length != kUndefinedLength;
}

void LogNestedReadFailure() { LogWrite("ERROR, Expand_SQ: Reading tag..."); }

}  // namespace

BufData::BufData(bool bigEndian_) : bigEndian(bigEndian_) {}

BufData::BufData(bool bigEndian_, FileWriter& file) : bigEndian(bigEndian_), file_(&file) {}

// --- numbers and bytes ---

bool BufData::ReadU16(uint16_t& value) { return TakeU16(value, MS.Size()); }
bool BufData::ReadU32(uint32_t& value) { return TakeU32(value, MS.Size()); }

void BufData::WriteU16(uint16_t value) {
  uint8_t b[2];
  Store16(b, value);
  Put(b, 2);
}

void BufData::WriteU32(uint32_t value) {
  uint8_t b[4];
  Store32(b, value);
  Put(b, 4);
}

void BufData::WriteBytes(const void* bytes, uint32_t count) { Put(bytes, count); }

void BufData::Put(const void* bytes, uint32_t count) {
  if (file_) {
    file_->Append(bytes, count);
  } else {
    MS.Write(bytes, count);
  }
}

void BufData::PutZeros(uint32_t count) {
  const std::vector<uint8_t> zeros(count, 0);
  Put(zeros.data(), count);
}

uint64_t BufData::Tell() const { return file_ ? file_->Size() : MS.Position(); }

uint32_t BufData::ReadBytes(void* buffer, uint32_t count) { return MS.Read(buffer, count); }

// Reads exactly `count` bytes before `end`; when fewer remain, reads nothing and fails.
bool BufData::Take(void* out, uint32_t count, uint64_t end) {
  const uint64_t pos = MS.Position();
  if (pos > end || end - pos < count || MS.Remaining() < count) return false;
  std::memcpy(out, MS.Data() + pos, count);
  MS.Seek(pos + count);
  return true;
}

bool BufData::TakeU16(uint16_t& value, uint64_t end) {
  uint8_t b[2] = {0, 0};
  value = 0;
  if (!Take(b, 2, end)) return false;
  value = DecodeU16(b, bigEndian);
  return true;
}

bool BufData::TakeU32(uint32_t& value, uint64_t end) {
  uint8_t b[4] = {0, 0, 0, 0};
  value = 0;
  if (!Take(b, 4, end)) return false;
  value = DecodeU32(b, bigEndian);
  return true;
}

void BufData::Store16(uint8_t* at, uint16_t value) const {
  if (bigEndian) value = Swap16(value);
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void BufData::Store32(uint8_t* at, uint32_t value) const {
  if (bigEndian) value = Swap32(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// --- reading elements ---

// Reads group, element, VR and length. A header cut off by `end` is reported as such, so that
// a stream ending in a few stray bytes still reads.
BufData::ReadStatus BufData::ReadHeader(DcmTag& tag, bool explicitVR, uint64_t end) {
  tag.group = tag.element = 0;
  tag.SetVR(nullptr);
  tag.length = 0;
  tag.data.clear();
  if (!TakeU16(tag.group, end) || !TakeU16(tag.element, end)) return ReadStatus::TruncatedHeader;

  // Group 0002 is always explicit VR, whatever the stream.
  const bool readVR = !NeverHasVR(tag.group) && (explicitVR || tag.group == 0x0002);
  if (!readVR) {
    return TakeU32(tag.length, end) ? ReadStatus::Ok : ReadStatus::TruncatedHeader;
  }

  uint8_t letters[2] = {0, 0};
  if (!Take(letters, 2, end)) return ReadStatus::TruncatedHeader;
  // Letters below "A" (bytes of 0x80 and above included: the test is signed) mean the element
  // is implicit VR after all: these two bytes and the next two form a little-endian length.
  if (static_cast<int8_t>(letters[0]) < 0x41 || static_cast<int8_t>(letters[1]) < 0x41) {
    uint8_t high[2] = {0, 0};
    if (!Take(high, 2, end)) return ReadStatus::TruncatedHeader;
    tag.length = static_cast<uint32_t>(letters[0]) | (static_cast<uint32_t>(letters[1]) << 8) |
                 (static_cast<uint32_t>(high[0]) << 16) | (static_cast<uint32_t>(high[1]) << 24);
    tag.LookupVR();
    return ReadStatus::Ok;
  }
  const char vr[3] = {static_cast<char>(letters[0]), static_cast<char>(letters[1]), 0};
  tag.SetVR(vr);
  if (!explicitVR) tag.LookupVR();  // group 0002 in an implicit stream

  if (HasLongLength(tag.vr)) {
    uint8_t reserved[2];
    if (!Take(reserved, 2, end)) return ReadStatus::TruncatedHeader;
    return TakeU32(tag.length, end) ? ReadStatus::Ok : ReadStatus::TruncatedHeader;
  }
  uint16_t shortLength = 0;
  if (!TakeU16(shortLength, end)) return ReadStatus::TruncatedHeader;
  tag.length = shortLength;
  return ReadStatus::Ok;
}

// A declared length is compared with the bytes left before anything is allocated: one element
// claiming 4 GiB must not make us reserve 4 GiB. A short value moves to `end`, as a short read
// of the whole length would have.
bool BufData::CheckValueFits(const DcmTag& tag, uint64_t end) {
  const uint64_t pos = MS.Position();
  const uint64_t left = pos < end ? end - pos : 0;
  if (tag.length <= left) return true;
  char line[160];
  std::snprintf(line, sizeof line,
                "ERROR: read bytes!=tag->length (%04X,%04X) count=%d, tag->length=%u", tag.group,
                tag.element, static_cast<int>(left), tag.length);
  LogWrite(line);
  MS.Seek(end);
  return false;
}

bool BufData::ReadValue(DcmTag& tag, uint64_t end) {
  if (tag.length == 0 || tag.length == kUndefinedLength) return true;
  if (!CheckValueFits(tag, end)) return false;
  try {
    const uint8_t* from = MS.Data() + MS.Position();
    if (MS.Lent() && tag.length >= kLendValuesFrom)
      tag.data.Share(MS.Lent(), from, tag.length);
    else
      tag.data.assign(from, from + tag.length);
  } catch (const std::exception&) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "ERROR: ReadTag, (%04X,%04X) tag->length=%u, MS Size=%llu, MS Pos=%llu",
                  tag.group, tag.element, tag.length, static_cast<unsigned long long>(MS.Size()),
                  static_cast<unsigned long long>(MS.Position()));
    LogWrite(line);
    return false;
  }
  MS.Seek(MS.Position() + tag.length);
  return true;
}

bool BufData::ReadTag(DcmTag& tag, bool explicitVR) {
  const uint64_t end = MS.Size();
  if (ReadHeader(tag, explicitVR, end) != ReadStatus::Ok) return false;
  return ReadValue(tag, end);
}

// Reads the elements between the position and `end` into obj. Sequences and items of defined,
// non-zero length become nested data sets parsed in place (no copy per level); everything else,
// and everything after pixel data, is appended flat. `insideValue` is set for the value of a
// sequence or item, whose failed reads are reported as such.
bool BufData::ReadRange(DcmObj& obj, uint64_t end, int depth, bool insideValue) {
  bool afterPixelData = false;
  // Room for the entries the range is likely to hold, so a small item grows its list once.
  if (obj.items.empty()) obj.items.reserve(LikelyEntries(end - std::min(end, MS.Position())));
  while (MS.Position() < end) {
    auto tag = std::make_unique<DcmTag>();
    const ReadStatus status = ReadHeader(*tag, obj.explicitVR, end);
    if (status == ReadStatus::TruncatedHeader) {
      MS.Seek(end);
      return true;
    }
    if (!obj.explicitVR) {
      tag->LookupVR();
      if (tag->HasVR("UN") && tag->length == kUndefinedLength) tag->SetVR("SQ");
    }

    // Pixel data is never expanded, whatever VR it claims, and nothing after it is either.
    const bool nest = !afterPixelData && !IsTag(*tag, tag::kPixelData) && IsSequenceOrItem(*tag) &&
                      HasDefinedNonZeroLength(*tag);
    if (!nest) {
      if (!ReadValue(*tag, end)) {
        if (insideValue) LogNestedReadFailure();
        return false;
      }
      if (IsTag(*tag, tag::kPixelData)) afterPixelData = true;
      obj.items.push_back(std::move(tag));
      continue;
    }

    if (!CheckValueFits(*tag, end)) {
      if (insideValue) LogNestedReadFailure();
      return false;
    }
    if (depth + 1 > kMaxNestingDepth) {
      LogNestedReadFailure();
      return false;
    }
    const uint64_t valueEnd = MS.Position() + tag->length;
    tag->SetVR(NestedHeaderVR(tag->group, tag->element));
    auto nested = std::make_unique<DcmObj>(std::move(tag));
    nested->explicitVR = obj.explicitVR;
    if (!ReadRange(*nested, valueEnd, depth + 1, true)) return false;
    MS.Seek(valueEnd);
    obj.items.push_back(std::move(nested));
  }
  return true;
}

bool BufData::ReadOjb(DcmObj& obj, int depth) { return ReadRange(obj, MS.Size(), depth, false); }

// --- writing elements ---

// The header is assembled apart and written in one go: encoding a data set writes one per element.
void BufData::WriteHeader(uint16_t group, uint16_t element, uint32_t length, const char* vr,
                          bool explicitVR) {
  uint8_t h[12] = {};
  Store16(h, group);
  Store16(h + 2, element);
  // Group 0002 is always written with its VR, as it is always read with one.
  if (NeverHasVR(group) || !(explicitVR || group == 0x0002)) {
    Store32(h + 4, length);
    Put(h, 8);
    return;
  }
  if (vr && vr[0]) {
    h[4] = static_cast<uint8_t>(vr[0]);
    h[5] = static_cast<uint8_t>(vr[1]);
  } else {
    // An element without a VR gets the dictionary's, so the stream stays readable.
    const DictionaryRow* row = LookupDictionary(group, element);
    std::memcpy(h + 4, row ? row->vr : "UN", 2);
  }
  const char letters[2] = {static_cast<char>(h[4]), static_cast<char>(h[5])};
  if (HasLongLength(letters)) {
    Store32(h + 8, length);  // after the two reserved zero bytes
    Put(h, 12);
  } else if (length > 0xFFFF) {
    // A value too long for a 2-byte length (undefined length included) is written as "UN" with a
    // 4-byte length, which every reader accepts, instead of a cut length that corrupts the stream.
    h[4] = 'U';
    h[5] = 'N';
    Store32(h + 8, length);
    Put(h, 12);
  } else {
    Store16(h + 6, static_cast<uint16_t>(length));
    Put(h, 8);
  }
}

void BufData::WriteElement(uint16_t group, uint16_t element, uint32_t length, const void* value,
                           const char* vr, bool explicitVR) {
  WriteHeader(group, element, length, vr, explicitVR);
  if (length == 0 || length == kUndefinedLength) return;
  if (value) {
    Put(value, length);
  } else {
    PutZeros(length);
  }
}

void BufData::WriteTag(const DcmTag& tag, bool explicitVR) {
  WriteHeader(tag.group, tag.element, tag.length, tag.vr, explicitVR);
  if (tag.length == 0 || tag.length == kUndefinedLength) return;
  // The value is always `length` bytes, so the stream stays in step even if a caller left
  // fewer bytes in the element.
  const uint32_t have =
      tag.data.size() < tag.length ? static_cast<uint32_t>(tag.data.size()) : tag.length;
  Put(tag.data.data(), have);
  if (have < tag.length) PutZeros(tag.length - have);
}

void BufData::PatchU32(uint64_t offset, uint32_t value) {
  if (file_) {
    uint8_t b[4];
    Store32(b, value);
    file_->Overwrite(offset, b, 4);
    return;
  }
  const uint64_t back = MS.Position();
  MS.Seek(offset);
  WriteU32(value);
  MS.Seek(back);
}

// A nested data set is written as its header with a defined length, then its entries. Where the
// header has a 4-byte length the entries are written in place and the length filled in after;
// otherwise the set is encoded apart first.
void BufData::WriteNested(DcmObj& nested) {
  DcmTag& header = *nested.header;
  const bool fourByteLength =
      NeverHasVR(header.group) || !(nested.explicitVR || header.group == 0x0002) ||
      HasLongLength(header.vr) || (header.vr[0] == 0 && [&] {
        const DictionaryRow* row = LookupDictionary(header.group, header.element);
        return !row || HasLongLength(row->vr);
      }());
  if (!fourByteLength) {
    nested.EncodeSequence(header, bigEndian);
    WriteTag(header, nested.explicitVR);
    header.ReleaseData();
    return;
  }
  WriteHeader(header.group, header.element, 0, header.vr, nested.explicitVR);
  const uint64_t lengthAt = Tell() - 4;
  const uint64_t start = Tell();
  WriteEntries(nested, false);
  header.length = static_cast<uint32_t>(Tell() - start);
  header.ReleaseData();
  PatchU32(lengthAt, header.length);
}

// The content of an undefined-length "UN" is implicit VR little endian even in an explicit-VR
// stream (how such elements arise from unknown sequences), so it is written that way until the
// delimiter that closes it; other readers parse it so.
void BufData::WriteEntries(DcmObj& obj, bool skipMetaGroup) {
  NestingState nesting;
  bool inImplicitContent = false;
  int implicitContentEndsAt = 0;  // the open-structure count at which the "UN" closes
  for (auto& entry : obj.items) {
    const bool explicitHere = obj.explicitVR && !inImplicitContent;
    const bool top = nesting.Advance(*entry);
    if (entry->kind() == DcmEntry::Kind::Tag) {
      const DcmTag& tag = static_cast<const DcmTag&>(*entry);
      if (skipMetaGroup && top && tag.group == 0x0002) continue;
      WriteTag(tag, explicitHere);
      if (explicitHere && tag.HasVR("UN") && tag.length == kUndefinedLength &&
          nesting.OpenStructures() > 0) {
        inImplicitContent = true;
        implicitContentEndsAt = nesting.OpenStructures() - 1;
      } else if (inImplicitContent && nesting.OpenStructures() == implicitContentEndsAt) {
        inImplicitContent = false;
      }
    } else {
      DcmObj& nested = static_cast<DcmObj&>(*entry);
      if (skipMetaGroup && top && nested.header->group == 0x0002) continue;
      nested.explicitVR = explicitHere;
      WriteNested(nested);
    }
  }
}

void BufData::WriteObj(DcmObj& obj) {
  if (obj.transferSyntax == ts::kExplicitBE) bigEndian = true;
  ReserveFor(obj);
  WriteEntries(obj, false);
}

// At most 12 header bytes per entry plus its value: reserving that once spares the buffer its
// repeated growth (a copy and fresh pages each time) while a large data set is encoded.
uint64_t BufData::EncodedSizeBound(const DcmObj& obj) {
  uint64_t size = 0;
  for (const auto& entry : obj.items) {
    size += 12;
    if (entry->kind() == DcmEntry::Kind::Tag) {
      const uint32_t length = static_cast<const DcmTag&>(*entry).length;
      if (length != kUndefinedLength) size += length;
    } else {
      size += EncodedSizeBound(static_cast<const DcmObj&>(*entry));
    }
  }
  return size;
}

void BufData::ReserveFor(const DcmObj& obj) { MS.Reserve(MS.Position() + EncodedSizeBound(obj)); }

// --- file meta header ---

bool BufData::ReadMetaHeader(std::string& transferSyntax) {
  return ReadMetaGroup(transferSyntax) == MetaOutcome::Read;
}

// The meta group is read element by element up to the first element of another group. A file
// that ends inside it is cut short like any truncated file, and fails: the data set that should
// follow is missing, and reading it as an empty object would pass a broken file for a whole one.
// It ends inside the group when an element of group 0002 is cut, when the group length
// (0002,0000) reaches past the end, or when nothing at all follows "DICM".
BufData::MetaOutcome BufData::ReadMetaGroup(std::string& transferSyntax) {
  // The meta group is always little endian.
  const bool savedOrder = bigEndian;
  bigEndian = false;
  char magic[4] = {0, 0, 0, 0};
  MS.Seek(kPreambleSize);
  if (MS.Read(magic, 4) != 4 || std::memcmp(magic, "DICM", 4) != 0) {
    Clear();
    bigEndian = savedOrder;
    return MetaOutcome::NotPart10;
  }
  transferSyntax.clear();
  const uint64_t end = MS.Size();
  uint64_t declaredEnd = 0;  // where (0002,0000) says the group ends; 0 without one
  MetaOutcome outcome = end > kMetaStart ? MetaOutcome::Read : MetaOutcome::Cut;
  while (MS.Position() < end) {
    // Only the group of the next element is looked at before deciding: the first element of the
    // data set may be big endian and must not be decoded here. Any group but 0002 starts the
    // data set, so an element of group 0000 or 0001 there is not swallowed as meta.
    const uint64_t start = MS.Position();
    uint16_t group = 0;
    if (!TakeU16(group, end)) {
      // One byte left: stray bytes after the group, unless nothing of it came yet.
      if (start == kMetaStart) outcome = MetaOutcome::Cut;
      break;
    }
    MS.Seek(start);
    if (group != 0x0002) break;
    DcmTag tag;
    if (ReadHeader(tag, true, end) != ReadStatus::Ok || !ReadValue(tag, end)) {
      outcome = MetaOutcome::Cut;
      break;
    }
    if (tag.element == 0x0000 && tag.length == 4) declaredEnd = MS.Position() + tag.GetULong();
    if (tag.element == 0x0010) transferSyntax = tag.GetString();
  }
  if (declaredEnd > end) outcome = MetaOutcome::Cut;
  bigEndian = savedOrder;
  return outcome;
}

void BufData::WriteMetaHeader(const std::string& sopClassUid, const std::string& sopInstanceUid,
                              const std::string& transferSyntaxUid) {
  const bool savedOrder = bigEndian;
  bigEndian = false;
  Clear();
  const uint64_t start = Tell();  // 0: an empty stream, or a file not yet written to
  PutZeros(kPreambleSize);        // the preamble
  Put("DICM", 4);
  WriteTag(MakeTag(tag::kFileMetaInformationGroupLength, static_cast<uint32_t>(0), "UL"), true);
  const uint8_t version[2] = {0x00, 0x01};
  WriteTag(MakeTag(tag::kFileMetaInformationVersion, 2, version, "OB"), true);
  WriteTag(MakeTag(tag::kMediaStorageSOPClassUID, sopClassUid, "UI"), true);
  WriteTag(MakeTag(tag::kMediaStorageSOPInstanceUID, sopInstanceUid, "UI"), true);
  WriteTag(MakeTag(tag::kTransferSyntaxUID, transferSyntaxUid, "UI"), true);
  WriteTag(MakeTag(tag::kImplementationClassUID, kImplementationClassUid, "UI"), true);
  // The version name is written with its terminating NUL: 12 bytes.
  WriteTag(MakeTag(tag::kImplementationVersionName, sizeof kImplementationVersionName,
                   kImplementationVersionName, "SH"),
           true);
  PatchU32(start + kMetaLengthValue,
           static_cast<uint32_t>(Tell() - (start + kMetaLengthValue + 4)));
  bigEndian = savedOrder;
}

// --- files ---

bool BufData::LoadFromFile(const std::string& path) {
  MS.Clear();
  if (!Files().ReadFile(path, MS.Bytes())) {
    MS.Clear();
    return false;
  }
  MS.Seek(0);
  return true;
}

bool BufData::SaveToFile(const std::string& path) {
  return Files().WriteFileAtomically(path, MS.Bytes().data(), MS.Bytes().size());
}
