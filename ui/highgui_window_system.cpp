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
#include <cmath>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <opencv2/highgui.hpp>
#include <optional>

#include "ui/display_check.h"
#include "ui/key_decoding.h"

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

// Sees the input of highgui windows before highgui does.
//
// Key presses: highgui's own key wait loses the case of letters and every key
// pressed with Ctrl, so the presses are decoded here from Qt's key, modifiers
// and text and queued. Each press is taken at its native window and consumed
// there: it is not passed on to the widget, which would see it a second time.
//
// Wheel turns are taken here too and handed to `onWheel`: highgui would zoom
// its own view on them, and in a zoomed view a left drag pans the picture
// under the pointer instead of moving the pointer over it, so the tools
// could no longer draw. The program zooms by itself instead.
class InputFilter : public QObject {
 public:
  using WheelHandler = std::function<void(QWidget* window, QWheelEvent*)>;

  InputFilter(std::deque<int>* keys, WheelHandler onWheel)
      : keys_(keys), onWheel_(std::move(onWheel)) {}

  bool eventFilter(QObject* target, QEvent* event) override {
    const bool key = event->type() == QEvent::KeyPress;
    if ((!key && event->type() != QEvent::Wheel) || !target->isWindowType()) {
      return false;
    }
    QWidget* window = widgetOf(static_cast<QWindow*>(target));
    if (!isHighguiWindow(window)) return false;
    if (!key) {
      onWheel_(window, static_cast<QWheelEvent*>(event));
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
  WheelHandler onWheel_;
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
  qtHandlerBefore = qInstallMessageHandler(endWhenQtCannotStart);
  auto* application = new QApplication(qtArgc, qtArgv);
  qInstallMessageHandler(qtHandlerBefore);
  return application;
}

class HighguiWindowSystem : public WindowSystem {
 public:
  explicit HighguiWindowSystem(char* programName)
      : application_(qtApplication(programName)),
        filter_(&keys_, [this](QWidget* window, QWheelEvent* wheel) {
          onWheel(window, *wheel);
        }) {
    // The program decides when to end; closing its last window is a key
    // event for it (kNoWindowsLeft), not a reason for Qt to quit.
    application_->setQuitOnLastWindowClosed(false);
    application_->installEventFilter(&filter_);
  }

  ~HighguiWindowSystem() override {
    application_->removeEventFilter(&filter_);
    while (busyDepth_ > 0) setBusy(false);
    cv::destroyAllWindows();
  }

  // A window the user has closed is only hidden by highgui, which would
  // keep finding it by name; it counts as closed here and is made anew.
  void createWindow(const std::string& name, WindowMode mode) override {
    const QWidget* existing = findHighguiWindow(name);
    if (existing != nullptr && existing->isVisible()) return;
    if (existing != nullptr) cv::destroyWindow(name);
    openWindow(name, mode);
  }

  void destroyWindow(const std::string& name) override {
    if (findHighguiWindow(name) != nullptr) cv::destroyWindow(name);
    auto entry = windows_.find(name);
    if (entry != windows_.end()) *entry->second.handler = nullptr;
  }

  void destroyAllWindows() override {
    cv::destroyAllWindows();
    for (auto& entry : windows_) *entry.second.handler = nullptr;
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
    cv::imshow(name, image);
    Window& window = windows_.at(name);
    window.picture = image.size();
    if (window.fitPending) {
      window.fitPending = false;
      fitToScreen(name, image.size());
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
    for (;;) {
      if (!keys_.empty()) {
        const int key = keys_.front();
        keys_.pop_front();
        return key;
      }
      if (woken_.exchange(false)) return kNoKey;
      if (visibleHighguiWindowCount() == 0) return kNoWindowsLeft;
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
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }

  // A window the user has closed is only hidden by highgui.
  bool isOpen(const std::string& name) const override {
    const QWidget* window = findHighguiWindow(name);
    return window != nullptr && window->isVisible();
  }

  cv::Rect freeArea() override {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? cv::Rect() : toRect(screen->availableGeometry());
  }

  cv::Rect pictureArea(const std::string& name) override {
    const QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr || !widget->isVisible()) return {};
    return toRect(widget->geometry());
  }

  cv::Rect windowFrame(const std::string& name) override {
    const QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr || !widget->isVisible()) return {};
    return toRect(widget->frameGeometry());
  }

  void placeWindow(const std::string& name, cv::Point topLeft,
                   cv::Size picture) override {
    Window& window = windows_[name];
    window.placement = Placement{topLeft, picture};
    if (findHighguiWindow(name) != nullptr) applyPlacement(name, window);
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
  };

  struct Window {
    WindowMode mode = WindowMode::Scale100;
    // Size of the last picture shown, which mouse positions refer to.
    cv::Size picture;
    // Asked for before the window opened; applied when it does.
    std::optional<Placement> placement;
    // Free-scale windows are fitted to the screen at their first picture.
    bool fitPending = false;
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

  void openWindow(const std::string& name, WindowMode mode) {
    const int sizing =
        mode == WindowMode::Scale100 ? cv::WINDOW_AUTOSIZE : cv::WINDOW_NORMAL;
    cv::namedWindow(name,
                    sizing | cv::WINDOW_KEEPRATIO | cv::WINDOW_GUI_NORMAL);
    Window& window = windows_[name];
    window.mode = mode;
    window.fitPending = mode == WindowMode::FreeScale;
    window.picture = cv::Size();
    if (*window.handler) {
      cv::setMouseCallback(name, &HighguiWindowSystem::dispatchMouse,
                           window.handler.get());
    }
    if (window.placement) applyPlacement(name, window);
  }

  // A placed window is not fitted to the screen at its first picture.
  static void applyPlacement(const std::string& name, Window& window) {
    QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr || !window.placement) return;
    const Placement placement = *window.placement;
    window.placement.reset();
    if (window.mode == WindowMode::FreeScale && !placement.picture.empty()) {
      cv::resizeWindow(name, placement.picture.width, placement.picture.height);
      window.fitPending = false;
    }
    widget->move(placement.topLeft.x, placement.topLeft.y);
  }

  // A wheel turn over a window goes to its mouse handler as highgui reports
  // other events: at the pixel of the shown picture under the pointer.
  void onWheel(QWidget* widget, const QWheelEvent& wheel) {
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
  static void fitToScreen(const std::string& name, cv::Size picture) {
    QWidget* widget = findHighguiWindow(name);
    if (widget == nullptr) return;
    QScreen* screen = widget->screen() != nullptr
                          ? widget->screen()
                          : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QSize frame = widget->frameGeometry().size() - widget->size();
    const double roomWidth = std::max(1, area.width() - frame.width());
    const double roomHeight = std::max(1, area.height() - frame.height());
    const double scale =
        std::min({1.0, roomWidth / picture.width, roomHeight / picture.height});
    const int width = std::max(1, static_cast<int>(picture.width * scale));
    const int height = std::max(1, static_cast<int>(picture.height * scale));
    cv::resizeWindow(name, width, height);
    if (scale < 1.0) widget->move(area.topLeft());
  }

  QApplication* application_;
  InputFilter filter_;
  std::deque<int> keys_;
  std::map<std::string, Window> windows_;
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
