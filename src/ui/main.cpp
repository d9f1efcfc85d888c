// Fretfile: browse a collection of songs kept in zip archives.
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "index/collection_choice.h"
#include "platform/app_paths.h"
#include "platform/gui/error_handler.h"
#include "platform/gui/gui_prompts.h"
#include "platform/gui/key_state_filter.h"
#include "platform/program_version.h"
#include "ui/form_main.h"
#include "ui/program_arguments.h"

namespace {

// Qt aborts with a cryptic message when no display can be reached; say
// plainly what to do instead.
bool DisplayReachable() {
  const char* platformName = std::getenv("QT_QPA_PLATFORM");
  if (platformName != nullptr && *platformName != '\0') return true;
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char** argv) {
  using Request = fretfile::ProgramArguments::Request;
  // --version and --help need no display.
  const auto early = fretfile::ParseProgramArguments({argv + 1, argv + argc});
  if (early.request == Request::Version) {
    std::printf("%s\n", platform::kProgramVersionText);
    return 0;
  }
  if (early.request == Request::Help) {
    std::fputs(fretfile::ProgramUsage().c_str(), stdout);
    return 0;
  }
  if (!DisplayReachable()) {
    std::fprintf(stderr,
                 "fretfile: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Run it inside a desktop session, or without one:\n"
                 "  xvfb-run -a %s              (a virtual X display)\n"
                 "  QT_QPA_PLATFORM=offscreen %s   (no window shown at all)\n",
                 argv[0], argv[0]);
    return 2;
  }
  // The application object takes Qt's own options out of argv.
  platform::FretfileApplication app(argc, argv);
  const auto arguments = fretfile::ParseProgramArguments({argv + 1, argv + argc});
  if (arguments.request == Request::Error) {
    std::fprintf(stderr, "fretfile: %s\nTry 'fretfile --help'.\n", arguments.error.c_str());
    return 2;
  }
  platform::KeyStateFilter::Install();
  platform::InstallGuiPrompts();
  const std::string collection = fretfile::StartCollectionFolder(platform::ApplicationDir(), arguments.collection);
  fretfile::TFormMain formMain(collection);
  formMain.show();
  // Edits a killed or failed run left in temp/ are offered once the window is up.
  QTimer::singleShot(0, &formMain, [&formMain] { platform::RunReportingErrors([&] { formMain.OfferUnstoredEdits(); }); });
  // No collection yet: ask once for the folder of the user's archives.
  if (collection.empty()) platform::RunReportingErrors([&] { formMain.ChooseCollectionFolder1Click(); });
  return app.exec();
}
