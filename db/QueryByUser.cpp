// Narrowing of a STUDY query by the calling user's fixed keys (Users table of vesmora.db).
#include <memory>
#include <vector>

#include "db/CharacterSet.h"
#include "db/LocalQuery.h"
#include "db/SQLdb.h"
#include "db/dbInsert.h"
#include "dicom/DcmObj.h"
#include "dicom/Tags.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"

bool ModifyQueryByUser(const std::string& user, DcmObj& identifier) {
  auto db = std::make_unique<SQLdb>("vesmora", kOpenReadOnly);
  if (!db->isOpen) {
    LogWrite("ERROR, ModifyQueryByUser, opening vesmora database");
    return false;
  }
  std::vector<std::string> rows;
  // Looked up like every other key: a "'" stands for the blank stored in its place.
  if (db->Query("SELECT * FROM Users WHERE UserName=?", {StoredText(user)}, rows) != 0) {
    LogWrite("ERROR, Querying vesmora db, " + db->errorText);
    return false;
  }
  if (rows.empty()) {
    LogWrite("WARNING, " + user + " is not in the user database");
    return false;
  }
  struct UserKey {
    int field;  // PhysicianName, InstitutionName, StudyDescription, StudyModality
    TagKey tag;
  };
  static constexpr UserKey kUserKeys[] = {{5, tag::kReferringPhysicianName},
                                          {6, tag::kInstitutionName},
                                          {7, tag::kStudyDescription},
                                          {8, tag::kModalitiesInStudy}};
  // The values join the peer's keys, so they are written in the identifier's declared character
  // set: the query converts every key back from it.
  const ReceivedCharacterSet keysIn = DeclaredCharacterSet(identifier);
  for (const UserKey& key : kUserKeys) {
    const std::string value = GetField(key.field, ";", rows.front());  // untrimmed, as stored
    if (!value.empty()) identifier.SetString(key.tag, FromDatabaseText(value, keysIn));
  }
  return true;
}
