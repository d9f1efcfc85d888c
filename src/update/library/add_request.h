// One Add as the caller's parameter block describes it, read into owned
// values once, so that the rest of the library never touches the block.
//
// Fields of the block that mean nothing on Linux are read and ignored: the
// owner window (handed back in call-backs only), Volume (a disk label),
// ArchiveFilesOnly and ResetArchiveBit (the MS-DOS archive bit), Quiet and
// Grow (this library always reports through the call-back and always adds to
// an existing archive), Trace beyond making the run verbose.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/zippack_abi.h"

namespace zippack {

enum class Encryption {
  None,
  BlockPassword,  // the block's password (asked for when it has none)
  OwnPassword,    // the line's own password (asked for when it has none)
};

struct SourceLine {
  std::string pattern;                  // a path, its last part may hold * and ?
  bool literal = false;                 // the path names one file: * ? [ are its own characters
  bool recurse = false;
  Encryption encryption = Encryption::None;
  std::optional<std::string> password;  // the line's own
  std::string rootDir;                  // names are taken relative to it; empty: none
};

struct AddRequest {
  std::string archive;
  std::string tempDir;                        // empty: the archive's folder
  std::optional<std::string> comment;         // replaces the archive's own when given
  std::optional<std::string> blockPassword;
  std::vector<std::string> storeSuffixes;     // ".gif" and so on, compared case-insensitively
  std::vector<std::string> excludes;
  std::vector<SourceLine> sources;
  int level = 9;                              // 0 stores
  bool hiddenFiles = false;
  bool dirEntries = false;                    // separate entries for folders
  bool verbose = false;
  bool junkDirNames = true;                   // bare names
  bool forceDos = false;                      // MS-DOS host and attributes only
  bool move = false;
  bool update = false;
  bool freshen = false;
  bool latestTime = false;                    // the archive takes its newest entry's time
};

// Checks that the block is one this library can read (BlockIsUsable) and
// reads it; nothing, with the reason in `problem`, when it is not.
std::optional<AddRequest> ReadBlock(const ZipExecParams* block, std::string& problem);

}  // namespace zippack
