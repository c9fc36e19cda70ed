// Marks for callgrind's instruction counts, so that a benchmark counts only
// the walks it names. Without valgrind's header the marks do nothing and
// KORVEX_CALLGRIND is 0; the timed benchmarks do not need it.
#pragma once

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define KORVEX_CALLGRIND 1
#else
#define KORVEX_CALLGRIND 0
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name) static_cast<void>(name)
#endif
