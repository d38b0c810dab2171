// A developer aid for looking at the windows without a display: with TREVALIND_SCREENSHOTS set
// to a folder, the program saves the study browser (its first row ticked; once as it opens,
// once with the grid scrolled to its last columns) and the ECG window
// (showing the first local study, if any; once plain, once with both cursors on) there as PNG
// files shortly after start-up, then ends.
#pragma once

void ScheduleScreenshotsIfAsked();
