#include "archive/unreduce.h"

namespace archive {

int Unreduce(ExtractionState& state, int method) {
  (void)state;
  (void)method;
  return kUnzipUnsupportedMethod;
}

}  // namespace archive
