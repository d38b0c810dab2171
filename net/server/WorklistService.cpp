// Modality worklist C-FIND: the whole Worklist table of database/vesmora.db is read and every
// row matched in memory against the identifier, key by key and through nested sequences.
#include <array>
#include <memory>
#include <vector>

#include "db/CharacterSet.h"
#include "db/SQLdb.h"
#include "dicom/DcmObj.h"
#include "dicom/Dictionary.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
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
  TagKey tag;
  int column;  // position in the row, from 1
  Rule rule;
};

constexpr std::array<WorklistKey, 22> kWorklistKeys = {{
    {tag::kAccessionNumber, 1, Rule::Text},
    {tag::kPatientName, 2, Rule::Text},
    {tag::kPatientID, 3, Rule::Text},
    {tag::kPatientBirthDate, 4, Rule::Text},
    {tag::kPatientSex, 5, Rule::Text},
    {tag::kAllergies, 6, Rule::Text},
    {tag::kStudyInstanceUID, 7, Rule::Text},
    {tag::kRequestingPhysician, 8, Rule::Text},
    {tag::kRequestedProcedureDescription, 9, Rule::Text},
    {tag::kScheduledStationAETitle, 10, Rule::Text},
    {tag::kScheduledProcedureStepDescription, 11, Rule::Text},
    {tag::kScheduledProcedureStepLocation, 12, Rule::Text},
    {tag::kModality, 13, Rule::Text},
    {tag::kScheduledPerformingPhysicianName, 14, Rule::Text},
    {tag::kPreMedication, 15, Rule::Text},
    {tag::kScheduledProcedureStepID, 16, Rule::Text},
    {tag::kRequestedContrastAgent, 17, Rule::Text},
    {tag::kScheduledProcedureStepStartDate, 18, Rule::Range},
    {tag::kScheduledProcedureStepStartTime, 19, Rule::Range},
    {tag::kScheduledStationName, 20, Rule::Text},
    {tag::kRequestedProcedureID, 21, Rule::Text},
    {tag::kRequestedProcedurePriority, 22, Rule::Text},
}};

const WorklistKey* KeyFor(const DcmTag& tag) {
  for (const WorklistKey& key : kWorklistKeys) {
    if (IsTag(tag, key.tag)) return &key;
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
  if (tag.group == tag::kItem.group) {
    if (!IsTag(tag, tag::kItem) && !IsTag(tag, tag::kItemDelimitationItem) &&
        !IsTag(tag, tag::kSequenceDelimitationItem))
      return;
    auto* marker = new DcmTag();
    marker->group = tag.group;
    marker->element = tag.element;
    marker->length = tag.length;
    marker->SetVR("DL");
    response.Add(marker);
    return;
  }
  if (IsTag(tag, tag::kSpecificCharacterSet)) return;
  if (!IsEchoedGroup(tag.group)) return;
  DcmTag* copy = CopyOf(tag);
  if (IsTag(tag, tag::kScheduledProtocolCodeSequence) ||
      IsTag(tag, tag::kScheduledPerformingPhysicianIdentificationSequence))
    copy->SetVR("SQ");
  response.Add(copy);
}

// Compares one key, converted from the query's character set into the worklist's encoding, with
// the row's column and appends the column's value; true on a mismatch.
bool MatchKey(const DcmTag& tag, const WorklistKey& key, const std::string& value,
              ReceivedCharacterSet keysIn, DcmObj& response) {
  std::string keyText;
  if (tag.length != 0 && tag.length != kUndefinedLength) {
    keyText = ToDatabaseText(tag.GetString(), keysIn);
    if (keyText.empty()) keyText = " ";  // a blank key is not an empty one
  }
  const bool mismatch =
      key.rule == Rule::Text ? MatchString(keyText, value) : MatchDateRange(keyText, value);
  response.Add(new DcmTag(tag.group, tag.element, value));
  return mismatch;
}

// The first key of the query, nested items included, that holds a character the worklist's
// encoding cannot hold; null when there is none. Such a key would compare its "?" with every
// other character that became one, so the query matches no row.
const DcmTag* UnheldKey(const DcmObj& query, ReceivedCharacterSet keysIn, int depth) {
  if (depth > kMaxWorklistDepth) return nullptr;
  for (int i = 0; i < query.Count(); ++i) {
    if (const DcmTag* tag = query.TagAt(i)) {
      if (KeyFor(*tag) && tag->length != 0 && tag->length != kUndefinedLength &&
          !DatabaseHolds(tag->GetString(), keysIn))
        return tag;
    } else if (const DcmObj* nested = query.ObjAt(i)) {
      if (const DcmTag* unheld = UnheldKey(*nested, keysIn, depth + 1)) return unheld;
    }
  }
  return nullptr;
}

// `keysIn`: what the top level of the query declares; it holds for the keys of nested items too.
bool MatchWorklistRow(const DcmObj& query, DcmObj& response, int index, bool& match,
                      const std::vector<std::string>& rows, ReceivedCharacterSet keysIn,
                      int depth) {
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
        mismatch |= MatchKey(*tag, *key, GetField(key->column, ";", rows[index]), keysIn, response);
      } else {
        EchoNonKey(*tag, response);
      }
    } else if (const DcmObj* nested = query.ObjAt(i)) {
      auto sub = std::make_unique<DcmObj>();
      bool subMatch = true;
      MatchWorklistRow(*nested, *sub, index, subMatch, rows, keysIn, depth + 1);
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
  const ReceivedCharacterSet keysIn = DeclaredCharacterSet(query);
  if (const DcmTag* unheld = UnheldKey(query, keysIn, 0)) {
    const DictionaryRow* key = LookupDictionary(unheld->group, unheld->element);
    LogWrite(std::string("WARNING, Worklist key ") + (key ? key->name : "") +
             " holds a character the database cannot hold; no match");
  } else {
    QueryWorklistDB(rows);
  }
  bool error = false;
  bool match = false;
  for (int index = 0; !error && MatchWorklistRow(query, response, index, match, rows, keysIn, 0);
       ++index) {
    if (match) {
      // The worklist's texts are in the database's one encoding; a peer reads them right only
      // when the answer says so, as a C-FIND answer does. Pure ASCII needs no declaration.
      if (HasBytesAbove7F(rows[index]))
        response.InsertAt(
            NewTag(tag::kSpecificCharacterSet, std::string(kDatabaseCharacterSet), "CS"), 0);
      if (!CFind::WriteRSP(&pdu, &command, &response, kStatusPending)) {
        LogWrite("ERROR, Worklist RSP: Failed!");
        error = true;
      } else if (LoggingAbove(0)) {
        LogWrite("Worklist RSP: Ok!");
      }
    }
    response.Clear();
  }
  CFind::WriteRSP(&pdu, &command, nullptr, error ? kStatusUnableToProcess : kStatusSuccess);
  return !error;
}
