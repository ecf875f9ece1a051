// The stand-in's clock and perror; see clock_perror.h.
#include "clock_perror.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "machine.h"
#include "nfb.h"

namespace sim {

namespace {

std::vector<std::string> &lines() {
    static std::vector<std::string> kept;
    return kept;
}

} // namespace

const std::vector<std::string> &perrorLines() {
    return lines();
}

void clearPerrorLines() {
    lines().clear();
}

} // namespace sim

extern "C" {

clock_t clock(void) DRV_SYSCALL_NOTHROW {
    sim::Machine &m = sim::Machine::current();
    m.advance(1);
    return static_cast<clock_t>(static_cast<uint32_t>(m.nowMicros()));
}

void perror(const char *s) {
    const int saved = errno;
    std::string line = s != nullptr && *s != '\0' ? std::string(s) + ": " : std::string();
    line += std::strerror(saved);
    sim::lines().push_back(line);
    std::fprintf(stderr, "%s\n", line.c_str());
    errno = saved;
}

} // extern "C"
