#pragma once

// Timing helpers of the benchmarks that drive the program through real
// windows (tests/e2e/x_session.h).

#include <chrono>
#include <string>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {

// Seconds on the steady clock.
inline double seconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Sends a key that prints a line ("." raises the pen radius) and waits for
// the line; the seconds it took. The program handles its events in order,
// so the key's answer also marks the end of everything sent before it.
inline double keyRoundTrip(XSession& program, double timeoutSeconds = 120) {
  const double start = seconds();
  program.key("Scribeline", "period");
  std::string rest;
  program.waitForLine("current pen radius = ", &rest, timeoutSeconds);
  return seconds() - start;
}

}  // namespace scribeline::e2e
