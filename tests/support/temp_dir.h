// A fresh temporary folder per test, removed with everything in it.
#pragma once

#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in '/'.
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// The folder of real archives made by other tools, or "" when it is absent
// (a fresh clone without ../shared): tests then GTEST_SKIP().
std::string SharedTestData();

}  // namespace testing_support
