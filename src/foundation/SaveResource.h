// Stores one resource in a file's resource fork.
#pragma once

#include "platform/MacFiles.h"

// Unlocks the file, then replaces the data of resource `resType`/`resID` in
// its resource fork (or adds it, named `name`, a length-prefixed string or
// null for none) and writes the fork back. A file without a resource fork
// (or without a data file) gets one with `creator` and `type`, but only when
// both are non-zero; otherwise nothing is written and the result is false.
// A damaged resource fork is left alone (false). The file is locked again
// afterwards when `lockAfter` is set, also after a failure.
bool SaveResource(FSSpec const& file, bool lockAfter, OSType creator, OSType type, ScriptCode script,
                  OSType resType, short resID, unsigned char const* name, long length, char const* data);
