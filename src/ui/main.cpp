// Fretfile: browse a collection of songs kept in zip archives.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/app_paths.h"
#include "platform/gui/error_handler.h"
#include "platform/gui/gui_prompts.h"
#include "platform/gui/key_state_filter.h"
#include "ui/form_main.h"

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
  if (!DisplayReachable()) {
    std::fprintf(stderr,
                 "fretfile: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Run it inside a desktop session, or without one:\n"
                 "  xvfb-run -a %s              (a virtual X display)\n"
                 "  QT_QPA_PLATFORM=offscreen %s   (no window shown at all)\n",
                 argv[0], argv[0]);
    return 2;
  }
  platform::FretfileApplication app(argc, argv);
  platform::KeyStateFilter::Install();
  platform::InstallGuiPrompts();
  fretfile::TFormMain formMain(platform::ApplicationDir());
  formMain.show();
  return app.exec();
}
