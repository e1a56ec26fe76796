#include "export/coco_json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace scribeline {
namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  Result<JsonValue> parseDocument() {
    JsonValue value;
    skipBlanks();
    if (!parseValue(&value, 0)) return Status::failure(failure_);
    skipBlanks();
    if (position_ != text_.size() && failure_.empty())
      fail("something follows the JSON value");
    if (!failure_.empty()) return Status::failure(failure_);
    return value;
  }

 private:
  bool fail(const std::string& what) {
    if (!failure_.empty()) return false;
    size_t line = 1, column = 1;
    for (size_t i = 0; i < position_ && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    failure_ = "JSON line " + std::to_string(line) + ", column " +
               std::to_string(column) + ": " + what;
    return false;
  }
  bool atEnd() const { return position_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[position_]; }
  void skipBlanks() {
    while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' ||
                        peek() == '\r'))
      ++position_;
  }
  bool expectWord(const char* word) {
    for (const char* c = word; *c; ++c, ++position_)
      if (peek() != *c) return fail(std::string("expected ") + word);
    return true;
  }

  bool parseValue(JsonValue* value, int depth) {
    if (atEnd()) return fail("the text ends where a value should be");
    switch (peek()) {
      case '{':
        return parseObject(value, depth + 1);
      case '[':
        return parseArray(value, depth + 1);
      case '"':
        value->kind = JsonValue::Kind::kString;
        return parseString(&value->text);
      case 't':
        value->kind = JsonValue::Kind::kBool;
        value->boolean = true;
        return expectWord("true");
      case 'f':
        value->kind = JsonValue::Kind::kBool;
        return expectWord("false");
      case 'n':
        return expectWord("null");
      default:
        value->kind = JsonValue::Kind::kNumber;
        return parseNumber(&value->number);
    }
  }

  bool parseArray(JsonValue* value, int depth) {
    if (depth > kJsonMaxDepth) return fail("nested too deeply");
    value->kind = JsonValue::Kind::kArray;
    ++position_;
    skipBlanks();
    if (peek() == ']') {
      ++position_;
      return true;
    }
    while (true) {
      skipBlanks();
      value->items.emplace_back();
      if (!parseValue(&value->items.back(), depth)) return false;
      skipBlanks();
      if (peek() == ',') {
        ++position_;
      } else if (peek() == ']') {
        ++position_;
        return true;
      } else {
        return fail("expected ',' or ']'");
      }
    }
  }

  bool parseObject(JsonValue* value, int depth) {
    if (depth > kJsonMaxDepth) return fail("nested too deeply");
    value->kind = JsonValue::Kind::kObject;
    ++position_;
    skipBlanks();
    if (peek() == '}') {
      ++position_;
      return true;
    }
    std::set<std::string> seen;
    while (true) {
      skipBlanks();
      if (peek() != '"') return fail("expected a member name");
      std::string name;
      if (!parseString(&name)) return false;
      if (!seen.insert(name).second)
        return fail("the member \"" + name + "\" is named twice");
      skipBlanks();
      if (peek() != ':') return fail("expected ':'");
      ++position_;
      skipBlanks();
      value->names.push_back(name);
      value->items.emplace_back();
      if (!parseValue(&value->items.back(), depth)) return false;
      skipBlanks();
      if (peek() == ',') {
        ++position_;
      } else if (peek() == '}') {
        ++position_;
        return true;
      } else {
        return fail("expected ',' or '}'");
      }
    }
  }

  bool parseHex4(unsigned* code) {
    *code = 0;
    for (int i = 0; i < 4; ++i, ++position_) {
      const char c = peek();
      unsigned digit;
      if (c >= '0' && c <= '9')
        digit = static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        digit = static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        digit = static_cast<unsigned>(c - 'A' + 10);
      else
        return fail("a \\u escape needs four hexadecimal digits");
      *code = *code << 4 | digit;
    }
    return true;
  }

  static void appendUtf8(unsigned code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | code >> 6);
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out += static_cast<char>(0xE0 | code >> 12);
      *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | code >> 18);
      *out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool parseString(std::string* out) {
    ++position_;  // the opening quote
    while (true) {
      if (atEnd()) return fail("a string is not closed");
      const unsigned char c = static_cast<unsigned char>(peek());
      ++position_;
      if (c == '"') return true;
      if (c < 0x20) {
        --position_;
        return fail("a control character inside a string");
      }
      if (c != '\\') {
        *out += static_cast<char>(c);
        continue;
      }
      if (atEnd()) return fail("a string is not closed");
      const char escape = peek();
      ++position_;
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          *out += escape;
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case 't':
          *out += '\t';
          break;
        case 'u': {
          unsigned code;
          if (!parseHex4(&code)) return false;
          if (code >= 0xDC00 && code <= 0xDFFF)
            return fail("a \\u escape holds a lone low surrogate");
          if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low;
            if (peek() != '\\' || position_ + 1 >= text_.size() ||
                text_[position_ + 1] != 'u')
              return fail("a \\u escape holds a lone high surrogate");
            position_ += 2;
            if (!parseHex4(&low)) return false;
            if (low < 0xDC00 || low > 0xDFFF)
              return fail("a \\u escape holds a lone high surrogate");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(code, out);
          break;
        }
        default:
          --position_;
          return fail("an unknown escape in a string");
      }
    }
  }

  static bool isDigit(char c) { return c >= '0' && c <= '9'; }

  bool parseNumber(double* number) {
    const size_t start = position_;
    if (peek() == '-') ++position_;
    if (peek() == '0') {
      ++position_;
    } else if (isDigit(peek())) {
      while (isDigit(peek())) ++position_;
    } else {
      return fail("expected a value");
    }
    if (peek() == '.') {
      ++position_;
      if (!isDigit(peek())) return fail("a number needs digits after '.'");
      while (isDigit(peek())) ++position_;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++position_;
      if (peek() == '+' || peek() == '-') ++position_;
      if (!isDigit(peek()))
        return fail("a number needs digits in its exponent");
      while (isDigit(peek())) ++position_;
    }
    // The grammar is checked; strtod reads a copy, which ends where the
    // number does.
    const std::string digits = text_.substr(start, position_ - start);
    *number = std::strtod(digits.c_str(), nullptr);
    if (!std::isfinite(*number)) return fail("a number beyond any double");
    return true;
  }

  const std::string& text_;
  size_t position_ = 0;
  std::string failure_;
};

}  // namespace

const JsonValue* JsonValue::member(const std::string& name) const {
  if (kind != Kind::kObject) return nullptr;
  for (size_t i = 0; i < names.size() && i < items.size(); ++i)
    if (names[i] == name) return &items[i];
  return nullptr;
}

Result<JsonValue> parseJson(const std::string& text) {
  return Parser(text).parseDocument();
}

Result<std::int64_t> jsonInteger(const JsonValue* value,
                                 const std::string& what, std::int64_t low,
                                 std::int64_t high) {
  if (!value) return Status::failure(what + " is missing");
  if (value->kind != JsonValue::Kind::kNumber ||
      value->number != std::floor(value->number))
    return Status::failure(what + " is not a whole number");
  if (value->number < static_cast<double>(low) ||
      value->number > static_cast<double>(high))
    return Status::failure(what + " is outside " + std::to_string(low) +
                           " to " + std::to_string(high));
  return static_cast<std::int64_t>(value->number);
}

std::string jsonQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace scribeline
