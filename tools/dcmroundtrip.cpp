// Developer tool: reads a Part 10 file, optionally dumps it with dictionary names, and writes it
// back. Used by the tests that check our output with independent readers.
//
//   dcmroundtrip [--dump] [--syntax UID] [--log FILE] INPUT [OUTPUT]
//
// Exit status: 0 when reading (and writing, when asked) succeeded, 1 when reading failed,
// 2 when writing failed, 3 on bad arguments.
#include <cstdio>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/util/Log.h"

int main(int argc, char** argv) {
  bool dump = false;
  std::string syntax, logFile, input, output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dump") {
      dump = true;
    } else if (arg == "--syntax" && i + 1 < argc) {
      syntax = argv[++i];
    } else if (arg == "--log" && i + 1 < argc) {
      logFile = argv[++i];
    } else if (input.empty()) {
      input = arg;
    } else if (output.empty()) {
      output = arg;
    } else {
      std::fprintf(stderr,
                   "usage: dcmroundtrip [--dump] [--syntax UID] [--log FILE] INPUT [OUTPUT]\n");
      return 3;
    }
  }
  if (input.empty()) return 3;
  if (!logFile.empty()) LogInit(logFile, "", "");

  DcmObj obj;
  const bool read = obj.Read(input);
  if (dump) {
    std::vector<std::string> lines;
    obj.Dump(lines, 0);
    for (const auto& line : lines) std::printf("%s\n", line.c_str());
  }
  int status = read ? 0 : 1;
  if (read && !output.empty()) {
    // Re-encoding under another syntax changes only how the elements are coded.
    if (!syntax.empty()) {
      obj.transferSyntax = syntax;
      obj.explicitVR = syntax != ts::kImplicitLE;
    }
    if (!obj.Write(output)) status = 2;
  }
  if (!logFile.empty()) LogFree();
  return status;
}
