// The user's own configuration folder, after the freedesktop conventions:
// $XDG_CONFIG_HOME/fretfile/, or ~/.config/fretfile/ when that variable is
// unset or not an absolute path.
#pragma once

#include <string>

namespace platform {

// The folder, ending in the separator; "" when neither XDG_CONFIG_HOME nor
// HOME names one. The folder may not exist yet.
std::string UserConfigFolder();

}  // namespace platform
