// Letting the event loop run inside a long operation on the user-interface
// thread, so the window stays responsive.
#pragma once

namespace platform {

// Dispatches every pending event of the calling thread's event loop, unless
// the last pass was less than 10 ms ago: a million-line loop then costs a few
// hundred passes, not a million. Does nothing without a QCoreApplication or
// when called off the user-interface thread. Returns true when it dispatched
// (so state that events may change should be read again).
bool ProcessMessages();

// Same, without the 10 ms allowance.
bool ProcessMessagesNow();

}  // namespace platform
