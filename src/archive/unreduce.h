// Unreduce: see unreduce.cpp.
#pragma once

#include "archive/extraction_state.h"
