// The server is not yet part of the build: nothing listens, so there is nothing to stop.
#include "app/ServerLink.h"

void StartDicomServer(const std::string&, const std::string&, const std::string&) {}
void StopAcceptingAssociations() {}
