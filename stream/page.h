#pragma once

#include <cstdint>

// The page every drawing is made on, in file units. Logical coordinates keep
// x and turn y downward as kPageHeight - Y.
inline constexpr int32_t kPageWidth = 4096;
inline constexpr int32_t kPageHeight = 3120;
