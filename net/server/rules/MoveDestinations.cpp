#include "net/server/rules/MoveDestinations.h"

#include <fstream>

#include "dicom/util/TextUtil.h"

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

MoveDestination FindMoveDestination(const std::vector<std::string>& lines,
                                    const std::string& destination) {
  const std::string wanted = TrimBlanks(destination);
  MoveDestination found;
  for (const std::string& line : lines) {
    if (TrimBlanks(GetField(2, "|", line)) != wanted) continue;
    found.host = GetField(3, "|", line);
    found.port = GetField(4, "|", line);
  }
  return found;
}
