// Unshrink: see unshrink.cpp.
#pragma once

#include "archive/extraction_state.h"
