#include "update/library/zippack_harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "archive/zip_find.h"

namespace zippack_test {
namespace {

struct Library {
  void* handle = nullptr;
  zippack::ZipPackExecFunction exec = nullptr;
  zippack::GetZipPackVersionFunction version = nullptr;
  zippack::ZipPackEditFunction edit = nullptr;
  Library() {
    handle = ::dlopen(FRETFILE_ZIPPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
    exec = reinterpret_cast<zippack::ZipPackExecFunction>(::dlsym(handle, zippack::kExecEntryPoint));
    version = reinterpret_cast<zippack::GetZipPackVersionFunction>(::dlsym(handle, zippack::kVersionEntryPoint));
    edit = reinterpret_cast<zippack::ZipPackEditFunction>(::dlsym(handle, zippack::kEditEntryPoint));
    if (exec == nullptr || version == nullptr || edit == nullptr) throw std::runtime_error("an entry point is missing");
  }
};

const Library& TheLibrary() {
  static const Library library;
  return library;
}

uint32_t Get32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
  return value;
}

}  // namespace

std::function<int32_t(zippack::ZipCallbackRec&)> Answering(std::map<int32_t, std::string> texts) {
  return [texts = std::move(texts)](zippack::ZipCallbackRec& record) {
    if (const auto it = texts.find(record.ActionCode); it != texts.end()) {
      ::snprintf(record.Text, sizeof record.Text, "%s", it->second.c_str());
      record.ErrorCode = 1;
    }
    return 0;
  };
}

int32_t LibraryVersion() { return TheLibrary().version(); }
int32_t CallWithBlock(void* block) { return TheLibrary().exec(block); }
int32_t CallEditWithBlock(void* block) { return TheLibrary().edit(block); }

int32_t Exec::RunEdit(int32_t operation, const std::vector<std::string>& names,
                      const std::vector<std::string>& newNames) {
  events.clear();
  std::vector<zippack::ZipEntryName> records(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    records[i].Name = names[i].data();
    records[i].NameLength = static_cast<uint32_t>(names[i].size());
    if (i < newNames.size()) {
      records[i].NewName = newNames[i].data();
      records[i].NewNameLength = static_cast<uint32_t>(newNames[i].size());
    }
  }
  zippack::ZipEditParams block{};
  block.Caller = this;
  block.Version = zippack::kEditVersion;
  block.Callback = &Exec::Callback;
  block.Operation = operation;
  block.ArchiveName = archive_.data();
  block.TempDir = tempDir ? tempDir->data() : nullptr;
  block.NameCount = static_cast<int32_t>(records.size());
  block.Names = records.empty() ? nullptr : records.data();
  block.EndMarker = zippack::kEndMarker;
  return TheLibrary().edit(&block);
}

int32_t Exec::Callback(zippack::ZipCallbackRec* record) {
  auto* self = static_cast<Exec*>(record->Caller);
  Event event{record->ActionCode, record->ErrorCode, record->Size,
              std::string(record->Text, ::strnlen(record->Text, sizeof record->Text)), {}};
  if (record->ActionCode == zippack::kActionFileComment) {
    event.text = std::string(record->Text, ::strnlen(record->Text, zippack::kInitialCommentInText));
    event.initialComment = record->Text + zippack::kInitialCommentInText;
  }
  self->events.push_back(event);
  record->ErrorCode = 0;
  return self->answer ? self->answer(*record) : 0;
}

int32_t Exec::Run() {
  events.clear();
  std::vector<zippack::ZipFileSpec> records(specs_.size());
  for (size_t i = 0; i < specs_.size(); ++i) {
    records[i].Source = specs_[i].spec.data();
    records[i].Recurse = specs_[i].recurse;
    records[i].Encrypt = specs_[i].encrypt;
    records[i].Password = specs_[i].password ? specs_[i].password->data() : nullptr;
    records[i].RootDir = specs_[i].rootDir.empty() ? nullptr : specs_[i].rootDir.data();
  }
  std::vector<char*> excluded;
  for (std::string& text : excludes) excluded.push_back(text.data());
  zippack::ZipExecParams block{};
  block.Caller = this;
  block.Version = zippack::kComponentVersion;
  block.Callback = &Exec::Callback;
  block.Password = password ? password->data() : nullptr;
  block.StoreSuffixes = storeSuffixes.empty() ? nullptr : storeSuffixes.data();
  block.Encrypt = encrypt;
  block.HiddenFiles = hidden;
  block.NoDirEntries = !dirEntries;
  block.Quiet = 1;
  block.Level = level;
  block.JunkDirNames = !dirNames;
  block.Grow = 1;
  block.ForceDos = forceDos;
  block.Move = move;
  block.Update = update;
  block.Freshen = freshen;
  block.LatestTime = latestTime;
  block.SpecCount = static_cast<int32_t>(records.size());
  block.ArchiveName = archive_.data();
  block.TempDir = tempDir ? tempDir->data() : nullptr;
  block.ArchiveComment = comment ? comment->data() : nullptr;
  block.Specs = records.data();
  block.ExcludeCount = static_cast<int32_t>(excluded.size());
  block.Excludes = excluded.empty() ? nullptr : excluded.data();
  block.EndMarker = zippack::kEndMarker;
  return TheLibrary().exec(&block);
}

std::vector<Event> Exec::Of(int32_t action) const {
  std::vector<Event> found;
  std::copy_if(events.begin(), events.end(), std::back_inserter(found), [&](const Event& e) { return e.action == action; });
  return found;
}

std::vector<std::string> Exec::Errors() const {
  std::vector<std::string> texts;
  for (const Event& e : Of(zippack::kActionMessage)) {
    if (e.errorCode != 0) texts.push_back(e.text);
  }
  return texts;
}

std::vector<int32_t> Exec::ErrorCodes() const {
  std::vector<int32_t> codes;
  for (const Event& e : Of(zippack::kActionMessage)) {
    if (e.errorCode != 0) codes.push_back(e.errorCode);
  }
  return codes;
}

std::map<std::string, std::string> EntryBytes(const std::string& path, std::string* stub) {
  const std::string bytes = testing_support::ReadFile(path);
  std::map<std::string, std::string> entries;
  size_t first = bytes.size();
  archive::ZipSearchRec rec;
  for (int r = archive::ZipFindFirst(path, rec); r == archive::kZipFindFound; r = archive::ZipFindNext(rec)) {
    const size_t at = rec.HeaderOffset;
    first = std::min(first, at);
    const size_t name = static_cast<uint8_t>(bytes.at(at + 26)) | static_cast<uint8_t>(bytes.at(at + 27)) << 8;
    const size_t extra = static_cast<uint8_t>(bytes.at(at + 28)) | static_cast<uint8_t>(bytes.at(at + 29)) << 8;
    size_t length = 30 + name + extra + rec.CompressedSize;
    if (rec.Flags & 8) {
      const bool zip64 = Get32(bytes, at + 18) == 0xFFFFFFFF;
      length += (Get32(bytes, at + length) == 0x08074B50 ? 4 : 0) + (zip64 ? 20 : 12);
    }
    entries[rec.FileName] = bytes.substr(at, length);
  }
  archive::ZipFindClose(rec);
  if (stub != nullptr) *stub = bytes.substr(0, first);
  return entries;
}

std::vector<std::string> StrayTemps(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (std::strstr(entry->d_name, ".zippack-") != nullptr) names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
  }
  return names;
}

void SetModified(const std::string& path, std::time_t when) {
  struct timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

}  // namespace zippack_test
