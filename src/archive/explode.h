// Explode: see explode.cpp.
#pragma once

#include "archive/extraction_state.h"
