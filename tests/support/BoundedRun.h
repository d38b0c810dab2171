// Shell commands run by the tests (dcmtk tools, Orthanc, sqlite3) under timeout(1), so that a
// peer that hangs ends the run instead of the test.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

struct ToolResult {
  int exitCode = -1;   // -1 when the command did not exit by itself
  std::string output;  // stdout and stderr together
};

// Runs `command` through the shell, stopped after `seconds`; captures what it prints.
inline ToolResult RunCaptured(const std::string& command, int seconds) {
  ToolResult result;
  const std::string bounded = "timeout " + std::to_string(seconds) + " " + command + " 2>&1";
  FILE* pipe = ::popen(bounded.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Runs `command` through the shell, stopped after `seconds`, its output sent to `outputFile`
// (discarded when it is empty); the exit status, -1 when it did not exit by itself.
inline int RunBounded(const std::string& command, int seconds, const std::string& outputFile = "") {
  std::string line = "timeout " + std::to_string(seconds) + " " + command;
  line += outputFile.empty() ? " >/dev/null 2>&1" : " >" + outputFile + " 2>&1";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
