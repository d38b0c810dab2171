// Narrowing of a STUDY query by the calling user's fixed keys (Users table of vesmora.db).
#include <memory>
#include <vector>

#include "db/LocalQuery.h"
#include "db/SQLdb.h"
#include "db/dbInsert.h"
#include "dicom/DcmObj.h"
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
    uint16_t group;
    uint16_t element;
  };
  static constexpr UserKey kUserKeys[] = {
      {5, 0x0008, 0x0090}, {6, 0x0008, 0x0080}, {7, 0x0008, 0x1030}, {8, 0x0008, 0x0061}};
  for (const UserKey& key : kUserKeys) {
    const std::string value = GetField(key.field, ";", rows.front());  // untrimmed, as stored
    if (!value.empty()) identifier.SetString(key.group, key.element, value);
  }
  return true;
}
