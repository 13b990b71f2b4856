#pragma once
// FileResult lives with the file input and output at the bottom of the core.
#include "core/io/file_result.h"
