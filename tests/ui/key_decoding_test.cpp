#include "ui/key_decoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "ui/window_system.h"

namespace scribeline {
namespace {

struct KeyRow {
  const char* what;
  int qtKey;
  Qt::KeyboardModifiers modifiers;
  QString text;
  std::optional<int> code;
};

void PrintTo(const KeyRow& row, std::ostream* out) { *out << row.what; }

class DecodeKeyTest : public ::testing::TestWithParam<KeyRow> {};

TEST_P(DecodeKeyTest, GivesTheCommandCodeOrNothing) {
  const KeyRow& row = GetParam();
  EXPECT_EQ(decodeKey(row.qtKey, row.modifiers, row.text), row.code)
      << row.what;
}

const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
const Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const Qt::KeyboardModifiers kKeypad = Qt::KeypadModifier;

INSTANTIATE_TEST_SUITE_P(
    CommandKeys, DecodeKeyTest,
    ::testing::Values(
        KeyRow{"m", Qt::Key_M, kNone, "m", 109},
        KeyRow{"Shift+m", Qt::Key_M, kShift, "M", 77},
        KeyRow{"Caps Lock m", Qt::Key_M, kNone, "M", 77},
        KeyRow{"Shift+n", Qt::Key_N, kShift, "N", 78},
        KeyRow{"s", Qt::Key_S, kNone, "s", 115},
        KeyRow{"Shift+x", Qt::Key_X, kShift, "X", 88},
        KeyRow{"comma", Qt::Key_Comma, kNone, ",", 44},
        KeyRow{"period", Qt::Key_Period, kNone, ".", 46},
        KeyRow{"less", Qt::Key_Less, kShift, "<", 60},
        KeyRow{"greater", Qt::Key_Greater, kShift, ">", 62},
        KeyRow{"0", Qt::Key_0, kNone, "0", 48},
        KeyRow{"keypad 2", Qt::Key_2, kKeypad, "2", 50},
        KeyRow{"Return", Qt::Key_Return, kNone, "\r", 13},
        KeyRow{"keypad Enter", Qt::Key_Enter, kKeypad, "\r", 13},
        KeyRow{"Shift+Return", Qt::Key_Return, kShift, "\r", 13},
        KeyRow{"Ctrl+Return", Qt::Key_Return, kCtrl, "", 10},
        KeyRow{"Ctrl+keypad Enter", Qt::Key_Enter, kCtrl | kKeypad, "", 10},
        KeyRow{"Ctrl+Shift+Return", Qt::Key_Return, kCtrl | kShift, "", 10},
        KeyRow{"Backspace", Qt::Key_Backspace, kNone, "\b", 8},
        KeyRow{"Ctrl+Backspace", Qt::Key_Backspace, kCtrl, "", 8},
        KeyRow{"Escape", Qt::Key_Escape, kNone, "\x1b", 27},
        KeyRow{"Shift+Escape", Qt::Key_Escape, kShift, "\x1b", 27}));

INSTANTIATE_TEST_SUITE_P(
    OtherKeys, DecodeKeyTest,
    ::testing::Values(KeyRow{"Tab", Qt::Key_Tab, kNone, "\t", 9},
                      KeyRow{"Delete", Qt::Key_Delete, kNone, "\x7f", 127},
                      KeyRow{"e acute", Qt::Key_Eacute, kNone,
                             QString::fromUtf8("\xc3\xa9"), 233},
                      KeyRow{"Alt+m", Qt::Key_M, Qt::AltModifier, "m", 109}));

INSTANTIATE_TEST_SUITE_P(
    KeysWithoutCharacters, DecodeKeyTest,
    ::testing::Values(
        KeyRow{"Ctrl+z", Qt::Key_Z, kCtrl, "\x1a", kKeyUndo},
        KeyRow{"Ctrl+Shift+z", Qt::Key_Z, kCtrl | kShift, "\x1a", kKeyRedo},
        KeyRow{"Ctrl+y", Qt::Key_Y, kCtrl, "\x19", kKeyRedo},
        KeyRow{"Ctrl+Shift+y", Qt::Key_Y, kCtrl | kShift, "\x19", kKeyRedo},
        KeyRow{"Left arrow", Qt::Key_Left, kNone, "", kKeyLeft},
        KeyRow{"Right arrow", Qt::Key_Right, kNone, "", kKeyRight},
        KeyRow{"Up arrow", Qt::Key_Up, kNone, "", kKeyUp},
        KeyRow{"keypad Down arrow", Qt::Key_Down, kKeypad, "", kKeyDown},
        KeyRow{"Shift+Right arrow", Qt::Key_Right, kShift, "", kKeyRight},
        KeyRow{"PageUp", Qt::Key_PageUp, kNone, "", kKeyPageUp},
        KeyRow{"PageDown", Qt::Key_PageDown, kNone, "", kKeyPageDown},
        KeyRow{"Ctrl+Right arrow", Qt::Key_Right, kCtrl, "", std::nullopt}));

// Keys that must not reach the command table: their codes, or the low bytes
// of those codes, would alias commands.
INSTANTIATE_TEST_SUITE_P(
    IgnoredKeys, DecodeKeyTest,
    ::testing::Values(
        KeyRow{"Shift alone", Qt::Key_Shift, kShift, "", std::nullopt},
        KeyRow{"Ctrl alone", Qt::Key_Control, kCtrl, "", std::nullopt},
        KeyRow{"Alt alone", Qt::Key_Alt, Qt::AltModifier, "", std::nullopt},
        KeyRow{"Caps Lock", Qt::Key_CapsLock, kNone, "", std::nullopt},
        KeyRow{"F5", Qt::Key_F5, kNone, "", std::nullopt},
        KeyRow{"dead acute", Qt::Key_Dead_Acute, kNone, "", std::nullopt},
        KeyRow{"Ctrl+m (text CR)", Qt::Key_M, kCtrl, "\r", std::nullopt},
        KeyRow{"Ctrl+[ (text ESC)", Qt::Key_BracketLeft, kCtrl, "\x1b",
               std::nullopt},
        KeyRow{"Ctrl+h (text BS)", Qt::Key_H, kCtrl, "\b", std::nullopt},
        KeyRow{"Ctrl+s", Qt::Key_S, kCtrl, "\x13", std::nullopt},
        KeyRow{"U+014D, low byte 'M'", Qt::Key_unknown, kNone,
               QString(QChar(0x014D)), std::nullopt},
        KeyRow{"two characters", Qt::Key_unknown, kNone, "ab", std::nullopt},
        KeyRow{"NUL text", Qt::Key_unknown, kNone, QString(QChar(0)),
               std::nullopt}));

}  // namespace
}  // namespace scribeline
