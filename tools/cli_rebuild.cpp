// fretfile-cli rebuild [--dir DIR] [--full]: rebuilds DIR/kest.idx
// (default: the current folder) with the program's own rebuild, without the
// question. It reads the archives added or changed since the index was
// built and copies the other lines; --full reads every archive. Progress
// goes to stderr; exit 1 when there is no archive or the rebuild fails.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "archive/tzip.h"
#include "cli_command.h"
#include "components/find_file.h"
#include "archive/display_name.h"
#include "index/rebuild.h"
#include "platform/posix/paths.h"

namespace cli {
namespace {

class PrintedEffects : public fretfile::RebuildEffects {
 public:
  bool Confirm(const std::string&) override { return true; }
  // The texts name archives ("Processing <file>"): shown by the names' rule.
  void ShowMessage(const std::string& text) override { Print(text); }
  void ShowStatus(const std::string& text) override { Print(text); }
  static void Print(const std::string& text) { std::fprintf(stderr, "%s\n", archive::DisplayName(text).c_str()); }
  void SetBusy(bool) override {}
};

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > (1u << 20)) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

int RunRebuild(const std::vector<std::string>& args) {
  std::string dir;
  fretfile::RebuildScope scope = fretfile::RebuildScope::ChangedArchives;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dir" && i + 1 < args.size()) {
      dir = args[++i];
    } else if (args[i] == "--full") {
      scope = fretfile::RebuildScope::EveryArchive;
    } else {
      std::fprintf(stderr, "usage: fretfile-cli rebuild [--dir DIR] [--full]\n");
      return 2;
    }
  }
  if (dir.empty()) dir = CurrentDirectory();
  dir = platform::WithTrailingSeparator(dir);

  fretfile::TFindFile finder;
  fretfile::TZipFile zip;
  fretfile::IndexRebuild rebuild(finder, zip);
  PrintedEffects effects;
  try {
    const auto result = rebuild.Run(dir, effects, /*ask=*/false, scope);
    return result == fretfile::RebuildResult::Created ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fretfile-cli rebuild: %s\n", error.what());
    return 1;
  }
}

const CliCommandRegistration kRegistration(
    {"rebuild", "[--dir DIR] [--full]  rebuild DIR/kest.idx from the DIR/*.zip changed since (--full: from all)",
     RunRebuild});

}  // namespace
}  // namespace cli
