#include "core/app/version.h"

// PYXET_VERSION comes from the build (the project version, checked there to be four numbers).
const char* ProgramVersion() { return PYXET_VERSION; }
