#include "support/libzip_reader.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>

namespace testing_support {

std::vector<ZipContent> ReadWithLibzip(const std::string& path, const std::map<std::string, std::string>& passwords) {
  std::vector<ZipContent> entries;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) {
    ADD_FAILURE() << "libzip cannot open " << path << ": error " << error;
    return entries;
  }
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, i, 0, &st) != 0) {
      ADD_FAILURE() << path << ": libzip cannot stat entry " << i;
      continue;
    }
    ZipContent entry;
    entry.name = st.name;
    entry.method = st.comp_method;
    entry.encrypted = st.encryption_method != ZIP_EM_NONE;
    zip_uint32_t length = 0;
    if (const char* comment = zip_file_get_comment(archive, i, &length, ZIP_FL_ENC_RAW)) entry.comment.assign(comment, length);
    zip_file_get_external_attributes(archive, i, 0, &entry.hostSystem, &entry.attributes);
    const auto password = passwords.find(entry.name);
    const bool raw = zip_compression_method_supported(st.comp_method, 0) == 0;
    zip_file_t* file = password != passwords.end()
                           ? zip_fopen_index_encrypted(archive, i, 0, password->second.c_str())
                           : zip_fopen_index(archive, i, raw ? ZIP_FL_COMPRESSED : 0);
    if (file == nullptr) {
      ADD_FAILURE() << path << ": libzip cannot open " << entry.name << ": " << zip_strerror(archive);
      continue;
    }
    char buffer[65536];
    zip_int64_t got;
    while ((got = zip_fread(file, buffer, sizeof buffer)) > 0) entry.data.append(buffer, static_cast<size_t>(got));
    if (got < 0) ADD_FAILURE() << path << ": libzip cannot read " << entry.name << ": " << zip_file_strerror(file);
    zip_fclose(file);
    entries.push_back(std::move(entry));
  }
  zip_discard(archive);
  return entries;
}

std::vector<std::string> NamesOf(const std::vector<ZipContent>& entries) {
  std::vector<std::string> names;
  for (const ZipContent& e : entries) names.push_back(e.name);
  return names;
}

const ZipContent* Find(const std::vector<ZipContent>& entries, const std::string& name) {
  const auto it = std::find_if(entries.begin(), entries.end(), [&](const ZipContent& e) { return e.name == name; });
  return it == entries.end() ? nullptr : &*it;
}

}  // namespace testing_support
