// The user's configuration goes to a temporary folder, never to the real
// one: XDG_CONFIG_HOME names it while the object lives.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace testing_support {

struct ConfigHome {
  ConfigHome() {
    if (const char* value = std::getenv("XDG_CONFIG_HOME")) old = value;
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  }
  ~ConfigHome() { old ? ::setenv("XDG_CONFIG_HOME", old->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME"); }
  ConfigHome(const ConfigHome&) = delete;
  ConfigHome& operator=(const ConfigHome&) = delete;
  std::optional<std::string> old;
  TempDir dir;
};

}  // namespace testing_support
