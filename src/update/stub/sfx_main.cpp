// SFXSTUB.BIN: the program in front of a self-extracting archive. It finds
// the self-extractor's header behind its own image and the archive behind
// that, shows the caption and the message, asks on standard input for the
// folder to extract into and, as the header's flags say, for the files and
// what to do with files that exist; it extracts with the program's own
// extraction code and may then run the archive's command in that folder.
//
// Exit codes: 0 every chosen file was extracted (files the user chose not
// to overwrite are no failure); 1 some could not be; 2 nothing was done
// (no archive behind the program, an unreadable or cut-short archive, no
// folder to extract into).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "archive/safe_path.h"
#include "archive/unzip_member.h"
#include "update/sfx/sfx_header.h"
#include "update/stub/choices.h"
#include "update/stub/console.h"
#include "update/stub/entries.h"
#include "update/stub/own_image.h"

namespace sfxstub {
namespace {

namespace sfx = fretfile::sfx;
namespace fs = std::filesystem;

constexpr int kAllExtracted = 0;
constexpr int kSomeFailed = 1;
constexpr int kNothingDone = 2;

// The longest target path the extraction takes (its 260-character buffer).
constexpr size_t kLongestTarget = 259;

enum class Overwrite { Confirm, Always, Never };

struct OwnArchive {
  std::string path;
  uint64_t fileSize = 0;
  sfx::SfxHeader header;
};

std::optional<OwnArchive> FindOwnArchive() {
  OwnArchive own;
  own.path = OwnProgramPath();
  const int fd = own.path.empty() ? -1 : ::open(own.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<sfx::SfxHeader> header;
  struct stat st{};
  if (::fstat(fd, &st) == 0) {
    own.fileSize = static_cast<uint64_t>(st.st_size);
    header = HeaderBehindImage(fd, own.fileSize);
  }
  ::close(fd);
  if (!header) return std::nullopt;
  own.header = *header;
  return own;
}

// "~" and "~/..." as a shell would read them, for a folder typed in.
std::string Expanded(const std::string& folder) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || folder.empty() || folder[0] != '~' || (folder.size() > 1 && folder[1] != '/')) return folder;
  return home + folder.substr(1);
}

std::optional<std::string> AskFolder(const sfx::SfxHeader& header) {
  std::error_code error;
  const std::string current = fs::current_path(error).string();
  const std::string fallback = header.texts.defaultDir.empty() ? current : header.texts.defaultDir;
  const std::string answer = Ask("Extract to folder [" + fallback + "]: ").value_or("");
  const fs::path folder = fs::absolute(Expanded(answer.empty() ? fallback : answer), error);
  if (error || folder.empty()) return std::nullopt;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder, error)) {
    Complain("The folder " + folder.string() + " cannot be made: " + error.message());
    return std::nullopt;
  }
  return folder.string();
}

std::vector<bool> AskFiles(const std::vector<Entry>& entries) {
  Say("The archive holds:");
  for (size_t i = 0; i < entries.size(); ++i) {
    Say("  " + std::to_string(i + 1) + "  " + entries[i].name + " (" + std::to_string(entries[i].size) + " bytes)");
  }
  while (true) {
    const auto answer = Ask("Files to extract (numbers such as 1 3-5; empty for all): ");
    if (!answer || answer->empty()) return std::vector<bool>(entries.size(), true);
    if (auto chosen = ParseChoice(*answer, entries.size())) return *chosen;
    Say("Please give numbers from 1 to " + std::to_string(entries.size()) + ".");
  }
}

Overwrite AskOverwriteMode(Overwrite preset) {
  const char presetLetter = preset == Overwrite::Always ? 'a' : preset == Overwrite::Never ? 'n' : 'c';
  while (true) {
    const auto answer = Ask(std::string("When a file exists already: (c)onfirm each, (a)lways overwrite, "
                                        "(n)ever overwrite [") + presetLetter + "]: ");
    const char letter = !answer || answer->empty() ? presetLetter : (*answer)[0];
    if (letter == 'c' || letter == 'C') return Overwrite::Confirm;
    if (letter == 'a' || letter == 'A') return Overwrite::Always;
    if (letter == 'n' || letter == 'N') return Overwrite::Never;
  }
}

// Whether an existing file is to be replaced; a confirming mode may turn
// into Always or Never by the answer.
bool MayOverwrite(const std::string& name, Overwrite& mode) {
  if (mode != Overwrite::Confirm) return mode == Overwrite::Always;
  while (true) {
    const auto answer = Ask(name + " exists. Overwrite it? (y)es, (n)o, (a)ll, (s)kip all [n]: ");
    const char letter = !answer || answer->empty() ? 'n' : (*answer)[0];
    switch (letter) {
      case 'y': case 'Y': return true;
      case 'n': case 'N': return false;
      case 'a': case 'A': mode = Overwrite::Always; return true;
      case 's': case 'S': mode = Overwrite::Never; return false;
      default: break;
    }
  }
}

struct Outcome {
  int extracted = 0;
  int skipped = 0;
  int failed = 0;
};

Outcome ExtractChosen(const OwnArchive& own, const std::vector<Entry>& entries, const std::vector<bool>& chosen,
                      const std::string& folder, Overwrite mode) {
  Outcome outcome;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!chosen[i]) continue;
    const Entry& entry = entries[i];
    const auto target = archive::SafeJoin(folder, entry.name);
    if (!target) {
      Complain(entry.name + ": refused, the name would leave the folder");
      ++outcome.failed;
      continue;
    }
    std::error_code error;
    if (!entry.IsFolder() && fs::exists(fs::symlink_status(*target, error)) && !MayOverwrite(entry.name, mode)) {
      Say("  skipped " + entry.name);
      ++outcome.skipped;
      continue;
    }
    const int result = target->size() > kLongestTarget
                           ? archive::kUnzipWriteFailed
                           : archive::UnzipMember(own.path, *target, entry.attributes, entry.headerOffset, {}, 0,
                                                  archive::RecordedValues{entry.crc, entry.compressedSize, entry.size});
    if (result == archive::kUnzipOk) {
      Say("  " + entry.name);
      ++outcome.extracted;
    } else {
      Complain(entry.name + ": not extracted, " +
               (target->size() > kLongestTarget ? std::string("its path is too long") : ResultText(result)));
      ++outcome.failed;
    }
  }
  return outcome;
}

// The archive's command, run by the shell in the folder the files went to.
void RunCommand(const std::string& command, const std::string& folder) {
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(folder.c_str()) == 0) ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) < 0) {
    Complain("The command could not be started: " + command);
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    Complain("The command ended with an error: " + command);
  }
}

int Run() {
  const auto own = FindOwnArchive();
  if (!own) {
    Complain("This program holds no self-extracting archive.");
    return kNothingDone;
  }
  const sfx::SfxHeader& header = own->header;
  const auto flagged = [&](uint8_t flag) { return (header.flags & flag) != 0; };
  if (!header.texts.caption.empty()) Say(header.texts.caption);
  if (!header.texts.message.empty()) Say(header.texts.message);
  Say("");

  const Listing listing = ReadEntries(own->path);
  if (!listing.readable) {
    Complain("The archive in this program cannot be read.");
    return kNothingDone;
  }
  if (!flagged(sfx::kNoCheckSize) && !EntriesInside(listing.entries, own->fileSize)) {
    Complain("The archive is incomplete: this file is shorter than the archive it holds.");
    return kNothingDone;
  }
  const auto folder = AskFolder(header);
  if (!folder) return kNothingDone;
  const std::vector<bool> chosen =
      flagged(sfx::kAskFiles) ? AskFiles(listing.entries) : std::vector<bool>(listing.entries.size(), true);
  Overwrite mode = flagged(sfx::kOverwriteAlways) ? Overwrite::Always
                   : flagged(sfx::kOverwriteNever) ? Overwrite::Never
                                                   : Overwrite::Confirm;
  if (!flagged(sfx::kHideOverwriteBox)) mode = AskOverwriteMode(mode);

  Outcome outcome = ExtractChosen(*own, listing.entries, chosen, *folder, mode);
  if (!listing.complete) {
    Complain("Entries beyond 4 GiB in the archive cannot be extracted by this program.");
    ++outcome.failed;
  }
  if (outcome.failed > 0) {
    Complain(std::to_string(outcome.failed) + " file(s) could not be extracted.");
    return kSomeFailed;
  }
  if (!flagged(sfx::kNoSuccessMessage)) {
    std::string done = std::to_string(outcome.extracted) + " file(s) extracted into " + *folder;
    if (outcome.skipped > 0) done += ", " + std::to_string(outcome.skipped) + " existing file(s) kept";
    Say(done + ".");
  }
  const std::string& command = header.texts.commandLine;
  if (flagged(sfx::kAutoRun) && !command.empty()) {
    // Without an answer (the input has ended) the command is not run.
    const auto answer = flagged(sfx::kAskCmdLine) ? Ask("Run \"" + command + "\" now? [Y/n]: ")
                                                   : std::optional<std::string>("y");
    if (answer && (answer->empty() || (*answer)[0] == 'y' || (*answer)[0] == 'Y')) RunCommand(command, *folder);
  }
  return kAllExtracted;
}

}  // namespace
}  // namespace sfxstub

int main() {
  try {
    return sfxstub::Run();
  } catch (const std::exception& error) {
    sfxstub::Complain(std::string("The archive cannot be extracted: ") + error.what());
    return 2;
  }
}
