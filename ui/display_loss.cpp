#include "ui/display_loss.h"

#include <QString>
#include <QtGlobal>
#include <atomic>

namespace scribeline {
namespace {

std::atomic<void (*)()> displayLostAction{nullptr};
QtMessageHandler previousHandler = nullptr;

void watchMessages(QtMsgType type, const QMessageLogContext& context,
                   const QString& message) {
  if (previousHandler != nullptr) previousHandler(type, context, message);
  if (!message.startsWith(QStringLiteral("The X11 connection broke"))) return;
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

}  // namespace scribeline
