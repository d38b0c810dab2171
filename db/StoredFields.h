// Columns read exactly as the database holds them. The row text of SQLdb::Query turns a ";"
// inside a value into ":", so a folder path or a key read through it can name something other
// than what the row holds; readers that build paths or delete by key read them here instead.
// Internal to the database library.
#pragma once

#include <string>
#include <vector>

#include "db/SQLdb.h"

// Runs "SELECT <columns> " + rest (rest: "FROM ... WHERE ...=?", with `values` bound) and appends
// one vector of column values per row, byte for byte as stored (NULL gives ""). Returns
// SQLdb::Query's result: 0 when the statement ran to its end.
int QueryStoredFields(SQLdb& db, const std::vector<std::string>& columns, const std::string& rest,
                      const SqlValues& values, std::vector<std::vector<std::string>>& rows);
