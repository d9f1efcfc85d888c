#include "archive/explode.h"

namespace archive {

int Explode(ExtractionState& state) {
  (void)state;
  return kUnzipUnsupportedMethod;
}

}  // namespace archive
