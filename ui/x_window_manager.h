#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

struct xcb_connection_t;

namespace scribeline {

// The frame a window manager puts around a window, in pixels per side.
struct FrameExtents {
  int left = 0, right = 0, top = 0, bottom = 0;
  bool operator==(const FrameExtents& other) const {
    return left == other.left && right == other.right && top == other.top &&
           bottom == other.bottom;
  }
};

// A connection of the window layer's own to the X server, for what Qt does
// not tell or do: whether a window manager runs, the frame it gives a
// window, where a window really is, and the group-transient role of a tool
// window. Windows are X window ids of top-level client windows. Without a
// connection (no X display) every query answers "unknown" and every request
// does nothing.
class XWindowManagerLink {
 public:
  // Connects to `display` (the DISPLAY variable when empty).
  explicit XWindowManagerLink(const std::string& display = "");
  ~XWindowManagerLink();
  XWindowManagerLink(const XWindowManagerLink&) = delete;
  XWindowManagerLink& operator=(const XWindowManagerLink&) = delete;

  bool connected() const { return connection_ != nullptr; }

  // Whether a window manager that follows the freedesktop.org window
  // manager hints runs now: the root window names a check window that
  // names itself.
  bool managerRunning();

  // The frame extents the window manager has set on the window; none until
  // it has taken the window on (or with no manager).
  std::optional<FrameExtents> frameExtents(uint32_t window);

  // Asks the window manager which frame a window not yet mapped will get,
  // and waits for the answer up to `wait`. None when no manager answers.
  std::optional<FrameExtents> requestFrameExtents(
      uint32_t window, std::chrono::milliseconds wait);

  // Where the window's client area lies on the screen now (its top-left
  // corner in root coordinates); none when the window is gone.
  std::optional<std::pair<int, int>> clientPosition(uint32_t window);

  // Moves the window's client area to (x, y) in root coordinates: through
  // the window manager (a move request with static gravity) when one runs,
  // else directly.
  void moveClient(uint32_t window, int x, int y);

  // Makes the window transient for its whole group (WM_TRANSIENT_FOR set to
  // the root window, as window managers read it): the manager keeps it
  // above every other window of the program.
  void makeGroupTransient(uint32_t window);

 private:
  uint32_t atom(const std::string& name);

  xcb_connection_t* connection_ = nullptr;
  std::map<std::string, uint32_t> atoms_;
  uint32_t root_ = 0;
};

}  // namespace scribeline
