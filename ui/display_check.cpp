#include "ui/display_check.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace scribeline {

namespace {

// A resetting server takes well under this to accept connections again.
constexpr int kConnectAttempts = 20;
constexpr std::chrono::milliseconds kConnectPause(50);

// QT_QPA_PLATFORM may name the platform plugin followed by ":options", or a
// ';'-separated list of fallbacks, in which case X is only one of them.
bool usesXPlatform() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || *platform == '\0') return true;
  const std::string name(platform);
  return name.compare(0, 3, "xcb") == 0 && name.find(';') == std::string::npos;
}

}  // namespace

void DisplayHold::hold(xcb_connection_t* connection) {
  release();
  connection_ = connection;
}

void DisplayHold::release() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
  connection_ = nullptr;
}

bool displayAvailable(std::string* reason, DisplayHold* hold) {
  if (!usesXPlatform()) return true;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    *reason = "the DISPLAY environment variable is not set";
    return false;
  }
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kConnectPause);
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection) == 0) {
      hold->hold(connection);
      return true;
    }
    xcb_disconnect(connection);
  }
  *reason =
      std::string("no X server accepts connections on display ") + display;
  return false;
}

}  // namespace scribeline
