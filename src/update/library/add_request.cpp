#include "update/library/add_request.h"

#include <algorithm>
#include <cstring>

namespace zippack {
namespace {

// Bounds on what the block may hold; a block beyond them is not one a
// component of ours fills, and reading it further is not safe.
constexpr int32_t kMaxSourceLines = 1 << 20;
constexpr int32_t kMaxExcludes = 1 << 16;
constexpr size_t kMaxText = 1 << 16;  // longest text taken from the block
constexpr size_t kMaxComment = 0xFFFF;

std::optional<std::string> TextOf(const char* text, size_t limit = kMaxText) {
  if (text == nullptr) return std::nullopt;
  return std::string(text, ::strnlen(text, limit));
}

std::string TextOr(const char* text) { return TextOf(text).value_or(std::string()); }

// The store-suffix list ".gif:.png:..." split at its colons.
std::vector<std::string> SplitSuffixes(const std::string& list) {
  std::vector<std::string> suffixes;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(':', start), list.size());
    if (end > start) suffixes.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return suffixes;
}

// The named check on the block itself: its version and end marker say it is
// the layout we read, and its counts and arrays agree.
bool BlockIsUsable(const ZipExecParams* block, std::string& problem) {
  if (block == nullptr) {
    problem = "no parameter block";
  } else if (block->EndMarker != kEndMarker) {
    problem = "parameter block without its end marker";
  } else if (block->Version < kNewerLayoutVersion || block->Version > kComponentVersion) {
    problem = "parameter block of version " + std::to_string(block->Version);
  } else if (block->SpecCount < 0 || block->SpecCount > kMaxSourceLines ||
             (block->SpecCount > 0 && block->Specs == nullptr)) {
    problem = "the list of what to add is missing";
  } else if (block->ArchiveName == nullptr || block->ArchiveName[0] == '\0') {
    problem = "no archive named";
  } else if (block->Version >= kCommentVersion &&
             (block->ExcludeCount < 0 || block->ExcludeCount > kMaxExcludes ||
              (block->ExcludeCount > 0 && block->Excludes == nullptr))) {
    problem = "exclusions missing";
  } else {
    return true;
  }
  return false;
}

}  // namespace

std::optional<AddRequest> ReadBlock(const ZipExecParams* block, std::string& problem) {
  if (!BlockIsUsable(block, problem)) return std::nullopt;
  AddRequest request;
  request.archive = TextOr(block->ArchiveName);
  request.tempDir = TextOr(block->TempDir);
  request.blockPassword = TextOf(block->Password);
  if (request.blockPassword && request.blockPassword->empty()) request.blockPassword.reset();
  request.storeSuffixes = SplitSuffixes(TextOr(block->StoreSuffixes));
  request.level = block->Level < 0 ? 0 : block->Level > 9 ? 9 : block->Level;
  request.hiddenFiles = block->HiddenFiles != 0;
  request.dirEntries = block->NoDirEntries == 0;
  request.verbose = block->Verbose != 0 || block->Trace != 0;
  request.junkDirNames = block->JunkDirNames != 0;
  request.forceDos = block->ForceDos != 0;
  request.move = block->Move != 0;
  request.update = block->Update != 0;
  request.freshen = block->Freshen != 0 && !request.update;
  request.latestTime = block->LatestTime != 0;
  if (block->Version >= kCommentVersion) {
    request.comment = TextOf(block->ArchiveComment, kMaxComment);
    for (int32_t i = 0; i < block->ExcludeCount; ++i) {
      if (auto text = TextOf(block->Excludes[i]); text && !text->empty()) request.excludes.push_back(*text);
    }
  }
  for (int32_t i = 0; i < block->SpecCount; ++i) {
    const ZipFileSpec& record = block->Specs[i];
    SourceLine wanted;
    wanted.pattern = TextOr(record.Source);
    wanted.literal = record.Literal == kSpecLiteral;
    wanted.recurse = record.Recurse != 0;
    wanted.password = TextOf(record.Password);
    if (wanted.password && wanted.password->empty()) wanted.password.reset();
    wanted.encryption = record.Encrypt == 0                         ? Encryption::None
                        : record.Encrypt == kSpecEncryptOwnPassword ? Encryption::OwnPassword
                                                                    : Encryption::BlockPassword;
    // A record encrypting with the block's password may carry a copy of it.
    if (wanted.encryption == Encryption::BlockPassword && !wanted.password) wanted.password = request.blockPassword;
    wanted.rootDir = TextOr(record.RootDir);
    request.sources.push_back(std::move(wanted));
  }
  return request;
}

}  // namespace zippack
