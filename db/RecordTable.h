// The query records as tables: one row per attribute says where ReadDCO takes it from and how it
// is trimmed, how WriteDCO writes it, which column registration stores it in and whether a
// query answer's column maps back to its tag. Reading, writing, inserting and the column maps
// loop over these rows. Internal to the database library.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "db/ImageInfo.h"
#include "db/SeriesInfo.h"
#include "db/StudyInfo.h"
#include "dicom/TagKey.h"

class DcmObj;
class DcmTag;
class dbInsert;

enum class Read {
  Trimmed,  // the value text without blanks and control bytes at either end
  AsIs,     // the value text untrimmed
  Number,   // the trimmed text as a decimal integer, its low 16 bits (0 when it is none)
  Never,    // set only by the record's user
};
enum class Stored {
  No,       // no column of the level's table
  Text,     // a text column, converted to the database's encoding
  Integer,  // an integer column: the text as a decimal integer, 0 when it is none
};

template <class Record>
struct Attribute {
  const char* column = nullptr;  // the column's name, in the table or in a query answer
  TagKey tag{0, 0};              // {0, 0}: no element (a column the record's owner fills)
  std::string Record::*text = nullptr;
  uint16_t Record::*number = nullptr;  // Read::Number rows
  Read read = Read::Trimmed;
  const char* writtenVR = nullptr;  // WriteDCO writes the key with this VR; nullptr: not a key
  Stored stored = Stored::No;
  bool answered = false;        // a query answer's column of this name stands for `tag`
  const char* fixed = nullptr;  // a constant value where the record holds none
};

// Each level's rows: the stored ones in the order of the table's columns.
std::span<const Attribute<StudyInfo>> StudyAttributes();
std::span<const Attribute<SeriesInfo>> SeriesAttributes();
std::span<const Attribute<ImageInfo>> ImageAttributes();

// Fills the record from the data set's top-level elements (dicom/TopLevel.h) in list order, with
// the text `textOf` makes of each element. Elements of length 0 or undefined length leave their
// fields alone; tags no row reads are ignored.
template <class Record>
void ReadAttributes(Record& record, std::span<const Attribute<Record>> rows, const DcmObj& dataSet,
                    const std::function<std::string(const DcmTag&)>& textOf);
// Stores one value of `tag` by its row's rule; a tag no row reads is ignored.
template <class Record>
void SetAttribute(Record& record, std::span<const Attribute<Record>> rows, TagKey tag,
                  const std::string& value);
// Appends the query keys in ascending tag order (the rows with a written VR).
template <class Record>
void WriteAttributes(const Record& record, std::span<const Attribute<Record>> rows,
                     DcmObj& identifier);
// Adds the stored columns in table order; a column the record holds no value for takes
// `ownerText` (the study or series folder, the day of receipt).
template <class Record>
void AddAttributeColumns(dbInsert& insert, const Record& record,
                         std::span<const Attribute<Record>> rows, const std::string& ownerText);
// The tag a query answer's column stands for; {0, 0} for a name the level does not answer.
template <class Record>
TagKey AnsweredTag(std::span<const Attribute<Record>> rows, const std::string& column);
