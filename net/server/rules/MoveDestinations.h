// The C-MOVE destination list, remotes.txt in the executable's folder.
//
// One destination a line, fields separated by "|" and counted from 1: field 2 the AE title,
// field 3 the host, field 4 the port; field 1 and anything after a fourth "|" are ignored.
// A line matches when its AE title, trimmed of blanks, equals the requested destination, also
// trimmed (case-sensitive); the last matching line wins. Host and port are taken untrimmed.
// Lines written on Windows end in CR; the reader strips it so the port is not "104\r".
#pragma once

#include <optional>
#include <string>
#include <vector>

struct MoveDestination {
  std::string host;
  std::string port;
};

inline constexpr const char* kMoveDestinationsFile = "remotes.txt";

// The lines of a text file, each without its trailing CR; nothing when the file cannot be read.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path);

// Host and port of the last line naming `destination`; both empty when no line matches.
MoveDestination FindMoveDestination(const std::vector<std::string>& lines,
                                    const std::string& destination);
