#include "platform/gui/error_handler.h"

int main(int argc, char** argv) {
  platform::FretfileApplication app(argc, argv);
  return 0;
}
