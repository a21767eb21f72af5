// ptzctl: number texts and the JSON writer.
#include "ptzctl_output.h"

#include <glib.h>
#include <stdio.h>

#include <stdlib.h>

#include <charconv>
#include <cmath>

namespace ptzctl {
namespace {

template <typename T>
std::string shortest_text(T value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // std::to_chars gives the shortest digits that read back exactly, and
  // never looks at the locale: "-d.ddde+XX".
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string scientific(buffer, result.ptr);
  size_t e = scientific.find('e');
  int exponent = atoi(scientific.c_str() + e + 1);
  // An exponent only for the very small and the very large; up to 15
  // digits before the point every JSON reader takes the number as it is.
  if (value != 0 && (exponent < -6 || exponent >= 15)) return scientific;
  std::string digits;
  for (size_t i = 0; i < e; i++)
    if (g_ascii_isdigit(scientific[i])) digits += scientific[i];
  int point = exponent + 1;  // digits before the decimal point
  std::string plain = scientific[0] == '-' ? "-" : "";
  if (point <= 0)
    plain += "0." + std::string(size_t(-point), '0') + digits;
  else if (size_t(point) >= digits.size())
    plain += digits + std::string(size_t(point) - digits.size(), '0');
  else
    plain += digits.substr(0, size_t(point)) + "." + digits.substr(size_t(point));
  return plain;
}

}  // namespace

std::string number_text(float value) { return shortest_text(value); }
std::string number_text(double value) { return shortest_text(value); }

std::string json_quote(std::string_view text) {
  gchar *valid = g_utf8_make_valid(text.data(), gssize(text.size()));
  std::string out = "\"";
  for (const char *p = valid; *p != '\0'; p++) {
    auto c = static_cast<unsigned char>(*p);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escape[8];
          g_snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += char(c);
        }
    }
  }
  g_free(valid);
  return out + "\"";
}

void JsonWriter::next_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!empty_.empty()) {
    if (!empty_.back()) out_ += ',';
    empty_.back() = false;
  }
}

JsonWriter &JsonWriter::begin_object() {
  next_value();
  out_ += '{';
  empty_.push_back(true);
  return *this;
}

JsonWriter &JsonWriter::end_object() {
  out_ += '}';
  empty_.pop_back();
  return *this;
}

JsonWriter &JsonWriter::begin_array() {
  next_value();
  out_ += '[';
  empty_.push_back(true);
  return *this;
}

JsonWriter &JsonWriter::end_array() {
  out_ += ']';
  empty_.pop_back();
  return *this;
}

JsonWriter &JsonWriter::key(std::string_view name) {
  next_value();
  out_ += json_quote(name);
  out_ += ':';
  after_key_ = true;
  return *this;
}

JsonWriter &JsonWriter::string(std::string_view text) {
  next_value();
  out_ += json_quote(text);
  return *this;
}

JsonWriter &JsonWriter::integer(int64_t value) {
  next_value();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter &JsonWriter::unsigned_integer(uint64_t value) {
  next_value();
  out_ += std::to_string(value);
  return *this;
}

void JsonWriter::raw_number(const std::string &text, bool finite) {
  if (!finite) {
    string(text);  // JSON has no NaN or infinity
    return;
  }
  next_value();
  out_ += text;
}

JsonWriter &JsonWriter::number(float value) {
  raw_number(number_text(value), std::isfinite(value));
  return *this;
}

JsonWriter &JsonWriter::number(double value) {
  raw_number(number_text(value), std::isfinite(value));
  return *this;
}

JsonWriter &JsonWriter::boolean(bool value) {
  next_value();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter &JsonWriter::null() {
  next_value();
  out_ += "null";
  return *this;
}

void JsonWriter::print() const {
  fputs(out_.c_str(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

}  // namespace ptzctl
