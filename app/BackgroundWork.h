// Work that would keep the window from repainting if the GUI thread did it (a large query, a
// database compaction) runs on a worker thread while the GUI thread waits in a local event
// loop. That loop repaints and serves timers and posted events, but holds user input (keys,
// mouse buttons and moves, wheel, context menus) back until the work is done, so no handler can
// run against a half-made result. What was held is sent on, in the order it came, as soon as the
// event loop runs again after the outermost work has ended: the caller has then finished with
// the result. The work must touch no widget; whatever it reads or writes belongs to it until it
// returns.
#pragma once

#include <functional>

// Runs `work` on another thread and returns when it has finished; an exception it throws is
// thrown here, on the GUI thread.
void RunBesideEventLoop(const std::function<void()>& work);
