// Each column is selected through hex(), whose text holds only hexadecimal digits, so the row
// text carries it unchanged; the bytes are decoded here.
#include "db/StoredFields.h"

#include "dicom/util/TextUtil.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of hex()'s upper-case text; an odd or foreign digit ends the value there.
std::string FromHex(const std::string& hex) {
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) break;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

}  // namespace

int QueryStoredFields(SQLdb& db, const std::vector<std::string>& columns, const std::string& rest,
                      const SqlValues& values, std::vector<std::vector<std::string>>& rows) {
  std::string select;
  for (const std::string& column : columns)
    select += (select.empty() ? "hex(" : ", hex(") + column + ")";
  std::vector<std::string> texts;
  const int rc = db.Query("SELECT " + select + " " + rest, values, texts);
  for (const std::string& text : texts) {
    std::vector<std::string> fields;
    for (size_t n = 1; n <= columns.size(); ++n)
      fields.push_back(FromHex(GetField(static_cast<int>(n), ";", text)));
    rows.push_back(std::move(fields));
  }
  return rc;
}
