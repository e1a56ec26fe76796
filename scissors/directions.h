#pragma once

#include <array>

namespace scribeline {

// Step from a pixel to its neighbour in direction k. x grows to the right and
// y downwards; the directions turn counter-clockwise on the screen, starting
// at the right:
//
//     3  2  1
//     4  p  0
//     5  6  7
struct DirectionOffset {
  int dx;
  int dy;
};

constexpr std::array<DirectionOffset, 8> directionOffsets = {{{+1, 0},
                                                              {+1, -1},
                                                              {0, -1},
                                                              {-1, -1},
                                                              {-1, 0},
                                                              {-1, +1},
                                                              {0, +1},
                                                              {+1, +1}}};

// The square root of 2.0 as a double.
constexpr double kSqrt2 = 1.4142135623730951;

// Length of one step in direction k: 1 along the axes, sqrt(2) diagonally.
constexpr std::array<double, 8> linkLength = {1.0, kSqrt2, 1.0, kSqrt2,
                                              1.0, kSqrt2, 1.0, kSqrt2};

// The direction pointing back: (k + 4) mod 8.
constexpr int oppositeDirection(int k) { return (k + 4) & 7; }

}  // namespace scribeline
