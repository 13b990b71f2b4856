#pragma once
// Whole-file reading and the atomic writer live at the bottom of the core.
#include "core/io/atomic_write.h"
