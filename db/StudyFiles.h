// The files the ECG window opens for a local study.
#pragma once

#include <string>
#include <vector>

// Appends, per series in numeric SeriesNumber order, the path of the object with the smallest
// numeric AcquisitionTime. False when the database cannot be opened or a query failed.
bool GetStudyFiles(std::vector<std::string>& files, const std::string& studyInstanceUID);
