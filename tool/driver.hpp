#pragma once
// The main procedure of labmix: the command line scanned, the run it asks for (the listings,
// a test, or parts combined), and every failure turned into one message and exit status 1.

#include <span>

namespace labmix {

// Scans `arguments` (argv, the invocation name first), runs, and returns the exit status; the
// usage text and every message go to standard error.
int run(std::span<const char* const> arguments);

} // namespace labmix
