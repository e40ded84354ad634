#include "core/http/rollout.h"
