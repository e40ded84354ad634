#include "core/watch/site.h"
