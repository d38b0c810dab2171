// A developer aid for looking at the windows without a display: with TREVALIND_SCREENSHOTS set
// to a folder, the program saves the study browser and the ECG window (showing the first local
// study, if any) there as PNG files shortly after start-up, then ends.
#pragma once

void ScheduleScreenshotsIfAsked();
