// The program's command line: everything after the program name is one accession number.
#pragma once

#include <string>

// Empty until the entry stores it; read once by start-up.
extern std::string CommandLine;

// argv[1..] joined by single blanks, leading blanks and tabs dropped (trailing ones kept). Taken
// before the application object exists, which would otherwise eat options such as "-style".
std::string CommandLineFromArguments(int argc, char** argv);
