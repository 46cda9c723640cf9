// Lattice gradient noise in integer fixed point: the random source, the
// permutation and gradient tables, Noise3 and its octave sum Turbulence.
//
// Coordinates are FixedCoord values with 10 fractional bits: 1024 is one
// lattice cell. Only the low 18 bits matter, so the lattice repeats every
// 256 cells (262,144 units) on every axis. Results are in 1/1024 units.
#pragma once

#include <cstdint>

using FixedCoord = int32_t;

constexpr int TableSize = 256;                    // lattice indices; cells are masked with 255
constexpr int kTableEntries = 2 * TableSize + 3;  // 515: two copies plus slack, see InitNoise
constexpr int32_t kFixedOne = 1024;               // 1.0 in FixedCoord and gradient units

// Cubic fade 3t^2 - 2t^3 of an offset r0 = 0..1023 from a cell's lower
// corner, in 1/1024 units (0..1023); the product stays below 2^31. Internal
// linkage: the vector renderers, each compiled for its own instruction set,
// keep their own copy rather than share one the linker could pick.
static constexpr int32_t FadeOffset(int32_t r0) { return ((3072 - 2 * r0) * r0 * r0) >> 20; }

struct Gradient {
    int32_t x, y, z;  // unit vector scaled by 1024, or the zero vector
};

// Entries 0..255 of PermTable hold a permutation of 0..255; entries
// 256..513 repeat entries 0..257 so that sums of two indices need no mask.
// GradTable repeats the same way. Entry 514 of each is never used.
extern int32_t PermTable[kTableEntries];
extern Gradient GradTable[kTableEntries];

// State of the process-wide random source.
extern uint32_t RandomSeed;

// Advances the seed (seed * 134775813 + 1, mod 2^32) and returns it / 2^32,
// a value in [0, 1).
double RandomUnit();

// Seeds the random source from the UTC time of day, to the millisecond:
// ((hour * 60 + minute) * 60 + second) * 1000 + milliseconds.
void RandomizeFromClock();

// Seeds the random source (from the clock when seed is 0) and builds both
// tables with exactly 1024 draws. With a non-zero seed the tables are a pure
// function of it.
void InitNoise(int32_t seed);

// Gradient noise at (x, y, z), in 1/1024 units; 0 at every lattice corner.
// Pure function of its arguments and the two tables.
int32_t Noise3(FixedCoord x, FixedCoord y, FixedCoord z);

// |sum of Noise3(2^k p) / 2^k| for k = 0 .. octaves-1, each division
// truncating toward zero; 0 when octaves <= 0. A 32nd octave divides by the
// wrapped divisor -2^31 and adds nothing; octaves beyond 32 add nothing too.
int32_t Turbulence(FixedCoord x, FixedCoord y, FixedCoord z, int32_t octaves);
