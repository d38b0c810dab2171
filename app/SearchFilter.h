// Which studies a remote search shows: those that may hold waveforms the ECG window reads.
#pragma once

#include <string>

// True when any value of a study's Modalities in Study is "ECG" or "HD", or when the node sent
// the key empty or left it out (nothing then says the study holds no ECG). Values are
// separated by "\"; this program's own store joins a study's modalities with "-" and answers
// them so, and neither character occurs in a modality code.
bool ListedInSearch(const std::string& studyModalities);
