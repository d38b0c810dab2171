// The one way the program ends ("End", the close box, the end of accession-number mode):
// the listener stops, the registration lock is taken (bounded wait) so no insert is cut in
// half, the log is released, and the process ends without running static destructors while
// association threads still run. Tests replace the last step to stay alive.
#pragma once

#include <functional>

void ShutDownProgram();
void SetProcessExitForTests(std::function<void()> exitProcess);  // empty: _exit(0)
