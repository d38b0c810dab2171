#include "app/CommandLine.h"

std::string CommandLine;

std::string CommandLineFromArguments(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  size_t start = joined.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : joined.substr(start);
}
