#include "ui/highgui_window_system.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <opencv2/highgui.hpp>
#include <optional>
#include <thread>
#include <vector>

#include "ui/display_check.h"
#include "ui/display_loss.h"
#include "ui/frame_position.h"
#include "ui/key_decoding.h"
#include "ui/x_window_manager.h"

namespace scribeline {

namespace {

// The widget class highgui's Qt backend uses for its named windows; its
// object name is the window name.
constexpr char kHighguiWindowClass[] = "CvWindow";

bool isHighguiWindow(const QWidget* widget) {
  return widget != nullptr && widget->isWindow() &&
         std::string(widget->metaObject()->className()) == kHighguiWindowClass;
}

QWidget* findHighguiWindow(const std::string& name) {
  const QString qname = QString::fromStdString(name);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (isHighguiWindow(widget) && widget->objectName() == qname) return widget;
  }
  return nullptr;
}

int visibleHighguiWindowCount() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (isHighguiWindow(widget) && widget->isVisible()) ++count;
  }
  return count;
}

// What the window system learns from the events of its windows.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void onWheel(QWidget* window, const QWheelEvent& wheel) = 0;
  // The window is about to be mapped: shown, but not yet on the screen.
  virtual void onShowing(QWidget* window) = 0;
  // The user (through the window manager) asks to close the window.
  virtual void onUserClose(QWidget* window) = 0;
};

// Sees the events of highgui windows before highgui does.
//
// Key presses: highgui's own key wait loses the case of letters and every key
// pressed with Ctrl, so the presses are decoded here from Qt's key, modifiers
// and text and queued. Each press is taken at its native window and consumed
// there: it is not passed on to the widget, which would see it a second time.
//
// Wheel turns are taken here too and handed on: highgui would zoom its own
// view on them, and in a zoomed view a left drag pans the picture under the
// pointer instead of moving the pointer over it, so the tools could no
// longer draw. The program zooms by itself instead.
//
// A window's show event comes before its native window is mapped (highgui
// shows a window as it makes it), the last moment at which its position
// reaches the window manager as the window's own. A close request from the
// window system arrives at the native window, which the program's own
// closing never involves.
class InputFilter : public QObject {
 public:
  InputFilter(std::deque<int>* keys, WindowEvents* events)
      : keys_(keys), events_(events) {}

  bool eventFilter(QObject* target, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Show:
        if (target->isWidgetType() &&
            isHighguiWindow(static_cast<QWidget*>(target)))
          events_->onShowing(static_cast<QWidget*>(target));
        return false;
      case QEvent::Close:
      case QEvent::KeyPress:
      case QEvent::Wheel:
        break;
      default:
        return false;
    }
    if (!target->isWindowType()) return false;
    QWidget* window = widgetOf(static_cast<QWindow*>(target));
    if (!isHighguiWindow(window)) return false;
    if (event->type() == QEvent::Close) {
      events_->onUserClose(window);
      return false;
    }
    if (event->type() == QEvent::Wheel) {
      events_->onWheel(window, *static_cast<QWheelEvent*>(event));
      return true;
    }
    const auto* press = static_cast<QKeyEvent*>(event);
    if (std::optional<int> code =
            decodeKey(press->key(), press->modifiers(), press->text())) {
      keys_->push_back(*code);
    }
    return true;
  }

 private:
  static QWidget* widgetOf(const QWindow* window) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->windowHandle() == window) return widget;
    }
    return nullptr;
  }

  std::deque<int>* keys_;
  WindowEvents* events_;
};

QtMessageHandler qtHandlerBefore = nullptr;

// Qt ends the process with abort() when its platform cannot start, which
// happens when its own connection to the display fails after the check
// passed (the server went away, or refuses one client more). That case ends
// as a missing display does: runProgram's one line, and status 2.
void endWhenQtCannotStart(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
  if (type != QtFatalMsg) {
    qtHandlerBefore(type, context, message);
    return;
  }
  if (beforeWindowSystemFails) beforeWindowSystemFails();
  releaseQtMessages(true);
  std::cout << "Scribeline: cannot open a display (Qt could not connect to "
               "the display)"
            << std::endl;
  std::_Exit(2);
}

// Qt's application object is made once and lives until the process ends:
// highgui keeps Qt objects made under it in static storage, so a later window
// system in the same process reuses both. Qt sees only the program's name:
// the program's own arguments (an image path) are never taken as Qt options
// such as "-platform" or "-display".
QApplication* qtApplication(char* programName) {
  if (qApp != nullptr) return qApp;
  static char* qtArgv[] = {programName, nullptr};
  static int qtArgc = 1;
  // The windows are drawn by Qt's raster painter and never use OpenGL.
  // Without its integration Qt does not load the GL drivers (and with them a
  // compiler) as the first window opens, which saves about 0.14 s and tens
  // of megabytes at every start. A user's own choice is kept.
  ::setenv("QT_XCB_GL_INTEGRATION", "none", 0);
  // The image library's window layer is Qt, built in: naming it spares the
  // first window a search of the library folder for window-layer plugins
  // (about 25 ms).
  ::setenv("OPENCV_UI_BACKEND", "QT", 0);
  qtHandlerBefore = qInstallMessageHandler(endWhenQtCannotStart);
  auto* application = new QApplication(qtArgc, qtArgv);
  qInstallMessageHandler(qtHandlerBefore);
  return application;
}

// Corrections of a window that the window manager put elsewhere than asked,
// and the time after the manager has taken the window on (or, for a manager
// that never seems to, after the placement), before the window is left
// where the manager wants it. Under load a manager's own placement and the
// stale positions of Qt's resizes can each take a correction before the
// window is seen where asked, so a few more are allowed than a quiet
// machine needs; the time bound still lets a manager that insists win.
constexpr int kMaxCorrections = 8;
constexpr std::chrono::milliseconds kSettleTime(5000);
constexpr std::chrono::milliseconds kManageTime(60000);
// How long a window just made or placed may take to be mapped and placed
// before the window system reports it as it is (once per placement: a
// manager that is slow to take the window on stalls the program only once).
constexpr std::chrono::milliseconds kPlacedWait(3000);
constexpr std::chrono::milliseconds kPlacedPoll(5);
// How long the window manager may take to tell the frame of a window before
// it is mapped.
constexpr std::chrono::milliseconds kExtentsWait(1000);

using SteadyTime = std::chrono::steady_clock::time_point;

class HighguiWindowSystem : public WindowSystem, private WindowEvents {
 public:
  explicit HighguiWindowSystem(char* programName)
      : application_(qtApplication(programName)), filter_(&keys_, this) {
    // The program decides when to end; closing its last window is a key
    // event for it (kNoWindowsLeft), not a reason for Qt to quit.
    application_->setQuitOnLastWindowClosed(false);
    application_->installEventFilter(&filter_);
  }

  ~HighguiWindowSystem() override {
    releaseQtMessages(false);
    application_->removeEventFilter(&filter_);
    while (busyDepth_ > 0) setBusy(false);
    cv::destroyAllWindows();
  }

  void beginSession() override { releaseQtMessages(true); }

  // A window the user has closed is only hidden by highgui, which would
  // keep finding it by name; it counts as closed here and is made anew.
  // The highgui window is made when it is first needed (placed, shown,
  // measured, raised, or at the next wait or question), so that a placement
  // asked for right after the creation reaches the window manager before
  // the window is mapped.
  void createWindow(const std::string& name, WindowMode mode) override {
    const QWidget* existing = findHighguiWindow(name);
    if (existing != nullptr && existing->isVisible()) return;
    if (existing != nullptr) cv::destroyWindow(name);
    Window& window = windows_[name];
    if (window.unmade) return;
    window.mode = mode;
    window.unmade = true;
  }

  void destroyWindow(const std::string& name) override {
    if (findHighguiWindow(name) != nullptr) cv::destroyWindow(name);
    auto entry = windows_.find(name);
    if (entry != windows_.end()) forget(entry->second);
  }

  void destroyAllWindows() override {
    cv::destroyAllWindows();
    for (auto& entry : windows_) forget(entry.second);
  }

  // An empty picture is not shown (highgui would throw).
  void showImage(const std::string& name, const cv::Mat& image) override {
    if (image.empty()) return;
    // A window never made, or destroyed, is opened in the mode it was last
    // made with (100% when never), as a plain window rather than highgui's
    // default one with toolbar. A window the user has closed is only hidden:
    // highgui shows it again as it was, handler included.
    if (findHighguiWindow(name) == nullptr) {
      auto entry = windows_.find(name);
      openWindow(name, entry == windows_.end() ? WindowMode::Scale100
                                               : entry->second.mode);
    }
    // A window just made takes its picture's size once it is in place (see
    // settlePlacements).
    placedWindow(name);
    cv::imshow(name, image);
    settleToolRole(name);
    Window& window = windows_.at(name);
    window.picture = image.size();
    if (window.fitPending) {
      window.fitPending = false;
      fitToScreen(name, window, image.size());
    }
  }

  // Kept also for a window not open now: it is attached when the window is
  // opened by showImage.
  void setMouseHandler(const std::string& name, MouseHandler handler) override {
    MouseHandler* slot = windows_[name].handler.get();
    *slot = std::move(handler);
    if (findHighguiWindow(name) != nullptr) {
      cv::setMouseCallback(name, &HighguiWindowSystem::dispatchMouse, slot);
    }
  }

  int waitKey() override {
    makeWaitingWindows();
    for (;;) {
      if (!keys_.empty()) {
        const int key = keys_.front();
        keys_.pop_front();
        return key;
      }
      if (woken_.exchange(false)) return kNoKey;
      if (visibleHighguiWindowCount() == 0) return kNoWindowsLeft;
      settlePlacements();
      QCoreApplication::processEvents(QEventLoop::AllEvents |
                                      QEventLoop::WaitForMoreEvents);
    }
  }

  // Any thread. The posted event only ends the event loop's wait (also one
  // inside a dialog); the flag, not the event, is what waitKey answers.
  void wake() override {
    woken_.store(true);
    QCoreApplication::postEvent(application_, new QEvent(QEvent::User));
    if (QAbstractEventDispatcher* dispatcher =
            QAbstractEventDispatcher::instance(application_->thread()))
      dispatcher->wakeUp();
  }

  bool askYesNo(const std::string& title, const std::string& text) override {
    makeWaitingWindows();
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }

  // The box's escape button is its Cancel button: Qt answers Escape and a
  // close request of the box's window (its close button, WM_DELETE_WINDOW)
  // with it.
  Answer askYesNoCancel(const std::string& title,
                        const std::string& text) override {
    makeWaitingWindows();
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
      case QMessageBox::Yes:
        return Answer::Yes;
      case QMessageBox::No:
        return Answer::No;
      default:
        return Answer::Cancel;
    }
  }

  // A window the user has closed is only hidden by highgui.
  bool isOpen(const std::string& name) const override {
    const QWidget* window = findHighguiWindow(name);
    if (window != nullptr && window->isVisible()) return true;
    const auto entry = windows_.find(name);
    return entry != windows_.end() && entry->second.unmade;
  }

  cv::Rect freeArea() override {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? cv::Rect() : toRect(screen->availableGeometry());
  }

  cv::Rect pictureArea(const std::string& name) override {
    const QWidget* widget = placedWindow(name);
    return widget == nullptr ? cv::Rect() : toRect(widget->geometry());
  }

  // The frame as the window manager has set it on the window (Qt may not
  // have read it yet).
  cv::Rect windowFrame(const std::string& name) override {
    QWidget* widget = placedWindow(name);
    if (widget == nullptr) return {};
    const QRect client = widget->geometry();
    if (const std::optional<FrameExtents> frame = currentFrame(widget)) {
      return {client.x() - frame->left, client.y() - frame->top,
              client.width() + frame->left + frame->right,
              client.height() + frame->top + frame->bottom};
    }
    return toRect(widget->frameGeometry());
  }

  void placeWindow(const std::string& name, cv::Point topLeft,
                   cv::Size picture) override {
    Window& window = windows_[name];
    window.placement = Placement{topLeft, picture, false};
    if (window.unmade) {
      openWindow(name, window.mode);
    } else if (findHighguiWindow(name) != nullptr) {
      applyPlacement(name, window);
    }
  }

  // The request goes to the X server (no window manager) or, as a
  // restacking request, to the window manager, which carries it out for a
  // window of the application the user works in.
  void raiseWindow(const std::string& name) override {
    makeWaitingWindow(name);
    QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr || !widget->isVisible()) return;
    widget->raise();
    widget->activateWindow();
  }

  void makeToolWindow(const std::string& name) override {
    windows_[name].tool = true;
  }

  void setCloseKey(const std::string& name, int code) override {
    windows_[name].closeKey = code;
  }

  // Qt's X backend sends a cursor change at once, not at the next pass of
  // the event loop, which the work announced keeps from running.
  void setBusy(bool busy) override {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      ++busyDepth_;
    } else if (busyDepth_ > 0) {
      QApplication::restoreOverrideCursor();
      --busyDepth_;
    }
  }

 private:
  struct Placement {
    cv::Point topLeft;
    cv::Size picture;
    // The frame was put there as the window was shown.
    bool framePut = false;
  };

  struct Window {
    WindowMode mode = WindowMode::Scale100;
    // Created, but the highgui window is not made yet.
    bool unmade = false;
    // Size of the last picture shown, which mouse positions refer to.
    cv::Size picture;
    // Asked for before the window opened; applied when it does.
    std::optional<Placement> placement;
    // Free-scale windows are fitted to the screen at their first picture.
    bool fitPending = false;
    // Made, and not yet seen mapped by the window system.
    bool mapPending = false;
    // Made or placed, and not yet waited for (see placedWindow).
    bool awaitingPlace = false;
    // Where the frame's top-left corner was put, until the window has been
    // seen there once mapped; the window manager may place a new window its
    // own way. The frame position of the last correction, while the manager
    // has not answered it.
    std::optional<QPoint> settleAt;
    std::optional<QPoint> correctedFrom;
    int corrections = 0;
    // For a while after a window is left alone, a move that puts its title
    // bar above the free area is taken back to where it was put: no user
    // drags a title bar there, but a resize of Qt's carrying a position Qt
    // believed before the manager framed the window does.
    std::optional<QPoint> guardAt;
    SteadyTime guardUntil;
    int guardCorrections = 0;
    SteadyTime placedSince;
    std::optional<SteadyTime> managedSince;
    // Opens as a tool window of the program (see makeToolWindow); shown
    // since its group-transient role was last set.
    bool tool = false;
    bool toolRolePending = false;
    // Reported by waitKey when the user closes the window; 0 for none.
    int closeKey = 0;
    // Owned here and never freed while the system lives: highgui keeps the
    // raw pointer as the callback's user data, also for a window the user has
    // closed and highgui has not yet forgotten.
    std::unique_ptr<MouseHandler> handler = std::make_unique<MouseHandler>();
  };

  // An exception must not unwind through Qt's event dispatch, which would
  // end the process and lose the unsaved mask: a failed handler is reported
  // on the console (standard output, like every message of the program) and
  // the session goes on.
  static void dispatchMouse(int event, int x, int y, int flags, void* user) {
    // A copy, so that the handler may replace itself while it runs.
    const MouseHandler handler = *static_cast<MouseHandler*>(user);
    if (!handler) return;
    try {
      handler(event, x, y, flags);
    } catch (const std::exception& failure) {
      std::cout << "mouse event " << event << " at " << x << "," << y
                << " failed: " << failure.what() << std::endl;
    }
  }

  // What a window keeps after it is destroyed: its mode, a placement not yet
  // applied, its tool role and its close key.
  static void forget(Window& window) {
    *window.handler = nullptr;
    window.unmade = false;
    window.mapPending = false;
    window.awaitingPlace = false;
    window.settleAt.reset();
    window.correctedFrom.reset();
    window.guardAt.reset();
  }

  void openWindow(const std::string& name, WindowMode mode) {
    const int sizing =
        mode == WindowMode::Scale100 ? cv::WINDOW_AUTOSIZE : cv::WINDOW_NORMAL;
    Window& window = windows_[name];
    window.mode = mode;
    window.unmade = false;
    window.fitPending = mode == WindowMode::FreeScale;
    window.picture = cv::Size();
    window.mapPending = true;
    window.awaitingPlace = true;
    // Shows the window: see onShowing.
    cv::namedWindow(name,
                    sizing | cv::WINDOW_KEEPRATIO | cv::WINDOW_GUI_NORMAL);
    paintPictureOnly(name);
    settleToolRole(name);
    if (*window.handler) {
      cv::setMouseCallback(name, &HighguiWindowSystem::dispatchMouse,
                           window.handler.get());
    }
    if (window.placement) applyPlacement(name, window);
  }

  // The picture covers the whole of the view that shows it: Qt need not
  // fill the view's background first, which at the size of a screen costs
  // as much as drawing the picture.
  static void paintPictureOnly(const std::string& name) {
    QWidget* window = findHighguiWindow(name);
    if (window == nullptr) return;
    for (QGraphicsView* view : window->findChildren<QGraphicsView*>()) {
      view->viewport()->setAutoFillBackground(false);
      view->viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    }
  }

  void makeWaitingWindow(const std::string& name) {
    auto entry = windows_.find(name);
    if (entry != windows_.end() && entry->second.unmade)
      openWindow(name, entry->second.mode);
  }

  void makeWaitingWindows() {
    std::vector<std::string> waiting;
    for (const auto& [name, window] : windows_)
      if (window.unmade) waiting.push_back(name);
    for (const std::string& name : waiting) makeWaitingWindow(name);
  }

  // Before the window is mapped: its role and its position are properties
  // the window manager reads as it takes the window on.
  void onShowing(QWidget* widget) override {
    auto entry = windows_.find(widget->objectName().toStdString());
    QWindow* handle = widget->windowHandle();
    if (entry == windows_.end() || handle == nullptr) return;
    Window& window = entry->second;
    if (window.tool) {
      handle->setFlags((handle->flags() & ~Qt::WindowType_Mask) | Qt::Tool);
      window.toolRolePending = true;
    }
    if (window.placement && margins_.isNull() && !extentsAsked_) {
      extentsAsked_ = true;
      if (std::optional<FrameExtents> extents = link_.requestFrameExtents(
              static_cast<uint32_t>(widget->winId()), kExtentsWait))
        learnMargins(*extents);
    }
    if (window.placement) {
      putFrame(widget, window, *window.placement);
      window.placement->framePut = true;
    }
  }

  void onUserClose(QWidget* widget) override {
    auto entry = windows_.find(widget->objectName().toStdString());
    if (entry != windows_.end() && entry->second.closeKey != 0)
      keys_.push_back(entry->second.closeKey);
  }

  // A placed window is not fitted to the screen at its first picture.
  void applyPlacement(const std::string& name, Window& window) {
    QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr || !window.placement) return;
    const Placement placement = *window.placement;
    window.placement.reset();
    if (window.mode == WindowMode::FreeScale && !placement.picture.empty()) {
      cv::resizeWindow(name, placement.picture.width, placement.picture.height);
      window.fitPending = false;
    }
    if (!placement.framePut) putFrame(widget, window, placement);
  }

  // Asks for the frame's top-left corner at the placement's, kept in the
  // free area, and watches until the window is seen there. The position
  // is the frame's (north-west gravity): the window manager adds its title
  // bar and borders below and right of it, also before it has told their
  // sizes.
  void putFrame(QWidget* widget, Window& window, const Placement& placement) {
    QWindow* handle = widget->windowHandle();
    if (handle == nullptr) return;
    cv::Size picture = placement.picture;
    if (window.mode == WindowMode::Scale100 || picture.empty())
      picture = window.picture;
    const cv::Size frame =
        picture.empty()
            ? cv::Size()
            : cv::Size(picture.width + margins_.left() + margins_.right(),
                       picture.height + margins_.top() + margins_.bottom());
    const cv::Point at = keepFrameInArea(placement.topLeft, frame, freeArea());
    const QPoint target(at.x, at.y);
    if (!widget->windowHandle()->isExposed()) {
      // Before the window is mapped Qt knows no frame: the one last seen
      // on another window stands for it.
      const bool frameKnown = widget->geometry().topLeft() != widget->pos();
      widget->move(frameKnown
                       ? target
                       : target + QPoint(margins_.left(), margins_.top()));
    } else if (std::optional<FrameExtents> extents = currentFrame(widget);
               extents && link_.connected()) {
      moveClient(widget, target, *extents);
    } else {
      widget->move(target);
    }
    // Without a connection of its own (Qt on another platform than X) the
    // window system cannot see where the window is.
    if (link_.connected()) window.settleAt = target;
    window.correctedFrom.reset();
    window.corrections = 0;
    window.guardAt.reset();
    window.placedSince = std::chrono::steady_clock::now();
    window.managedSince.reset();
    window.awaitingPlace = true;
  }

  // The frame the window has now: the window manager's, none with no
  // manager; unknown while a manager has not yet taken the window on.
  std::optional<FrameExtents> currentFrame(QWidget* widget) {
    if (!link_.managerRunning()) return FrameExtents{};
    return link_.frameExtents(static_cast<uint32_t>(widget->winId()));
  }

  // Sent past Qt, which drops a move to where it believes the window is
  // already: that belief lags behind the window manager's moves, and a
  // resize Qt sends meanwhile carries the position it believes in.
  void moveClient(QWidget* widget, QPoint frameTopLeft,
                  const FrameExtents& frame) {
    link_.moveClient(static_cast<uint32_t>(widget->winId()),
                     frameTopLeft.x() + frame.left,
                     frameTopLeft.y() + frame.top);
  }

  // A tool window's role, once Qt (which sets a transient role of its own
  // as it shows a window) has shown it.
  void settleToolRole(const std::string& name) {
    auto entry = windows_.find(name);
    if (entry == windows_.end() || !entry->second.toolRolePending) return;
    QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr || !widget->isVisible()) return;
    link_.makeGroupTransient(static_cast<uint32_t>(widget->winId()));
    entry->second.toolRolePending = false;
  }

  // Puts back every window that a window manager has mapped elsewhere than
  // asked. A window seen where it was put is left alone from then on: the
  // user may move it. Positions are read from the X server, not from Qt,
  // which learns of the manager's moves and frames only as their events
  // come in.
  void settlePlacements() {
    const auto now = std::chrono::steady_clock::now();
    for (auto& [name, window] : windows_) {
      if (!window.settleAt) {
        guardTitleBar(name, window, now);
        continue;
      }
      QWidget* widget = findHighguiWindow(name);
      if (widget == nullptr || !widget->isVisible() ||
          widget->windowHandle() == nullptr) {
        window.settleAt.reset();
        continue;
      }
      if (window.managedSince ? now - *window.managedSince > kSettleTime
                              : now - window.placedSince > kManageTime) {
        leaveAlone(window, now);
        continue;
      }
      if (!widget->windowHandle()->isExposed()) continue;
      const std::optional<FrameExtents> frame = currentFrame(widget);
      const auto client =
          link_.clientPosition(static_cast<uint32_t>(widget->winId()));
      if (!frame || !client) continue;
      if (!window.managedSince) window.managedSince = now;
      window.mapPending = false;
      learnMargins(*frame);
      const QPoint at(client->first - frame->left, client->second - frame->top);
      if (at == *window.settleAt) {
        // Seen in place: a later move away (a resize of Qt's carrying an
        // older position, even the one corrected last) is corrected anew.
        window.correctedFrom.reset();
        // Settled once Qt too has seen it there: a resize Qt sends carries
        // the position Qt believes in.
        if (widget->windowHandle()->geometry().topLeft() ==
            QPoint(client->first, client->second))
          leaveAlone(window, now);
        continue;
      }
      if (window.corrections >= kMaxCorrections) {
        leaveAlone(window, now);
        continue;
      }
      // The manager has not answered the last correction yet.
      if (window.correctedFrom && *window.correctedFrom == at) continue;
      ++window.corrections;
      window.correctedFrom = at;
      moveClient(widget, *window.settleAt, *frame);
    }
  }

  // Ends the watch of a placed window, which is guarded for a while longer.
  static void leaveAlone(Window& window, SteadyTime now) {
    window.guardAt = window.settleAt;
    window.guardUntil = now + kSettleTime;
    window.guardCorrections = 0;
    window.settleAt.reset();
  }

  void guardTitleBar(const std::string& name, Window& window, SteadyTime now) {
    if (!window.guardAt) return;
    QWidget* widget = findHighguiWindow(name);
    if (now > window.guardUntil || window.guardCorrections >= kMaxCorrections ||
        widget == nullptr || !widget->isVisible() ||
        widget->windowHandle() == nullptr) {
      window.guardAt.reset();
      return;
    }
    const std::optional<FrameExtents> frame = currentFrame(widget);
    const auto client =
        link_.clientPosition(static_cast<uint32_t>(widget->winId()));
    if (!frame || !client) return;
    const int frameTop = client->second - frame->top;
    if (frameTop >= freeArea().y || window.guardAt->y() < freeArea().y) return;
    ++window.guardCorrections;
    moveClient(widget, *window.guardAt, *frame);
  }

  void learnMargins(const FrameExtents& frame) {
    if (frame == FrameExtents{}) return;
    margins_ = QMargins(frame.left, frame.top, frame.right, frame.bottom);
  }

  // The open window, made if it was waiting and, when it was made just
  // now, mapped and put in place by the window manager (for a moment at
  // most), so that its position and frame are the ones it will have.
  QWidget* placedWindow(const std::string& name) {
    makeWaitingWindow(name);
    QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr || !widget->isVisible()) return nullptr;
    Window& window = windows_[name];
    const auto deadline = std::chrono::steady_clock::now() + kPlacedWait;
    while (window.awaitingPlace) {
      settlePlacements();
      if (window.mapPending && widget->windowHandle() != nullptr &&
          widget->windowHandle()->isExposed() && currentFrame(widget))
        window.mapPending = false;
      if ((!window.mapPending && !window.settleAt) ||
          std::chrono::steady_clock::now() >= deadline)
        window.awaitingPlace = false;
      else {
        std::this_thread::sleep_for(kPlacedPoll);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      }
    }
    return widget;
  }

  // A wheel turn over a window goes to its mouse handler as highgui reports
  // other events: at the pixel of the shown picture under the pointer.
  void onWheel(QWidget* widget, const QWheelEvent& wheel) override {
    const int delta = wheel.angleDelta().y();
    auto entry = windows_.find(widget->objectName().toStdString());
    if (delta == 0 || entry == windows_.end()) return;
    const Window& window = entry->second;
    if (!*window.handler || window.picture.empty()) return;
    // highgui draws the picture over the whole surface of its view.
    const QGraphicsView* view = widget->findChild<QGraphicsView*>();
    const QWidget* surface = view != nullptr ? view->viewport() : widget;
    if (surface->width() <= 0 || surface->height() <= 0) return;
    const QPoint at = surface->mapFromGlobal(wheel.globalPosition().toPoint());
    const int x = static_cast<int>(std::floor(
        at.x() * static_cast<double>(window.picture.width) / surface->width()));
    const int y = static_cast<int>(
        std::floor(at.y() * static_cast<double>(window.picture.height) /
                   surface->height()));
    dispatchMouse(kMouseWheel, x, y, wheelFlags(delta), window.handler.get());
  }

  static cv::Rect toRect(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
  }

  // Gives a new free-scale window its picture's size (highgui opens it at a
  // fixed default size), shrunk to the screen's free area, keeping the
  // picture's aspect ratio, when the picture is larger.
  void fitToScreen(const std::string& name, Window& window, cv::Size picture) {
    QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr) return;
    QScreen* screen = widget->screen() != nullptr
                          ? widget->screen()
                          : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QSize frame(margins_.left() + margins_.right(),
                      margins_.top() + margins_.bottom());
    const double roomWidth = std::max(1, area.width() - frame.width());
    const double roomHeight = std::max(1, area.height() - frame.height());
    const double scale =
        std::min({1.0, roomWidth / picture.width, roomHeight / picture.height});
    const int width = std::max(1, static_cast<int>(picture.width * scale));
    const int height = std::max(1, static_cast<int>(picture.height * scale));
    cv::resizeWindow(name, width, height);
    if (scale < 1.0) {
      putFrame(widget, window,
               Placement{{area.x(), area.y()}, cv::Size(width, height), false});
    }
  }

  QApplication* application_;
  XWindowManagerLink link_;
  InputFilter filter_;
  std::deque<int> keys_;
  std::map<std::string, Window> windows_;
  // The frame a window manager gives the program's windows, as last seen
  // (none before a window has been seen mapped, or with no manager).
  QMargins margins_;
  // The frame has been asked of the manager (once: a manager that does not
  // answer is not asked again).
  bool extentsAsked_ = false;
  int busyDepth_ = 0;
  std::atomic<bool> woken_{false};
};

}  // namespace

std::unique_ptr<WindowSystem> openHighguiWindowSystem(int& argc, char** argv,
                                                      std::string* error) {
  std::string reason;
  // Held until Qt has connected: see DisplayHold.
  DisplayHold hold;
  if (!displayAvailable(&reason, &hold)) {
    if (error != nullptr) *error = reason;
    return nullptr;
  }
  static char fallbackName[] = "scribeline";
  auto windows = std::make_unique<HighguiWindowSystem>(
      argc > 0 && argv != nullptr && argv[0] != nullptr ? argv[0]
                                                        : fallbackName);
  hold.release();
  return windows;
}

}  // namespace scribeline
