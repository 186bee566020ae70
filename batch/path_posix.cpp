// Paths on POSIX systems: only '/' separates, and '\' is an ordinary
// character of a file name.
#include "batch/path.h"

namespace kirato {

const PathRules& SystemPaths() { return kPosixPaths; }

}  // namespace kirato
