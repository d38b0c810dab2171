// The GUI's text boundary: DICOM, database and network texts are Windows-1252 bytes; Qt works in
// Unicode. One 256-entry table converts both ways. File paths are never passed through here.
#pragma once

#include <QString>
#include <string>

QString FromCp1252(const std::string& bytes);
// Characters outside Windows-1252 become '?'.
std::string ToCp1252(const QString& text);
