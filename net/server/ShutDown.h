// The end of the process while association threads may still run: the listener stops, the
// registration lock is taken so no insert or rename is cut in half, the log is released, and
// the process ends without running static destructors under live threads.
#pragma once

class ServerThread;

[[noreturn]] void ShutDownServer(ServerThread* server, int exitCode);
