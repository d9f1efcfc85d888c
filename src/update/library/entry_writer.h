// Writing one new entry into the new archive: its local header, its data
// (deflated by zlib, or stored), encrypted when it has a password, and the
// central record that will describe it.
//
// The local header goes out first with its sizes unknown and is patched once
// the data is written, so nothing is held in memory but the buffers. Data
// that deflate does not shrink is written again, stored. An encrypted entry
// needs its CRC-32 before its data (the encryption header carries part of
// it), so its file is read twice, and a file that changes in between is
// skipped. A file large enough to need zip64 sizes gets a zip64 block in its
// local header from the start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/zip_format.h"
#include "update/library/reporter.h"
#include "update/library/source_files.h"
#include "update/library/temp_archive.h"

struct z_stream_s;

namespace zippack {

struct EntryPlan {
  const SourceFile* file = nullptr;
  std::string name;                      // the entry name
  std::string comment;
  std::optional<std::string> password;   // encrypts when present
  bool store = false;                    // no compression (level 0, a store suffix)
  bool forceDos = false;                 // MS-DOS host and attributes only
};

enum class EntryOutcome {
  Written,
  SourceFailed,  // the file could not be read; nothing of it stays in the archive
  OutputFailed,  // the new archive could not be written
  Cancelled,
};

class EntryWriter {
 public:
  EntryWriter(TempArchive& out, Reporter& reporter, int level);
  ~EntryWriter();
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  // Writes the entry at the archive's current position. Written: `central`
  // holds its central record and `dosDateTime` its time. SourceFailed:
  // `problem` says why, and the archive is back where it was.
  EntryOutcome Write(const EntryPlan& plan, std::string& central, uint32_t& dosDateTime, std::string& problem);

 private:
  struct Data;
  EntryOutcome WriteData(int source, const EntryPlan& plan, uint16_t method, uint32_t crc, Data& data,
                         std::string& problem);
  // A file entry's data, deflated unless that would not shrink it; the
  // method goes into `local`.
  EntryOutcome WriteContent(int source, const EntryPlan& plan, archive::zip::LocalHeader& local, uint32_t crc, bool zip64,
                            Data& data, std::string& problem);
  bool ResetDeflate();

  TempArchive& out_;
  Reporter& reporter_;
  int level_;
  z_stream_s* deflate_ = nullptr;
  bool deflateReady_ = false;
  std::string input_;
  std::string output_;
};

// The CRC-32 and length of a file's content; false when it cannot be read.
bool CrcOfFile(const std::string& path, uint32_t& crc, uint64_t& size);

// Whether a name is valid UTF-8 with at least one byte outside ASCII (such a
// name is marked as UTF-8 in its entry).
bool IsUtf8BeyondAscii(const std::string& name);

}  // namespace zippack
