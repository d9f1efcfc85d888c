// Replays every input kept in fuzz/regressions/<target>/ through the body of
// its fuzz target: crashes and hangs the fuzzers found (and inputs made by
// hand for the cases they guard) must stay fixed. It lives with the update
// tests, whose program links every reader the targets cover; the
// compression library is loaded as the component loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../../fuzz/fuzz_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void* LibrarySymbol(const char* name) {
  static void* const handle = ::dlopen(FRETFILE_ZIPPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return handle == nullptr ? nullptr : ::dlsym(handle, name);
}

bool RunTarget(const std::string& target, const std::string& scratch, const std::string& input) {
  const auto* data = reinterpret_cast<const uint8_t*>(input.data());
  if (target == "zip_find") return fuzz_support::RunZipFind(scratch, data, input.size());
  if (target == "walk") return fuzz_support::RunWalk(scratch, data, input.size());
  if (target == "unzip_archive") return fuzz_support::RunArchive(scratch, data, input.size());
  static const std::pair<const char*, fuzz_support::Family> families[] = {
      {"unzip_stored", fuzz_support::kStored},   {"unzip_shrink", fuzz_support::kShrink},
      {"unzip_reduce", fuzz_support::kReduce},   {"unzip_implode", fuzz_support::kImplode},
      {"unzip_deflate", fuzz_support::kDeflate}};
  for (const auto& [name, family] : families) {
    if (target == name) return fuzz_support::RunPayload(scratch, family, data, input.size());
  }
  if (target == "dir_list") return fuzz_support::RunDirList(scratch, data, input.size());
  if (target == "sfx_header") return fuzz_support::RunSfxHeader(scratch, data, input.size());
  if (target == "zippack_add") {
    const auto exec = reinterpret_cast<zippack::ZipPackExecFunction>(LibrarySymbol(zippack::kExecEntryPoint));
    const auto edit = reinterpret_cast<zippack::ZipPackEditFunction>(LibrarySymbol(zippack::kEditEntryPoint));
    if (exec == nullptr || edit == nullptr) {
      ADD_FAILURE() << "the compression library cannot be loaded: " << FRETFILE_ZIPPACK_LIBRARY;
      return false;
    }
    return fuzz_support::RunZippackAdd(scratch, exec, edit, data, input.size());
  }
  ADD_FAILURE() << "unknown fuzz target folder " << target;
  return false;
}

}  // namespace

TEST(FuzzRegressions, KeptInputsRunClean) {
  const fs::path root = fs::path(FRETFILE_SOURCE_DIR) / "fuzz" / "regressions";
  ASSERT_TRUE(fs::is_directory(root));
  int inputs = 0;
  for (const auto& folder : fs::directory_iterator(root)) {
    if (!folder.is_directory()) continue;
    for (const auto& file : fs::directory_iterator(folder.path())) {
      testing_support::TempDir scratch;
      SCOPED_TRACE(file.path().string());
      EXPECT_TRUE(RunTarget(folder.path().filename().string(), scratch.path(), ReadAll(file.path())));
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 0);
}
