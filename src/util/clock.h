// The finest clock the system offers, for seeding random numbers: its ticks
// only grow, their unit depends on the system.
#pragma once

#include <cstdint>

uint64_t PreciseTicks();
