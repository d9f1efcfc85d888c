// TFindFile: lists the files of one directory, or of a whole tree (breadth
// first), whose names match a wildcard filter and whose attributes are
// selected, into a list of full paths in the file system's own order. The
// rebuild uses it to list the collection's "*.zip" archives.
#pragma once

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <unordered_set>
#include <vector>

namespace fretfile {

// Each option stands for the MS-DOS attribute bit 1 << option.
enum TAttrOption { ffReadOnly, ffHidden, ffSystem, ffVolumeID, ffDirectory, ffArchive };

class TAttrOptions {
 public:
  constexpr TAttrOptions() = default;
  constexpr TAttrOptions(std::initializer_list<TAttrOption> options) {
    for (TAttrOption option : options) bits_ |= Bit(option);
  }
  constexpr bool Contains(TAttrOption option) const { return (bits_ & Bit(option)) != 0; }
  constexpr void Include(TAttrOption option) { bits_ |= Bit(option); }
  constexpr void Exclude(TAttrOption option) { bits_ &= ~Bit(option); }
  // The sum of the attribute values of the options in the set.
  constexpr uint32_t Mask() const { return bits_; }
  constexpr bool operator==(const TAttrOptions&) const = default;

 private:
  static constexpr uint32_t Bit(TAttrOption option) { return 1u << static_cast<unsigned>(option); }
  uint32_t bits_ = 0;
};

class TFindFile;
using TNotifyEvent = std::function<void(TFindFile& sender)>;
// Raised before each directory is listed; setting abort stops this run and
// every later one.
using TNewPathEvent = std::function<void(TFindFile& sender, const std::string& newPath, bool& abort)>;

class TFindFile : public QObject {
 public:
  TFindFile() = default;
  ~TFindFile() override = default;

  // Runs one listing into Files().
  virtual void Execute();

  bool Recurse() const { return Recurse_; }
  void SetRecurse(bool recurse) { Recurse_ = recurse; }
  // The directory to list; a trailing separator is optional.
  const std::string& Directory() const { return Directory_; }
  void SetDirectory(const std::string& directory) { Directory_ = directory; }
  // Wildcard pattern, appended to each directory listed.
  const std::string& Filter() const { return Filter_; }
  void SetFilter(const std::string& filter) { Filter_ = filter; }
  // The result: full paths, in the order found.
  std::vector<std::string>& Files() { return Files_; }
  const std::vector<std::string>& Files() const { return Files_; }
  void SetFiles(const std::vector<std::string>& files) { Files_ = files; }
  // Which attributes an entry may carry and still be listed.
  TAttrOptions Attributes() const { return Attributes_; }
  void SetAttributes(TAttrOptions attributes) { Attributes_ = attributes; }

  TNotifyEvent BeforeExecute;
  TNotifyEvent AfterExecute;
  TNewPathEvent OnNewPath;

  // Figures of the last run.
  uint32_t TotalSize() const { return totalSize_; }  // low 32 bits of each size, summed with wrap-around
  int32_t DirectoryCount() const { return directoryCount_; }
  int32_t FileCount() const { return fileCount_; }
  bool Aborted() const { return abort_; }

 protected:
  void ScanDirectory(std::string dir);
  void ScanTree(std::string root);
  void CollectSubdirectories(std::string dir);

 private:
  bool Recurse_ = false;
  std::string Directory_;
  std::string Filter_ = "*.*";
  std::vector<std::string> Files_;
  TAttrOptions Attributes_{ffReadOnly, ffHidden, ffSystem, ffArchive};

  bool abort_ = false;  // set only by an OnNewPath handler, never cleared here
  uint32_t attributeMask_ = 0;
  uint32_t totalSize_ = 0;
  int32_t directoryCount_ = 0;
  int32_t fileCount_ = 0;
  // Directories of the running tree walk, waiting to be listed.
  std::deque<std::string> pending_;
  // Identities of the directories the running tree walk has queued: a link
  // back to one of them is not followed again.
  std::unordered_set<std::string> queued_;
};

}  // namespace fretfile
