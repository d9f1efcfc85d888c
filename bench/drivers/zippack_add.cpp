// zippack-add: libzippack.so driven the way `fretfile-cli add` drives it,
// with the same arguments and output, for the benchmarks:
//
//   zippack-add ARCHIVE FILE... [--level N] [--update] [--freshen] [--move]
//               [--dir-names] [--recurse] [--root DIR] [--password P] [--temp-dir DIR]
//
// It prints "processed N" and the last message on standard error; exit 0
// when N is above 0, 1 when nothing was processed, 2 for bad usage. It links
// nothing but the C++ library and libdl, so its peak memory is the
// library's.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "update/zippack_abi.h"

namespace {

std::string lastMessage;

int32_t Callback(zippack::ZipCallbackRec* record) {
  if (record->ActionCode == zippack::kActionMessage) lastMessage.assign(record->Text, ::strnlen(record->Text, 512));
  // Questions (names, passwords, comments) get no answer.
  if (record->ActionCode != zippack::kActionMessage) record->ErrorCode = 0;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string archive, root, password, tempDir;
  zippack::ZipExecParams block{};
  block.Level = 9;
  block.JunkDirNames = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--level" && hasValue) {
      block.Level = std::atoi(argv[++i]);
    } else if (arg == "--update") {
      block.Update = 1;
    } else if (arg == "--freshen") {
      block.Freshen = 1;
    } else if (arg == "--move") {
      block.Move = 1;
    } else if (arg == "--dir-names") {
      block.JunkDirNames = 0;
    } else if (arg == "--recurse") {
      block.Recurse = 1;
    } else if (arg == "--root" && hasValue) {
      root = argv[++i];
    } else if (arg == "--password" && hasValue) {
      password = argv[++i];
    } else if (arg == "--temp-dir" && hasValue) {
      tempDir = argv[++i];
    } else if (arg.starts_with("--")) {
      std::fprintf(stderr, "unknown option %s\n", arg.c_str());
      return 2;
    } else if (archive.empty()) {
      archive = arg;
    } else {
      files.push_back(arg);
    }
  }
  if (archive.empty() || files.empty()) {
    std::fprintf(stderr, "usage: zippack-add ARCHIVE FILE... [options]\n");
    return 2;
  }
  void* library = ::dlopen(FRETFILE_ZIPPACK_LIBRARY, RTLD_NOW);
  auto* exec = library ? reinterpret_cast<zippack::ZipPackExecFunction>(::dlsym(library, zippack::kExecEntryPoint)) : nullptr;
  if (exec == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", FRETFILE_ZIPPACK_LIBRARY);
    return 1;
  }
  std::vector<zippack::ZipFileSpec> specs(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    specs[i].FileSpec = files[i].data();
    specs[i].Recurse = block.Recurse;
    specs[i].Encrypt = password.empty() ? 0 : 1;
    specs[i].Password = password.empty() ? nullptr : password.data();
    specs[i].RootDir = root.empty() ? nullptr : root.data();
  }
  block.Version = zippack::kComponentVersion;
  block.Callback = &Callback;
  block.Password = password.empty() ? nullptr : password.data();
  block.Encrypt = password.empty() ? 0 : 1;
  block.NoDirEntries = 1;
  block.Quiet = 1;
  block.Grow = 1;
  block.SpecCount = static_cast<int32_t>(specs.size());
  block.ArchiveName = archive.data();
  block.TempDir = tempDir.empty() ? nullptr : tempDir.data();
  block.Specs = specs.data();
  block.EndMarker = zippack::kEndMarker;
  const int32_t processed = exec(&block);
  std::printf("processed %d\n", processed > 0 ? processed : 0);
  if (!lastMessage.empty()) std::fprintf(stderr, "%s\n", lastMessage.c_str());
  return processed > 0 ? 0 : 1;
}
