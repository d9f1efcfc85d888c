#include "update/library/edit_request.h"

#include <algorithm>
#include <cstring>

namespace zippack {
namespace {

// Bounds on what the block may hold; a block beyond them is not one a
// component of ours fills, and reading it further is not safe.
constexpr int32_t kMaxNames = 1 << 20;
constexpr size_t kMaxPath = 1 << 16;
// A name is read up to one byte beyond what the format's name field holds:
// a longer one is then found too long (not found, or not acceptable) and
// reported like any other wrong name.
constexpr uint32_t kLongestNameRead = 0xFFFF + 1;

std::string PathOr(const char* text) {
  return text == nullptr ? std::string() : std::string(text, ::strnlen(text, kMaxPath));
}

// The named check on the block itself: its version and end marker say it is
// the layout we read, and its operation, counts and arrays agree.
bool BlockIsUsable(const ZipEditParams* block, std::string& problem) {
  if (block == nullptr) {
    problem = "no parameter block";
  } else if (block->EndMarker != kEndMarker) {
    problem = "parameter block without its end marker";
  } else if (block->Version < kEditVersion || block->Version > kComponentVersion) {
    problem = "parameter block of version " + std::to_string(block->Version);
  } else if (block->Operation != kEditDelete && block->Operation != kEditRename) {
    problem = "unknown operation " + std::to_string(block->Operation);
  } else if (block->NameCount < 0 || block->NameCount > kMaxNames ||
             (block->NameCount > 0 && block->Names == nullptr) ||
             (block->Operation == kEditRename && block->NameCount != 1)) {
    problem = "entry names missing";
  } else if (block->ArchiveName == nullptr || block->ArchiveName[0] == '\0') {
    problem = "no archive named";
  } else {
    return true;
  }
  return false;
}

}  // namespace

std::optional<EditRequest> ReadEditBlock(const ZipEditParams* block, std::string& problem) {
  if (!BlockIsUsable(block, problem)) return std::nullopt;
  EditRequest request;
  request.operation = static_cast<EditOperation>(block->Operation);
  request.archive = PathOr(block->ArchiveName);
  request.tempDir = PathOr(block->TempDir);
  request.verbose = block->Verbose != 0 || block->Trace != 0;
  for (int32_t i = 0; i < block->NameCount; ++i) {
    const ZipEntryName& entry = block->Names[i];
    if (entry.Name == nullptr) {
      problem = "entry name " + std::to_string(i) + " missing";
      return std::nullopt;
    }
    request.names.emplace_back(entry.Name, std::min(entry.NameLength, kLongestNameRead));
    if (request.operation != kEditRename) continue;
    if (entry.NewName == nullptr) {
      problem = "new name " + std::to_string(i) + " missing";
      return std::nullopt;
    }
    request.newNames.emplace_back(entry.NewName, std::min(entry.NewNameLength, kLongestNameRead));
  }
  return request;
}

}  // namespace zippack
