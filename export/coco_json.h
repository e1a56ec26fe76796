#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/status.h"

namespace scribeline {

// A JSON value as read by parseJson.
struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;  // a string's characters, UTF-8
  // An array's elements; an object's member values, in file order, with
  // their names at the same positions in `names`.
  std::vector<JsonValue> items;
  std::vector<std::string> names;

  // The member of an object named `name`, or nullptr (also for a value that
  // is no object).
  const JsonValue* member(const std::string& name) const;
};

// The deepest nesting of arrays and objects parseJson accepts.
constexpr int kJsonMaxDepth = 64;

// Reads a JSON text (RFC 8259) strictly: one value with blanks around it
// and nothing else; no comments, trailing commas, single quotes, leading
// zeros, NaN or control characters in strings; \u escapes must pair
// surrogates; an object may not name a member twice; nesting deeper than
// kJsonMaxDepth is refused. Never reads outside `text`. The reason of a
// refusal names the line and column.
Result<JsonValue> parseJson(const std::string& text);

// A whole number within [low, high] held by `value`, or the reason it is
// none (`what` names the value in the reason).
Result<std::int64_t> jsonInteger(const JsonValue* value,
                                 const std::string& what, std::int64_t low,
                                 std::int64_t high);

// `text` as a JSON string literal, quotes included: '"', '\\' and control
// characters escaped, everything else as it is.
std::string jsonQuoted(const std::string& text);

}  // namespace scribeline
