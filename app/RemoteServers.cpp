// Parsing and writing the remote node list.
#include "app/RemoteServers.h"

namespace {

// The n-th comma-separated field from 1, the text after the last comma being the last; "" when
// missing.
std::string CommaField(const std::string& line, int n) {
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    size_t comma = line.find(',', start);
    if (comma == std::string::npos) return "";
    start = comma + 1;
  }
  size_t end = line.find(',', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::vector<RemoteServer> ParseRemoteServers(const std::string& text) {
  std::vector<RemoteServer> servers;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    servers.push_back({CommaField(line, 1), CommaField(line, 2), CommaField(line, 3)});
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return servers;
}

std::string PadAeTitle16(const std::string& aeTitle) {
  return (aeTitle + std::string(16, ' ')).substr(0, 16);
}

std::string FormatRemoteServers(const std::vector<RemoteServer>& servers) {
  std::string text;
  for (const RemoteServer& server : servers)
    text += PadAeTitle16(server.aeTitle) + "," + server.address + "," + server.port + "\r\n";
  return text;
}
