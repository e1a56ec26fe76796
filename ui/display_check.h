#pragma once

#include <string>

struct xcb_connection_t;

namespace scribeline {

// A connection of the program's own to the X server, kept open while Qt
// makes its connection. An X server that resets when its last client leaves
// (one started without -noreset) would otherwise be free to reset between a
// check that connects and leaves and Qt's own connection, which then fails,
// and Qt aborts on a failed connection. Release it once Qt has connected.
class DisplayHold {
 public:
  DisplayHold() = default;
  ~DisplayHold() { release(); }
  DisplayHold(const DisplayHold&) = delete;
  DisplayHold& operator=(const DisplayHold&) = delete;

  void hold(xcb_connection_t* connection);
  void release();

 private:
  xcb_connection_t* connection_ = nullptr;
};

// True when Qt can be started without aborting for want of a display: the
// X platform is selected (the default) and its server accepts a connection,
// which *hold then keeps open, or another Qt platform was chosen
// explicitly, which Qt then checks itself. Otherwise false, with a one-line
// reason in *reason. A server that refuses at first is asked again for a
// moment: it may be resetting after its last client left.
bool displayAvailable(std::string* reason, DisplayHold* hold);

}  // namespace scribeline
