// Widget tests run real widgets on the offscreen platform inside the
// program's own application object, one for the whole test program.
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/gui/error_handler.h"
#include "platform/gui/gui_prompts.h"
#include "platform/gui/key_state_filter.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  platform::FretfileApplication app(argc, argv);
  platform::KeyStateFilter::Install();
  platform::InstallGuiPrompts();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
