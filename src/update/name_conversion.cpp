#include "update/name_conversion.h"

#include "archive/code_pages.h"

namespace fretfile {
namespace {

constexpr uint8_t kHostMsDos = 0;
constexpr uint8_t kHostOs2Hpfs = 6;
constexpr uint8_t kHostNtfs = 11;

}  // namespace

std::string ConvertCodePage(const std::string& text, NameDirection direction) {
  const auto convert = direction == NameDirection::FromOem ? archive::codepage::OemToAnsi : archive::codepage::AnsiToOem;
  std::string out = text;
  for (char& c : out) c = static_cast<char>(convert(static_cast<uint8_t>(c)));
  return out;
}

bool NameConversionApplies(CodePageOpts codePage, uint8_t hostSystem, uint8_t madeByVersion) {
  return (codePage == cpAuto && hostSystem == kHostMsDos) || hostSystem == kHostOs2Hpfs ||
         (hostSystem == kHostNtfs && madeByVersion == 50) || codePage == cpOEM;
}

}  // namespace fretfile
