// remote.txt: the browser's query/retrieve nodes, one line per node: the AE title padded with
// blanks or cut to 16 characters, ",", the IP address, ",", the port; each line ends in CR LF.
// Text is 8-bit Windows-1252, kept as bytes here.
#pragma once

#include <string>
#include <vector>

struct RemoteServer {
  std::string aeTitle, address, port;
  bool operator==(const RemoteServer&) const = default;
};

// One entry per line (CR LF or LF, a missing last line end accepted); a missing field is empty.
std::vector<RemoteServer> ParseRemoteServers(const std::string& text);
// The file's text: (AE title + 16 blanks)[:16] + "," + address + "," + port + CR LF per entry.
std::string FormatRemoteServers(const std::vector<RemoteServer>& servers);
// The AE title as it is written: padded with blanks or cut to 16 characters.
std::string PadAeTitle16(const std::string& aeTitle);
