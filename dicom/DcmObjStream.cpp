// A data set to and from bytes: Part 10 files, and the values of sequences and items.
#include <algorithm>
#include <memory>

#include "dicom/BufData.h"
#include "dicom/DcmObj.h"
#include "dicom/Nesting.h"
#include "dicom/ScratchBuffer.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/util/Log.h"
#include "platform/FileWriter.h"

bool DcmObj::Read(const std::string& path) {
  BufData codec(false);
  ScratchLease lease(codec.MS.Bytes());
  if (!codec.LoadFromFile(path)) return false;
  std::string syntax;
  switch (codec.ReadMetaGroup(syntax)) {
    case BufData::MetaOutcome::Read:
      break;
    case BufData::MetaOutcome::NotPart10:
      return false;
    case BufData::MetaOutcome::Cut:
      LogWrite("ERROR: DcmObj::Read, " + path);
      return false;
  }
  transferSyntax = syntax;
  explicitVR = syntax != ts::kImplicitLE;
  codec.bigEndian = syntax == ts::kExplicitBE;
  if (!codec.ReadOjb(*this)) {
    LogWrite("ERROR: DcmObj::Read, " + path);
    return false;
  }
  return true;
}

bool DcmObj::Write(const std::string& path) {
  FileWriter file(path);
  return Write(file) && file.Commit();
}

bool DcmObj::Write(FileWriter& file) {
  BufData codec(false, file);
  codec.WriteMetaHeader(GetString(tag::kSOPClassUID), GetString(tag::kSOPInstanceUID),
                        transferSyntax);
  if (transferSyntax == ts::kExplicitBE) codec.bigEndian = true;
  // Group 0002 belongs to the file meta header just written; copies that arrived inside the
  // data set would follow it and could carry a stale transfer syntax.
  codec.WriteEntries(*this, true);
  return file.ok();
}

bool DcmObj::ParseSequence(const DcmTag& element, bool bigEndian, int depth) {
  auto nested = std::make_unique<DcmObj>();
  nested->explicitVR = explicitVR;
  if (!nested->Expand_SQ(element, bigEndian, depth + 1)) return false;
  nested->header->group = element.group;
  nested->header->element = element.element;
  nested->header->length = element.length;
  nested->header->SetVR(NestedHeaderVR(element.group, element.element));
  items.push_back(std::move(nested));
  return true;
}

bool DcmObj::Expand_SQ(const DcmTag& element, bool bigEndian, int depth) {
  if (depth > BufData::kMaxNestingDepth) {
    LogWrite("ERROR, Expand_SQ: Reading tag...");
    return false;
  }
  BufData codec(bigEndian);
  const uint32_t size = element.length == kUndefinedLength
                            ? 0
                            : std::min<uint32_t>(element.length, element.data.size());
  codec.WriteBytes(element.data.data(), size);
  codec.SetPosition(0);
  return codec.ReadRange(*this, codec.GetSize(), depth, true);
}

void DcmObj::EncodeSequence(DcmTag& headerElement, bool bigEndian) {
  BufData codec(bigEndian);
  codec.ReserveFor(*this);
  codec.WriteEntries(*this, false);
  headerElement.length = static_cast<uint32_t>(codec.GetSize());
  headerElement.data = std::move(codec.MS.Bytes());
  if (headerElement.length == 0) headerElement.ReleaseData();
}
