// Turning the source lines of an Add (what the block names to add) into the
// files it adds.
//
// A source line is a path; its last part may hold the wildcards * and ?
// (and [...] classes). A relative path is taken relative to the record's
// root folder when it has one, else to the working folder. Without
// recursion it names one file, or the files of one folder that match; with
// recursion the last part is matched in that folder and in every folder
// below it, and a line naming a folder takes all of it.
//
// What a match may be:
//   - dot-files and dot-folders come in through wildcards or recursion only
//     when hidden files are wanted; a file named outright always comes in;
//   - only regular files (a symbolic link counts as what it points to) and,
//     with separate folder entries, folders; recursion does not follow
//     symbolic links to folders, and never enters a folder twice;
//   - an exclusion matches the entry name, the base name or the path;
//     an excluded folder is not entered;
//   - the archive itself is never added to itself.
//
// Entry names: the base name alone when folder names are dropped; else the
// path relative to the root folder when the file lies inside it, else the
// path as given (an absolute one without its leading "/"), with "." and ".."
// parts resolved so that no name climbs out of its folder. Folders get a
// trailing "/".
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "update/library/add_request.h"
#include "update/library/reporter.h"

namespace zippack {

struct SourceFile {
  std::string path;       // where it is on disk
  std::string entryName;  // its name in the archive ("dir/" for a folder)
  bool isFolder = false;
  mode_t mode = 0;
  uint64_t size = 0;
  std::time_t modified = 0;
  size_t source = 0;      // which source line brought it in
};

// A file the expansion must leave out (the archive itself): device and inode.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool valid = false;
};

// Every file the source lines name, in their order (folder listings
// sorted by name). Names that match nothing, and files that cannot be
// looked at, are reported and left out.
std::vector<SourceFile> ExpandSources(const AddRequest& request, Reporter& reporter, const FileIdentity& archive);

// The name normalised for an entry: "." and ".." parts resolved, no empty
// parts; empty when nothing is left.
std::string NormalisedEntryPath(const std::string& path);

// The named check on an entry name the caller gave (a new name for an
// added file, or a rename's): a relative path that stays inside its
// folder, without NUL, that fits the format.
bool IsAcceptableEntryName(const std::string& name);

}  // namespace zippack
