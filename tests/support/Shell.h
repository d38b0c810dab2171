// Runs a shell command for a test (sqlite3, python3, dcmtk tools, rm).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The command's exit status (0 for success, -1 when it did not exit by itself). With `output`,
// what the command prints on stdout is kept there instead of going to the test's own output.
inline int Shell(const std::string& command, std::string* output = nullptr) {
  int status = -1;
  if (output == nullptr) {
    status = std::system(command.c_str());
  } else {
    output->clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
    status = ::pclose(pipe);
  }
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What the command prints on stdout, for the callers to whom the text is the answer.
inline std::string ShellOutput(const std::string& command) {
  std::string output;
  Shell(command, &output);
  return output;
}
