// Which keys are held down right now, application-wide. The GUI installs an
// event filter that records key presses and releases here; long operations
// (an extraction) poll it to let the user abort with Escape.
#pragma once

namespace platform {

// Virtual-key codes of the keys the program polls.
inline constexpr int kKeyEscape = 27;

bool IsKeyDown(int virtualKey);
void SetKeyDown(int virtualKey, bool down);
void ReleaseAllKeys();

}  // namespace platform
