#include "ui/scripted_window_system.h"

#include <chrono>
#include <stdexcept>

namespace scribeline {

void ScriptedWindowSystem::pushKey(int code) {
  inputs_.push_back({Input::Key, code, {}, 0, 0, 0, {}});
}

void ScriptedWindowSystem::pushKeys(std::string_view keys) {
  for (char key : keys) pushKey(static_cast<unsigned char>(key));
}

void ScriptedWindowSystem::pushMouse(const std::string& window, int event,
                                     int x, int y, int flags) {
  inputs_.push_back({Input::Mouse, event, window, x, y, flags, {}});
}

void ScriptedWindowSystem::pushClick(const std::string& window, int x, int y) {
  pushMouse(window, kLeftButtonDown, x, y, kMouseFlagLeftButton);
  pushMouse(window, kLeftButtonUp, x, y, 0);
}

void ScriptedWindowSystem::pushMove(const std::string& window, int x, int y) {
  pushMouse(window, kMouseMove, x, y, 0);
}

void ScriptedWindowSystem::pushWheel(const std::string& window, int x, int y,
                                     int notches) {
  pushMouse(window, kMouseWheel, x, y, wheelFlags(notches * kWheelNotch));
}

void ScriptedWindowSystem::pushMiddleDrag(const std::string& window,
                                          const std::vector<cv::Point>& path) {
  pushButtonDrag(window, path, kMiddleButtonDown, kMiddleButtonUp,
                 kMouseFlagMiddleButton);
}

void ScriptedWindowSystem::pushDrag(const std::string& window,
                                    const std::vector<cv::Point>& path) {
  pushButtonDrag(window, path, kLeftButtonDown, kLeftButtonUp,
                 kMouseFlagLeftButton);
}

void ScriptedWindowSystem::pushButtonDrag(const std::string& window,
                                          const std::vector<cv::Point>& path,
                                          int down, int up, int held) {
  if (path.empty()) return;
  pushMouse(window, down, path.front().x, path.front().y, held);
  for (size_t i = 1; i < path.size(); ++i)
    pushMouse(window, kMouseMove, path[i].x, path[i].y, held);
  pushMouse(window, up, path.back().x, path.back().y, 0);
}

void ScriptedWindowSystem::pushCloseAll() {
  inputs_.push_back({Input::CloseAll, 0, {}, 0, 0, 0, {}});
}

void ScriptedWindowSystem::pushClose(const std::string& window) {
  inputs_.push_back({Input::Close, 0, window, 0, 0, 0, {}});
}

void ScriptedWindowSystem::pushAnswer(bool yes) {
  answers_.push_back(yes ? Answer::Yes : Answer::No);
}

void ScriptedWindowSystem::pushCancel() { answers_.push_back(Answer::Cancel); }

void ScriptedWindowSystem::raiseWindow(const std::string& name) {
  if (isOpen(name)) raised_.push_back(name);
}

void ScriptedWindowSystem::makeToolWindow(const std::string& name) {
  toolWindows_.insert(name);
}

void ScriptedWindowSystem::setCloseKey(const std::string& name, int code) {
  if (code == 0)
    closeKeys_.erase(name);
  else
    closeKeys_[name] = code;
}

int ScriptedWindowSystem::closeKeyOf(const std::string& name) const {
  auto it = closeKeys_.find(name);
  return it == closeKeys_.end() ? 0 : it->second;
}

void ScriptedWindowSystem::pushWaitForWakes(int total) {
  inputs_.push_back({Input::Wakes, total, {}, 0, 0, 0, {}});
}

void ScriptedWindowSystem::pushAction(std::function<void()> action) {
  inputs_.push_back({Input::Action, 0, {}, 0, 0, 0, std::move(action)});
}

int ScriptedWindowSystem::wakes() const {
  std::lock_guard<std::mutex> lock(wakeMutex_);
  return static_cast<int>(wakes_);
}

void ScriptedWindowSystem::wake() {
  std::lock_guard<std::mutex> lock(wakeMutex_);
  ++wakes_;
  woken_.notify_all();
}

int ScriptedWindowSystem::awaitWakes(int64_t total) {
  std::unique_lock<std::mutex> lock(wakeMutex_);
  if (!woken_.wait_for(lock, std::chrono::minutes(2),
                       [&] { return wakes_ >= total; }))
    throw std::runtime_error("waitKey: the program did not wake the key wait");
  wakesAnswered_ = wakes_;
  return kNoKey;
}

bool ScriptedWindowSystem::isOpen(const std::string& name) const {
  return open_.count(name) != 0;
}

WindowMode ScriptedWindowSystem::modeOf(const std::string& name) const {
  auto it = open_.find(name);
  if (it == open_.end())
    throw std::logic_error("modeOf: window \"" + name + "\" is not open");
  return it->second.mode;
}

bool ScriptedWindowSystem::hasMouseHandler(const std::string& name) const {
  auto it = open_.find(name);
  return it != open_.end() && static_cast<bool>(it->second.handler);
}

cv::Mat ScriptedWindowSystem::lastShown(const std::string& name) const {
  auto it = lastShown_.find(name);
  return it == lastShown_.end() ? cv::Mat() : it->second.clone();
}

int ScriptedWindowSystem::showCount(const std::string& name) const {
  auto it = showCounts_.find(name);
  return it == showCounts_.end() ? 0 : it->second;
}

bool ScriptedWindowSystem::sendMouse(const std::string& window, int event,
                                     int x, int y, int flags) {
  auto it = open_.find(window);
  if (it == open_.end() || !it->second.handler) return false;
  // A copy: the handler may replace itself or close its window.
  MouseHandler handler = it->second.handler;
  handler(event, x, y, flags);
  return true;
}

void ScriptedWindowSystem::createWindow(const std::string& name,
                                        WindowMode mode) {
  if (isOpen(name)) return;
  open_[name].mode = mode;
  changes_.push_back({WindowChange::Created, name, mode});
  auto pending = pendingPlacements_.find(name);
  if (pending != pendingPlacements_.end()) {
    const Placement placement = pending->second;
    pendingPlacements_.erase(pending);
    placeWindow(name, placement.topLeft, placement.picture);
  }
}

cv::Rect ScriptedWindowSystem::pictureArea(const std::string& name) {
  auto it = open_.find(name);
  if (it == open_.end()) return {};
  return {it->second.topLeft, it->second.area};
}

cv::Rect ScriptedWindowSystem::windowFrame(const std::string& name) {
  return pictureArea(name);
}

void ScriptedWindowSystem::placeWindow(const std::string& name,
                                       cv::Point topLeft, cv::Size picture) {
  auto it = open_.find(name);
  if (it == open_.end()) {
    pendingPlacements_[name] = {topLeft, picture};
    return;
  }
  it->second.topLeft = topLeft;
  if (it->second.mode == WindowMode::FreeScale && !picture.empty())
    it->second.area = picture;
}

void ScriptedWindowSystem::resizeByUser(const std::string& name,
                                        cv::Size picture) {
  auto it = open_.find(name);
  if (it != open_.end() && it->second.mode == WindowMode::FreeScale)
    it->second.area = picture;
}

void ScriptedWindowSystem::setBusy(bool busy) {
  if (busy) {
    ++busyDepth_;
    ++busyRequests_;
  } else if (busyDepth_ > 0) {
    --busyDepth_;
  }
}

void ScriptedWindowSystem::destroyWindow(const std::string& name) {
  auto it = open_.find(name);
  if (it == open_.end()) return;
  changes_.push_back({WindowChange::Destroyed, name, it->second.mode});
  open_.erase(it);
}

void ScriptedWindowSystem::destroyAllWindows() {
  while (!open_.empty()) destroyWindow(open_.begin()->first);
}

void ScriptedWindowSystem::showImage(const std::string& name,
                                     const cv::Mat& image) {
  // Showing in a window that is not open opens it at 100%, as highgui does.
  createWindow(name, WindowMode::Scale100);
  image.copyTo(lastShown_[name]);  // reuses the buffer, as a window does
  ++showCounts_[name];
  Window& window = open_[name];
  if (window.mode == WindowMode::Scale100 || window.area.empty())
    window.area = image.size();
}

void ScriptedWindowSystem::setMouseHandler(const std::string& name,
                                           MouseHandler handler) {
  auto it = open_.find(name);
  if (it != open_.end()) it->second.handler = std::move(handler);
}

int ScriptedWindowSystem::waitKey() {
  while (!inputs_.empty() && !open_.empty()) {
    if (busyDepth_ > 0 && !impatient_ && inputs_.front().kind != Input::Action)
      return awaitWakes(wakesAnswered_ + 1);
    Input input = std::move(inputs_.front());
    inputs_.pop_front();
    switch (input.kind) {
      case Input::Key:
        return input.code;
      case Input::Wakes:
        return awaitWakes(input.code);
      case Input::Action:
        input.action();
        break;
      case Input::CloseAll:
        destroyAllWindows();
        break;
      case Input::Close:
        if (isOpen(input.window)) {
          destroyWindow(input.window);
          if (const int key = closeKeyOf(input.window)) return key;
        }
        break;
      case Input::Mouse:
        if (!sendMouse(input.window, input.code, input.x, input.y, input.flags))
          ++dropped_;
        break;
    }
  }
  return kNoWindowsLeft;
}

Answer ScriptedWindowSystem::ask(const std::string& title,
                                 const std::string& text, bool cancellable) {
  Answer answer = Answer::No;
  if (answers_.empty()) {
    ++unanswered_;
  } else {
    answer = answers_.front();
    answers_.pop_front();
  }
  questions_.push_back(
      {title, text, answer == Answer::Yes, answer, cancellable});
  return answer;
}

bool ScriptedWindowSystem::askYesNo(const std::string& title,
                                    const std::string& text) {
  return ask(title, text, false) == Answer::Yes;
}

Answer ScriptedWindowSystem::askYesNoCancel(const std::string& title,
                                            const std::string& text) {
  return ask(title, text, true);
}

}  // namespace scribeline
