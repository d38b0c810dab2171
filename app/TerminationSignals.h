// The way a Linux session or a `kill` ends a program: SIGTERM, SIGINT or SIGHUP. Left to their
// default, they would end the process in the middle of a registration; instead each one closes
// the study browser on the GUI thread, which runs the program's one shut-down sequence.
#pragma once

// Call first in main, before any thread exists: a termination signal that arrives while the
// program is still starting is held instead of ending it half-initialised, and acted on once
// CloseBrowserOnTerminationSignals is in place. Threads started meanwhile keep them blocked.
void HoldTerminationSignals();
// Call once, after the application object and the browser exist; releases what was held.
void CloseBrowserOnTerminationSignals();
