#include "ui/display_loss.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace scribeline {
namespace {

std::atomic<void (*)()> displayLostAction{nullptr};
QtMessageHandler previousHandler = nullptr;

// A message kept while Qt's output is held, with what Qt's own output
// formats from its context.
struct KeptMessage {
  QtMsgType type;
  std::string category;
  QString text;
};
std::mutex keptMutex;
bool holding = false;
std::vector<KeptMessage> kept;

void print(QtMsgType type, const QMessageLogContext& context,
           const QString& message) {
  if (previousHandler != nullptr) previousHandler(type, context, message);
}

void watchMessages(QtMsgType type, const QMessageLogContext& context,
                   const QString& message) {
  bool held = false;
  {
    const std::lock_guard<std::mutex> lock(keptMutex);
    if (holding) {
      kept.push_back({type, context.category ? context.category : "",
                      message});
      held = true;
    }
  }
  if (!held) print(type, context, message);
  if (!message.startsWith(QStringLiteral("The X11 connection broke"))) return;
  // The warning, and whatever was held before it, is said before the end.
  releaseQtMessages(true);
  if (void (*action)() = displayLostAction.load()) action();
}

}  // namespace

void watchForDisplayLoss(void (*action)()) {
  displayLostAction.store(action);
  static const bool installed = [] {
    previousHandler = qInstallMessageHandler(watchMessages);
    return true;
  }();
  (void)installed;
}

void holdQtMessages() {
  const std::lock_guard<std::mutex> lock(keptMutex);
  holding = true;
}

void releaseQtMessages(bool print) {
  std::vector<KeptMessage> messages;
  {
    const std::lock_guard<std::mutex> lock(keptMutex);
    if (!holding) return;
    holding = false;
    messages.swap(kept);
  }
  if (!print) return;
  for (const KeptMessage& message : messages) {
    const QMessageLogContext context(nullptr, 0, nullptr,
                                     message.category.empty()
                                         ? nullptr
                                         : message.category.c_str());
    scribeline::print(message.type, context, message.text);
  }
}

}  // namespace scribeline
