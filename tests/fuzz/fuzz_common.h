// Shared by the fuzz targets: a logger that keeps nothing, and a check that stops the run.
#pragma once
#include "core/log/actionlog.h"

#include <cstdio>
#include <cstdlib>

// Logging runs the real formatting path; the lines are dropped so memory stays flat.
inline void InstallDroppingLogger()
{
    static TActionLogger logger;
    logger.ActionLog.clear();
    SetCurrentLogger(&logger);
}

#define FUZZ_CHECK(cond)                                                                     \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);    \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)
