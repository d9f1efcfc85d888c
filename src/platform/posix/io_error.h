// Input/output failures carry the texts a Windows user of the program knew:
// "File not found", "File access denied", "Disk full", "I/O error %d".
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// The text for a C errno value.
std::string IoErrorText(int errnoValue);

class IoError : public std::runtime_error {
 public:
  explicit IoError(int errnoValue) : std::runtime_error(IoErrorText(errnoValue)), code_(errnoValue) {}
  IoError(int errnoValue, const std::string& message) : std::runtime_error(message), code_(errnoValue) {}
  int code() const { return code_; }

 private:
  int code_;
};

}  // namespace platform
