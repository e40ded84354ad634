#include "core/watch/watch.h"
