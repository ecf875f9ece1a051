// The stand-in's clock and perror (declared for the drivers in nfb.h).
//
// clock: the current machine's virtual time in ticks of one microsecond
// (CLOCKS_PER_SEC 1000000, as the target system has it). Each call lets one
// tick pass, so a loop that waits for the clock always ends; the value is
// the low 32 bits of the machine's time, so it wraps as the target's 32-bit
// clock_t does (a test advances the machine near 2^32 microseconds to see it).
//
// perror: prints "TEXT: strerror(errno)\n" (only the error text when TEXT is
// null or empty) on stderr, as the C library does, and keeps each line
// without its line feed for tests.
#pragma once

#include <string>
#include <vector>

namespace sim {

const std::vector<std::string> &perrorLines();
void clearPerrorLines();

} // namespace sim
