// Modality worklist C-FIND: the whole Worklist table of database/vesmora.db is read and every
// row matched in memory against the identifier, key by key and through nested sequences.
#include <array>
#include <memory>
#include <vector>

#include "db/SQLdb.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/server/Services.h"
#include "net/server/rules/WorklistMatching.h"

namespace {
constexpr const char* kWorklistQuery = "SELECT * from Worklist";
// Deeper nesting in a query makes the row a mismatch rather than recursing further.
constexpr int kMaxWorklistDepth = 64;

enum class Rule { Text, Range };
struct WorklistKey {
  uint16_t group;
  uint16_t element;
  int column;  // position in the row, from 1
  Rule rule;
};

constexpr std::array<WorklistKey, 22> kWorklistKeys = {{
    {0x0008, 0x0050, 1, Rule::Text},  {0x0010, 0x0010, 2, Rule::Text},
    {0x0010, 0x0020, 3, Rule::Text},  {0x0010, 0x0030, 4, Rule::Text},
    {0x0010, 0x0040, 5, Rule::Text},  {0x0010, 0x2110, 6, Rule::Text},
    {0x0020, 0x000D, 7, Rule::Text},  {0x0032, 0x1032, 8, Rule::Text},
    {0x0032, 0x1060, 9, Rule::Text},  {0x0040, 0x0001, 10, Rule::Text},
    {0x0040, 0x0007, 11, Rule::Text}, {0x0040, 0x0011, 12, Rule::Text},
    {0x0008, 0x0060, 13, Rule::Text}, {0x0040, 0x0006, 14, Rule::Text},
    {0x0040, 0x0012, 15, Rule::Text}, {0x0040, 0x0009, 16, Rule::Text},
    {0x0032, 0x1070, 17, Rule::Text}, {0x0040, 0x0002, 18, Rule::Range},
    {0x0040, 0x0003, 19, Rule::Range}, {0x0040, 0x0010, 20, Rule::Text},
    {0x0040, 0x1001, 21, Rule::Text}, {0x0040, 0x1003, 22, Rule::Text},
}};

const WorklistKey* KeyFor(const DcmTag& tag) {
  for (const WorklistKey& key : kWorklistKeys) {
    if (key.group == tag.group && key.element == tag.element) return &key;
  }
  return nullptr;
}

DcmTag* CopyOf(const DcmTag& tag) {
  auto* copy = new DcmTag();
  copy->group = tag.group;
  copy->element = tag.element;
  std::copy(std::begin(tag.vr), std::end(tag.vr), copy->vr);
  copy->length = tag.length;
  copy->data = tag.data;
  return copy;
}

bool IsEchoedGroup(uint16_t group) {
  return group == 0x0008 || group == 0x0010 || group == 0x0020 || group == 0x0032 ||
         group == 0x0038 || group == 0x0040;
}

// Elements that are not keys: echoed, re-typed or dropped by their tag.
void EchoNonKey(const DcmTag& tag, DcmObj& response) {
  if (tag.group == 0xFFFE) {
    if (tag.element != 0xE000 && tag.element != 0xE00D && tag.element != 0xE0DD) return;
    auto* marker = new DcmTag();
    marker->group = tag.group;
    marker->element = tag.element;
    marker->length = tag.length;
    marker->SetVR("DL");
    response.Add(marker);
    return;
  }
  if (tag.group == 0x0008 && tag.element == 0x0005) return;
  if (!IsEchoedGroup(tag.group)) return;
  DcmTag* copy = CopyOf(tag);
  if (tag.group == 0x0040 && (tag.element == 0x0008 || tag.element == 0x000B)) copy->SetVR("SQ");
  response.Add(copy);
}

// Compares one key with the row's column and appends the column's value; true on a mismatch.
bool MatchKey(const DcmTag& tag, const WorklistKey& key, const std::string& value,
              DcmObj& response) {
  std::string keyText;
  if (tag.length != 0 && tag.length != kUndefinedLength) {
    keyText = tag.GetString();
    if (keyText.empty()) keyText = " ";  // a blank key is not an empty one
  }
  const bool mismatch =
      key.rule == Rule::Text ? MatchString(keyText, value) : MatchDateRange(keyText, value);
  response.Add(new DcmTag(tag.group, tag.element, value));
  return mismatch;
}

bool MatchWorklistRow(const DcmObj& query, DcmObj& response, int index, bool& match,
                      const std::vector<std::string>& rows, int depth) {
  match = true;
  if (index > static_cast<int>(rows.size()) - 1) return false;
  if (depth > kMaxWorklistDepth) {
    match = false;
    return true;
  }
  bool mismatch = false;
  for (int i = 0; i < query.Count(); ++i) {
    if (const DcmTag* tag = query.TagAt(i)) {
      if (const WorklistKey* key = KeyFor(*tag)) {
        mismatch |= MatchKey(*tag, *key, GetField(key->column, ";", rows[index]), response);
      } else {
        EchoNonKey(*tag, response);
      }
    } else if (const DcmObj* nested = query.ObjAt(i)) {
      auto sub = std::make_unique<DcmObj>();
      bool subMatch = true;
      MatchWorklistRow(*nested, *sub, index, subMatch, rows, depth + 1);
      if (!subMatch) match = false;
      if (nested->header) {
        response.InsertSequence(nested->header->group, nested->header->element, sub.release());
      }
    }
    if (mismatch) match = false;
  }
  return true;
}

bool QueryWorklistDB(std::vector<std::string>& rows) {
  SQLdb db("vesmora", kOpenReadWrite);
  if (!db.isOpen) {
    LogWrite("ERROR, Couldn't open Vesmora database");
    return false;
  }
  if (db.Query(kWorklistQuery, rows) != 0) {
    LogWrite(std::string("ERROR, QueryStudyDB, Query=") + kWorklistQuery);
    return false;
  }
  return true;
}
}  // namespace

bool WorklistFindSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& /*context*/) {
  DcmObj query;
  if (!CFind::ReadRQ(&pdu, &command, &query)) {
    LogWrite("ERROR, cfind.ReadRQ failed!");
    return false;
  }
  DcmObj response;
  PrepareFindResponse(pdu, response);
  std::vector<std::string> rows;
  QueryWorklistDB(rows);
  bool error = false;
  bool match = false;
  for (int index = 0; !error && MatchWorklistRow(query, response, index, match, rows, 0); ++index) {
    if (match) {
      if (!CFind::WriteRSP(&pdu, &command, &response, kStatusPending)) {
        LogWrite("ERROR, Worklist RSP: Failed!");
        error = true;
      } else if (LogLevel.load(std::memory_order_relaxed) > 0) {
        LogWrite("Worklist RSP: Ok!");
      }
    }
    response.Clear();
  }
  CFind::WriteRSP(&pdu, &command, nullptr, error ? kStatusUnableToProcess : kStatusSuccess);
  return !error;
}
