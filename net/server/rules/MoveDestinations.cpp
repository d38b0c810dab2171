#include "net/server/rules/MoveDestinations.h"

#include <fstream>

#include "net/server/rules/PeerText.h"

namespace {
// The n-th "|"-separated field (from 1); "" when the line has fewer fields.
std::string FieldOf(const std::string& line, int n) {
  size_t begin = 0;
  for (int i = 1; i < n; ++i) {
    const size_t bar = line.find('|', begin);
    if (bar == std::string::npos) return {};
    begin = bar + 1;
  }
  const size_t end = line.find('|', begin);
  return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}
}  // namespace

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
    if (TrimBlanks(FieldOf(line, 2)) != wanted) continue;
    found.host = FieldOf(line, 3);
    found.port = FieldOf(line, 4);
  }
  return found;
}
