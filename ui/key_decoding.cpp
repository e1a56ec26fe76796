#include "ui/key_decoding.h"

#include <QVector>

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
  if (ctrl) return std::nullopt;
  const QVector<uint> codePoints = text.toUcs4();
  if (codePoints.size() != 1) return std::nullopt;
  const uint code = codePoints.front();
  if (code == 0 || code > 255) return std::nullopt;
  return static_cast<int>(code);
}

}  // namespace scribeline
