#include "ui/x_window_manager.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace scribeline {

namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> owned(Reply* reply) {
  return ReplyPtr<Reply>(reply, &std::free);
}

// The 32-bit values of a property, empty when it is missing or of another
// format.
std::vector<uint32_t> cardinals(xcb_connection_t* connection, uint32_t window,
                                uint32_t property, uint32_t type) {
  auto reply = owned(xcb_get_property_reply(
      connection,
      xcb_get_property(connection, 0, window, property, type, 0, 64), nullptr));
  if (!reply || reply->format != 32 || reply->type != type) return {};
  const auto* values =
      static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
  return std::vector<uint32_t>(values, values + reply->value_len);
}

constexpr auto kExtentsPoll = std::chrono::milliseconds(5);

}  // namespace

XWindowManagerLink::XWindowManagerLink(const std::string& display) {
  const char* name = display.empty() ? nullptr : display.c_str();
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(name, &screenNumber);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return;
  }
  xcb_screen_iterator_t screens =
      xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
    xcb_screen_next(&screens);
  if (screens.rem == 0) {
    xcb_disconnect(connection);
    return;
  }
  connection_ = connection;
  root_ = screens.data->root;
}

XWindowManagerLink::~XWindowManagerLink() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

uint32_t XWindowManagerLink::atom(const std::string& name) {
  auto known = atoms_.find(name);
  if (known != atoms_.end()) return known->second;
  auto reply = owned(xcb_intern_atom_reply(
      connection_,
      xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()),
                      name.c_str()),
      nullptr));
  if (!reply) return XCB_ATOM_NONE;
  atoms_[name] = reply->atom;
  return reply->atom;
}

bool XWindowManagerLink::managerRunning() {
  if (!connected()) return false;
  const uint32_t check = atom("_NET_SUPPORTING_WM_CHECK");
  const std::vector<uint32_t> named =
      cardinals(connection_, root_, check, XCB_ATOM_WINDOW);
  if (named.size() != 1) return false;
  const std::vector<uint32_t> self =
      cardinals(connection_, named[0], check, XCB_ATOM_WINDOW);
  return self.size() == 1 && self[0] == named[0];
}

std::optional<FrameExtents> XWindowManagerLink::frameExtents(uint32_t window) {
  if (!connected()) return std::nullopt;
  const std::vector<uint32_t> values = cardinals(
      connection_, window, atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
  if (values.size() != 4) return std::nullopt;
  FrameExtents extents;
  extents.left = static_cast<int>(values[0]);
  extents.right = static_cast<int>(values[1]);
  extents.top = static_cast<int>(values[2]);
  extents.bottom = static_cast<int>(values[3]);
  return extents;
}

std::optional<FrameExtents> XWindowManagerLink::requestFrameExtents(
    uint32_t window, std::chrono::milliseconds wait) {
  if (!connected() || !managerRunning()) return std::nullopt;
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = atom("_NET_REQUEST_FRAME_EXTENTS");
  xcb_send_event(
      connection_, 0, root_,
      XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
      reinterpret_cast<const char*>(&message));
  xcb_flush(connection_);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (std::optional<FrameExtents> extents = frameExtents(window))
      return extents;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kExtentsPoll);
  }
}

std::optional<std::pair<int, int>> XWindowManagerLink::clientPosition(
    uint32_t window) {
  if (!connected()) return std::nullopt;
  auto reply = owned(xcb_translate_coordinates_reply(
      connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0),
      nullptr));
  if (!reply) return std::nullopt;
  return std::make_pair(static_cast<int>(reply->dst_x),
                        static_cast<int>(reply->dst_y));
}

void XWindowManagerLink::moveClient(uint32_t window, int x, int y) {
  if (!connected()) return;
  if (!managerRunning()) {
    const uint32_t values[] = {static_cast<uint32_t>(x),
                               static_cast<uint32_t>(y)};
    xcb_configure_window(connection_, window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    xcb_flush(connection_);
    return;
  }
  // _NET_MOVERESIZE_WINDOW: gravity in the low byte, then the flags of the
  // values given (x, y), and the source (1: an application).
  constexpr uint32_t kStaticGravity = 10;
  constexpr uint32_t kXAndY = (1u << 8) | (1u << 9);
  constexpr uint32_t kFromApplication = 1u << 12;
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = atom("_NET_MOVERESIZE_WINDOW");
  message.data.data32[0] = kStaticGravity | kXAndY | kFromApplication;
  message.data.data32[1] = static_cast<uint32_t>(x);
  message.data.data32[2] = static_cast<uint32_t>(y);
  xcb_send_event(
      connection_, 0, root_,
      XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
      reinterpret_cast<const char*>(&message));
  xcb_flush(connection_);
}

void XWindowManagerLink::makeGroupTransient(uint32_t window) {
  if (!connected()) return;
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window,
                      XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1,
                      &root_);
  xcb_flush(connection_);
}

}  // namespace scribeline
