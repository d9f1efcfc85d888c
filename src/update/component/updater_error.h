// EZipUpdater: an error of the archive-update component, with its message
// number; the text is the message table's for the number.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace fretfile {

class EZipUpdater : public std::runtime_error {
 public:
  enum class Display : uint8_t { No = 0, Yes = 1 };
  // The text of the number as it stands.
  EZipUpdater(int32_t number, Display display);
  // The text of the number with its conversion filled by the argument;
  // shown when reported.
  EZipUpdater(int32_t number, int32_t argument);
  EZipUpdater(int32_t number, const std::string& argument);

  uint8_t DisplayFlag;      // 1: shown in a message box when reported, unless unattended
  int32_t MessageNumber;
};

// The text of a message number: the table's, else the fallback text with
// the number.
std::string MessageTextOf(int32_t number);

}  // namespace fretfile
