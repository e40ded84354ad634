// A dark palette such as a dark desktop theme gives (the program's own dark scheme's), for the
// window tests of the colours and the lab's pictures of the dark scheme.
#pragma once
#include "gui/app/colourscheme.h"

#include <QPalette>

inline QPalette DarkPalette() { return DarkSchemePalette(); }
