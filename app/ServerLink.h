// The browser's handle on the DICOM server: started once in server mode with copies of the
// port, the AE title and the store folder; on shut-down its listener is closed so no new
// association starts while the process ends.
#pragma once

#include <string>

void StartDicomServer(const std::string& port, const std::string& aeTitle,
                      const std::string& storeFolder);
void StopAcceptingAssociations();
// The port the server listens on, -1 when it is not running or the listen failed.
int DicomServerPort();
