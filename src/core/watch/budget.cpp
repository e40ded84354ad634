#include "core/watch/budget.h"
