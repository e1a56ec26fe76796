#pragma once

#include <QString>
#include <Qt>
#include <optional>

namespace scribeline {

// Turns one key press, as Qt reports it, into the code the command table
// expects, or nothing when the press must not reach the program at all.
//
// - Backspace 8 and Escape 27 whatever the modifiers.
// - Enter and keypad Enter: 10 with Ctrl held, 13 otherwise.
// - Ctrl+Z is kKeyUndo; Ctrl+Shift+Z and Ctrl+Y are kKeyRedo.
// - The arrow keys and PageUp/PageDown without Ctrl are their kKey codes.
// - Any other key with Ctrl held is ignored: its text would be a control
//   character that aliases a command (Ctrl+[ is Escape, Ctrl+H Backspace).
// - Otherwise the key's text decides: one character below 256 is its code,
//   with its case ("M" 77, "m" 109). Other keys without text (bare
//   modifiers, dead keys, function keys) and characters above 255 are
//   ignored, since their codes or low bytes would alias commands (highgui's
//   Right is 0xff53, "S").
std::optional<int> decodeKey(int qtKey, Qt::KeyboardModifiers modifiers,
                             const QString& text);

}  // namespace scribeline
