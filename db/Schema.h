// The statements that create the study database's tables and indexes, letter for letter.
// Readers take "SELECT *" rows apart by position, so the column order is part of the format.
#pragma once

inline constexpr const char* kCreateStudyTable =
    "CREATE TABLE Study (StudyInstanceUID VARCHAR(64) PRIMARY KEY,StudyDate VARCHAR(8),"
    "StudyTime VARCHAR(16),StudyID VARCHAR(16),StudyDescription VARCHAR(64),"
    "AccessionNumber VARCHAR(16),ReferPhysician VARCHAR(64),StudyModality VARCHAR(64),"
    "StationName VARCHAR(16),InstitutionName VARCHAR(64),StudyPath VARCHAR(8),"
    "PatientID VARCHAR(64),PatientName VARCHAR(64),PatientSex VARCHAR(16),"
    "PatientBD VARCHAR(8));";

inline constexpr const char* kCreateSeriesTable =
    "CREATE TABLE Series (SeriesInstanceUID VARCHAR(64) PRIMARY KEY,SeriesNumber VARCHAR(12),"
    "SeriesDate VARCHAR(8),SeriesTime VARCHAR(16),SeriesDescription VARCHAR(64),"
    "Modality VARCHAR(16),InstitutionName VARCHAR(64),Manufacturer VARCHAR(64),"
    "ModelName VARCHAR(64),BodyPartExamined VARCHAR(64),ProtocolName VARCHAR(64),"
    "SeriesPath VARCHAR(32),StudyInstanceUID VARCHAR(64));";

inline constexpr const char* kCreateObjectsTable =
    "CREATE TABLE Objects (SOPInstanceUID VARCHAR(64) PRIMARY KEY,SOPClassUID VARCHAR(64),"
    "ImageNumber INTEGER,ContentDate VARCHAR(8),ContentTime VARCHAR(16),"
    "AcquisitionNumber INTEGER,AcquisitionDate VARCHAR(8),AcquisitionTime VARCHAR(16),"
    "SliceLocation VARCHAR(16),ReceivedDate VARCHAR(8),SeriesInstanceUID VARCHAR(64),"
    "StudyInstanceUID VARCHAR(64),ConvolutionKernel VARCHAR(16),BackupStatus INTEGER,"
    "KeyObject VARCHAR(1));";

inline constexpr const char* kCreateSeriesIndex =
    "CREATE INDEX series_index ON Series(StudyInstanceUID)";
inline constexpr const char* kCreateStudyObjectIndex =
    "CREATE INDEX st_object_index ON Objects(StudyInstanceUID)";
inline constexpr const char* kCreateSeriesObjectIndex =
    "CREATE INDEX se_object_index ON Objects(SeriesInstanceUID)";

// The indexes on the Study columns that searches key on (Patient ID and Patient Name by prefix,
// Study Date by range, Accession Number by equality). The LIKE of a prefix search compares
// without case, so only an index of the same collation can serve it. Each is created when
// missing whenever the study database is opened for writing, so databases made before gain
// them; the tables themselves are left as they are.
struct QueryIndex {
  const char* name;
  const char* statement;
};
inline constexpr QueryIndex kQueryIndexes[] = {
    {"study_patientid_index",
     "CREATE INDEX IF NOT EXISTS study_patientid_index ON Study(PatientID COLLATE NOCASE)"},
    {"study_patientname_index",
     "CREATE INDEX IF NOT EXISTS study_patientname_index ON Study(PatientName COLLATE NOCASE)"},
    {"study_date_index", "CREATE INDEX IF NOT EXISTS study_date_index ON Study(StudyDate)"},
    {"study_accession_index",
     "CREATE INDEX IF NOT EXISTS study_accession_index ON Study(AccessionNumber)"},
};
