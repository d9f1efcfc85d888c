// libzippack: adds files to a zip archive for the archive-update component,
// and deletes and renames its entries.
//
// The component fills one parameter block (update/zippack_abi.h) and calls
// ZipPackExec; everything after that goes through the block's call-back:
// progress, messages, and the questions for entry names, passwords and
// comments. The result is the number of files added or replaced; 0 means
// nothing was stored and the archive is exactly as it was (-1: the block
// itself was unusable, and nobody was called back). ZipPackEdit deletes or
// renames entries with a block of its own and the same call-back; its
// steps are told in edit_run.cpp.
//
// An Add (add_run.cpp), a delete and a rename (edit_run.cpp) share one
// rewrite of the archive (archive_rewrite.h): the locking, the removal of
// stale temporary files, the hostile reading of the directory, the copying
// of kept entries in runs, the new directory and end records, and the
// rename into place. Steps 2, 3, 5, 8 and 9 below are that rewrite's.
//
// How an Add proceeds
//
//   1. The block is checked and read into owned values (add_request).
//   2. The archive is opened and locked with an exclusive flock for the
//      whole run, the way the program emulates Windows sharing; a read-only
//      archive, one in use, or anything but a regular file is refused. No
//      file of that name: the Add makes a new archive.
//   3. Temporary files that earlier, killed runs left beside the archive are
//      removed (only those nobody holds locked).
//   4. The source lines (the block's files, folders and patterns) become a
//      list of files with entry names (source_files), and the caller may
//      rename each entry (action 7). Names are compared case-sensitively
//      with "/" and "\" taken as the same; a name given twice keeps its
//      first file.
//   5. The archive's directory is read as hostile input (existing_archive):
//      every check that fails refuses the archive, which is then left alone.
//      Each new file whose name an entry has takes that entry's place.
//   6. Update and freshen drop the files that are not newer than their
//      entries. Times are compared at the format's 2-second resolution; a
//      file whose time equals its entry's but whose content differs (its
//      CRC-32 or size) counts as newer, so a second save within two seconds
//      is not lost.
//   7. Files to encrypt without a password get one from the caller
//      (action 8, once per source line, or once for the block's); no
//      answer skips them. Each file's comment is asked for (action 12).
//      Nothing left to do: the archive is not touched.
//   8. The new archive is written into a temporary file (temp_archive) in
//      the archive's folder, or in TempDir when that is on the same file
//      system: the bytes in front of the first entry, then the entries in
//      the order of the file, where kept entries are copied byte for byte in
//      runs as long as possible (copy_file_range), and each replaced entry's
//      bytes give way to its new entry (entry_writer); then the new entries,
//      the central directory (the old records in their order, with new
//      offsets, the replaced ones rewritten, the new ones behind), zip64 end
//      records when counts, sizes or offsets need them, the end record and
//      the comment. Offsets count from the start of the file, also behind
//      a stub whose archive counted them from its own start.
//   9. The temporary file gets the archive's permissions and owner (and,
//      with LatestTime, its newest entry's time), is flushed to disk, and is
//      renamed over the archive, after a last check that the archive's name
//      still names the file we locked; the folder is flushed too. A new
//      archive is renamed into place only if no file took its name meanwhile.
//      A detached process holds the old archive open across the rename and
//      lets go once we have, so that the kernel frees its blocks off the
//      caller's path (retired_archive).
//  10. With Move, the added files are deleted, only now.
//
// What it guarantees
//
//   - The archive changes in one rename or not at all. A failure, a cancel
//     from a call-back, a full disk or an unreadable source leaves it byte for
//     byte as it was, and removes the temporary file; a killed process leaves
//     a temporary file that the next run on the archive removes.
//   - An entry not replaced keeps every byte of its local header, name,
//     extra field, data and data descriptor, whatever its method; so do the
//     bytes in front of the first entry.
//   - A file that cannot be read is reported and skipped; the entry it would
//     have replaced stays.
//   - Memory does not grow with the archive's bytes: a fixed set of buffers
//     (a few MiB, zlib's included) and 44 bytes per existing entry.
//
// Flags of the block with no meaning here, accepted and ignored: Volume (a
// disk label), ArchiveFilesOnly and ResetArchiveBit (the MS-DOS archive bit),
// Quiet, Grow. ForceDos writes entries as made on MS-DOS (host 0, attribute
// byte only); the names stay as they are.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "update/library/add_request.h"
#include "update/library/add_run.h"
#include "update/library/edit_request.h"
#include "update/library/edit_run.h"
#include "update/library/reporter.h"
#include "update/zippack_abi.h"

#define ZIPPACK_EXPORT extern "C" __attribute__((visibility("default")))

namespace zippack {
namespace {

// Runs one operation; nothing may escape into the caller, which knows
// nothing of C++.
template <typename Request, typename Operation>
int32_t Guarded(const Request& request, Reporter& reporter, Operation operation) {
  try {
    return operation(request, reporter);
  } catch (const std::exception& error) {
    try {
      reporter.Message(kInternalError, request.archive, error.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return 0;
}

}  // namespace
}  // namespace zippack

ZIPPACK_EXPORT int32_t GetZipPackVersion() { return zippack::kComponentVersion; }

ZIPPACK_EXPORT int32_t ZipPackExec(void* params) {
  using namespace zippack;
  const auto* block = static_cast<const ZipExecParams*>(params);
  std::string problem;
  std::optional<AddRequest> request;
  try {
    request = ReadBlock(block, problem);
  } catch (...) {
    return -1;
  }
  if (!request) return -1;
  Reporter reporter(block->Callback, block->OwnerWindow, block->Caller, request->verbose);
  return Guarded(*request, reporter, RunAdd);
}

ZIPPACK_EXPORT int32_t ZipPackEdit(void* params) {
  using namespace zippack;
  const auto* block = static_cast<const ZipEditParams*>(params);
  std::string problem;
  std::optional<EditRequest> request;
  try {
    request = ReadEditBlock(block, problem);
  } catch (...) {
    return -1;
  }
  if (!request) return -1;
  Reporter reporter(block->Callback, block->OwnerWindow, block->Caller, request->verbose);
  return Guarded(*request, reporter, RunEdit);
}
