#include "update/component/updater_error.h"

#include "update/component/updater_messages.h"

namespace fretfile {

std::string MessageTextOf(int32_t number) {
  return msg::TableText(number).value_or(msg::kFallbackText + std::to_string(number));
}

EZipUpdater::EZipUpdater(int32_t number, Display display)
    : std::runtime_error(MessageTextOf(number)), DisplayFlag(static_cast<uint8_t>(display)), MessageNumber(number) {}

// A number without a text keeps the fallback text with its number, which
// has nothing to fill.
EZipUpdater::EZipUpdater(int32_t number, int32_t argument)
    : std::runtime_error(msg::TableText(number) ? msg::FormatText(*msg::TableText(number), {int64_t{argument}})
                                                : MessageTextOf(number)),
      DisplayFlag(1),
      MessageNumber(number) {}

EZipUpdater::EZipUpdater(int32_t number, const std::string& argument)
    : std::runtime_error(msg::TableText(number) ? msg::FormatText(*msg::TableText(number), {argument})
                                                : MessageTextOf(number)),
      DisplayFlag(1),
      MessageNumber(number) {}

}  // namespace fretfile
