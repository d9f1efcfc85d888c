#include "platform/posix/user_config.h"

#include <cstdlib>

#include "platform/posix/paths.h"

namespace platform {

std::string UserConfigFolder() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (configHome != nullptr && configHome[0] == kSeparator) {
    base = configHome;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == kSeparator) {
    base = WithTrailingSeparator(home) + ".config";
  } else {
    return {};
  }
  return WithTrailingSeparator(base) + "fretfile" + kSeparator;
}

}  // namespace platform
