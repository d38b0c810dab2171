// fontconfig keeps a few allocations of its own configuration until exit on purpose; they are
// not ours to free, so the leak checker is told to ignore that library only.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
