// The Objects table: schema, insert, and removal of one row.
#pragma once

#include <string>

#include "db/ImageInfo.h"
#include "db/SQLdb.h"

class DcmObj;

class ObjectsDB : public ImageInfo {
 public:
  // Creates the Objects table, st_object_index and se_object_index; true when the table was
  // created.
  bool CreateTable(SQLdb& db);
  bool Insert(SQLdb& db, const std::string& table, const DcmObj& dataSet);
  // Removes the Objects row of one SOP Instance UID: the writers' undo when an object's file
  // cannot be put in place. True when the statement ran (also when no row matched).
  static bool Delete(SQLdb& db, const std::string& sopInstanceUID);
};
