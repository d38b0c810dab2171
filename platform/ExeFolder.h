// The folder of the running executable, with a trailing "/". Every file the program uses lies
// there (logs/, database/, imagebox/, trevalind.cfg, remote.txt, remotes.txt).
#pragma once

#include <string>

// The folder of /proc/self/exe with a trailing "/".
std::string ExecutableFolder();

// Set once while the study browser is created (before any other thread runs), then only read.
// Tests set it to a temporary folder.
extern std::string ExeFolder;
