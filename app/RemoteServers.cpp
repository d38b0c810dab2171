// Parsing and writing the remote node list.
#include "app/RemoteServers.h"

#include "dicom/util/TextUtil.h"

std::vector<RemoteServer> ParseRemoteServers(const std::string& text) {
  std::vector<RemoteServer> servers;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    servers.push_back({GetField(1, ",", line), GetField(2, ",", line), GetField(3, ",", line)});
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
