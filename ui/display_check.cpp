#include "ui/display_check.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace scribeline {

namespace {

// QT_QPA_PLATFORM may name the platform plugin followed by ":options", or a
// ';'-separated list of fallbacks, in which case X is only one of them.
bool usesXPlatform() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || *platform == '\0') return true;
  const std::string name(platform);
  return name.compare(0, 3, "xcb") == 0 && name.find(';') == std::string::npos;
}

}  // namespace

bool displayAvailable(std::string* reason) {
  if (!usesXPlatform()) return true;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    *reason = "the DISPLAY environment variable is not set";
    return false;
  }
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  const bool failed = xcb_connection_has_error(connection) != 0;
  xcb_disconnect(connection);
  if (failed) {
    *reason =
        std::string("no X server accepts connections on display ") + display;
    return false;
  }
  return true;
}

}  // namespace scribeline
