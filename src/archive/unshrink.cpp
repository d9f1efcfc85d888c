#include "archive/unshrink.h"

namespace archive {

int Unshrink(ExtractionState& state) {
  (void)state;
  return kUnzipUnsupportedMethod;
}

}  // namespace archive
