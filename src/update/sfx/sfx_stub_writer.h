// The self-extractor: a new ".exe" archive starts as the stub program, the
// self-extractor's header (sfx_header.h) and an empty end record whose
// directory offset is the stub's size plus the header's; the compression
// library then adds behind them and keeps every byte in front of the first
// entry.
#pragma once

#include <cstdint>
#include <string>

#include "update/component/updater_types.h"

namespace platform {
class SharedFile;
}

namespace fretfile {

class TZipUpdater;

class SfxStubWriter {
 public:
  explicit SfxStubWriter(TZipUpdater& component) : component_(component) {}

  // Writes the stub program, the self-extractor's header and an empty end
  // record into the new archive ZipFileName; 0 or an error code: -1 the
  // target cannot be created, -2 a copy or write fell short, -3 the stub
  // cannot be opened, -9 a text too long or no stub found, -10 to -12 from
  // ReplaceStubIcon. Nothing is left of a target it could not finish.
  int32_t CreateSfxStub();
  // Puts SFXIcon into the icon resource of a stub that is a PE program, the
  // first stubSize bytes of target: 0 done, -10 no such resource or not a
  // PE program, -11 the file failed, -12 SFXIcon is not a 766-byte icon file.
  int32_t ReplaceStubIcon(platform::SharedFile& target, int64_t stubSize);
  // Copies count bytes, or to the end of source with -1, in 8192-byte
  // blocks, raising OnProgress (ProgrType 1) per block while ProgressOn is
  // set; 0, or -2 when a read or write fails or the source ends before
  // count bytes.
  int32_t CopyBlocks(platform::SharedFile& source, platform::SharedFile& target, int64_t count);
  // Deletes a file through the shell: htdAllowUndo moves it to the
  // desktop's trash, htdFinal removes it. 0 done, -1 no such file, 1 it
  // could not be removed.
  static int32_t DeleteWithShell(const std::string& name, DeleteOpts howToDelete);

 private:
  // The stub file by the search of CreateSfxStub; SFXPath keeps the last
  // name tried. False when none is there.
  bool FindSfxStub();
  int32_t WriteSfxTarget(const std::string& header);
  uint8_t SfxFlags() const;

  TZipUpdater& component_;
};

}  // namespace fretfile
