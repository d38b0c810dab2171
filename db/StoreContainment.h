// Whether a folder may be cleaned up: a real folder (not a link) whose canonical path lies
// strictly inside the image store. Internal to the database library.
#pragma once

#include <string>

bool IsFolderStrictlyInsideStore(const std::string& folder);
