// The one set-up of every table a frame reads.
#include "render/tables.h"

#include "noise/noise.h"
#include "render/shading.h"

void BuildTables(int32_t seed) {
    BuildPalette();
    BuildSineTable();
    InitNoise(seed);
}
