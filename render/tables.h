// The one set-up of every table a frame reads, for every program, tool and
// benchmark.
#pragma once

#include <cstdint>

// Builds the palette, the sine table and the noise tables from seed (0 seeds
// from the clock), in that order, as the Windows program does at start-up.
void BuildTables(int32_t seed);
