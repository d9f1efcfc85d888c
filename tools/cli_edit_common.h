// What fretfile-cli delete and rename share: their arguments (an archive,
// then names; "--temp-dir DIR" before a "--"; every word after "--" is a
// name as it stands) and the run of the component with its report.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace fretfile {
class TZipUpdater;
}

namespace cli {

struct EditArguments {
  std::string archive;
  std::vector<std::string> names;  // the bytes given, each one name
  std::string tempDir;
};

// The arguments, or the problem with them in `problem`.
bool ParseEditArguments(const std::vector<std::string>& args, EditArguments& out, std::string& problem);

// Runs `change` on an unattended component set to the archive; prints
// "processed N" and the component's last message on standard error.
// `afterChange` runs once entries were changed, before the message. Exit 0
// when entries were processed, 1 when none were.
int RunEdit(const EditArguments& arguments, const std::function<int32_t(fretfile::TZipUpdater&)>& change,
            const std::function<void(const EditArguments&)>& afterChange);

}  // namespace cli
