// The screen cursor as the desktop set it: hourglass or default, never stacked. WaitCursor
// shows the hourglass for its scope and restores the default on every way out.
#pragma once

void SetHourglassCursor();
void SetDefaultCursor();

class WaitCursor {
 public:
  WaitCursor() { SetHourglassCursor(); }
  ~WaitCursor() { SetDefaultCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};
