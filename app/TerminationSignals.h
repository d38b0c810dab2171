// The way a Linux session or a `kill` ends a program: SIGTERM, SIGINT or SIGHUP. Left to their
// default, they would end the process in the middle of a registration; instead each one closes
// the study browser on the GUI thread, which runs the program's one shut-down sequence.
#pragma once

// Call once, after the application object and the browser exist.
void CloseBrowserOnTerminationSignals();
