#include "ui/key_decoding.h"

#include <QVector>

#include "ui/window_system.h"

namespace scribeline {

std::optional<int> decodeKey(int qtKey, Qt::KeyboardModifiers modifiers,
                             const QString& text) {
  const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
  switch (qtKey) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return ctrl ? 10 : 13;
    default:
      break;
  }
  if (ctrl) {
    if (qtKey == Qt::Key_Z)
      return modifiers.testFlag(Qt::ShiftModifier) ? kKeyRedo : kKeyUndo;
    if (qtKey == Qt::Key_Y) return kKeyRedo;
    return std::nullopt;
  }
  switch (qtKey) {
    case Qt::Key_Left:
      return kKeyLeft;
    case Qt::Key_Up:
      return kKeyUp;
    case Qt::Key_Right:
      return kKeyRight;
    case Qt::Key_Down:
      return kKeyDown;
    case Qt::Key_PageUp:
      return kKeyPageUp;
    case Qt::Key_PageDown:
      return kKeyPageDown;
    default:
      break;
  }
  const QVector<uint> codePoints = text.toUcs4();
  if (codePoints.size() != 1) return std::nullopt;
  const uint code = codePoints.front();
  if (code == 0 || code > 255) return std::nullopt;
  return static_cast<int>(code);
}

}  // namespace scribeline
