#pragma once
// Qt defines "slots", "signals" and "emit" as macros. Program headers that use
// those words as plain names must be read before any Qt header, so every file
// of the user interface includes this one first.
#include "foundation/TPtrArray.h"
