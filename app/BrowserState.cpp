#include "app/BrowserState.h"

std::string RemoteHost;
std::string RemotePort;
std::string RemoteAETitle;
bool AbortRequested = false;
std::string ChosenFolder;
