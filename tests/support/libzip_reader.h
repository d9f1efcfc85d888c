// Archives read back by libzip, a reader independent of the program's own:
// what the program writes must open there with every consistency check on.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct ZipContent {
  std::string name;
  std::string data;  // the entry's content (raw compressed bytes for methods libzip lacks)
  std::string comment;
  uint16_t method = 0;
  bool encrypted = false;
  uint8_t hostSystem = 0;
  uint32_t attributes = 0;
};

// Every entry, in directory order, read by libzip with its consistency
// checks on; any error fails the test. `passwords` by entry name.
std::vector<ZipContent> ReadWithLibzip(const std::string& path, const std::map<std::string, std::string>& passwords = {});
std::vector<std::string> NamesOf(const std::vector<ZipContent>& entries);
const ZipContent* Find(const std::vector<ZipContent>& entries, const std::string& name);

}  // namespace testing_support
