// The Series table: schema, insert, and deletion of one series with its files.
#pragma once

#include <functional>
#include <string>

#include "db/SQLdb.h"
#include "db/SeriesInfo.h"

class DcmObj;

class SeriesDB : public SeriesInfo {
 public:
  // Creates the Series table and series_index; true when the table was created.
  bool CreateTable(SQLdb& db);
  // `seriesPath` is date/studyFolder/seriesFolder as recorded in Series.SeriesPath.
  bool Insert(SQLdb& db, const std::string& table, const DcmObj& dataSet,
              const std::string& seriesPath);
  // Deletes the files named by the series' Objects rows (never following links, and only when
  // the series folder lies strictly inside the image store), removes the folder when empty,
  // then deletes the Objects and Series rows. SeriesInstanceUID, StudyInstanceUID and
  // SeriesPath (as recorded, "/"-separated) must be set.
  bool Delete(SQLdb& db, const std::function<void()>& pump = {});

  std::string SeriesPath;
};
