// The run-time state of TZipUpdater that is not published: what the last
// operation (an Add, a Delete, a Rename) did and said, and whether one runs. The component reads it out
// through its getters; the library session writes what the library reports.
#pragma once

#include <cstdint>
#include <string>

namespace fretfile {

struct UpdaterStatus {
  int32_t ProcessedCount = 0;   // files (Add) or entries (Delete, Rename) the last operation processed
  int32_t LastErrCode = 0;      // the last message's number, or the low byte of the library's code
  int32_t LastFullErrCode = 0;  // the library's last nonzero code, whole
  std::string LastMessage;
  // Returned to the library by every call-back: set, it asks the library
  // to stop. Add clears it when it starts and when it ends.
  bool CancelRequested = false;
  bool InOperation = false;     // an Add, a Delete or a Rename (or a span write) runs
  int32_t ReportedTotal = 0;    // the size the library announced (action 6)
  // A prompted password may be kept in Password only while this is set;
  // the call-back clears it while it asks for the library.
  bool StorePassword = true;
};

}  // namespace fretfile
