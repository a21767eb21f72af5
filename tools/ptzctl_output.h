// ptzctl: what the subcommands print — numbers as an operator reads them and
// JSON documents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ptzctl {

// The shortest text that reads back as exactly the same value, in the C
// locale whatever the user's: plain decimals from 1e-6 up to below 1e15
// ("10", "0.5", "-0.1", "100000"), an exponent outside that range
// ("1e-07", "3e+20").
// NaN and the infinities print as "nan", "inf" and "-inf".
std::string number_text(float value);
std::string number_text(double value);

// Builds one JSON document on one line. Strings are escaped as JSON demands
// (quotes, backslashes, control characters); bytes that are not UTF-8 become
// U+FFFD. Numbers that are not finite become the strings "nan", "inf" and
// "-inf". The caller pairs every begin with its end and puts key() before
// each member of an object.
class JsonWriter {
 public:
  JsonWriter &begin_object();
  JsonWriter &end_object();
  JsonWriter &begin_array();
  JsonWriter &end_array();
  JsonWriter &key(std::string_view name);
  JsonWriter &string(std::string_view text);
  JsonWriter &integer(int64_t value);
  JsonWriter &unsigned_integer(uint64_t value);
  JsonWriter &number(float value);
  JsonWriter &number(double value);
  JsonWriter &boolean(bool value);
  JsonWriter &null();
  // key() followed by string().
  JsonWriter &member(std::string_view name, std::string_view text) { return key(name).string(text); }

  const std::string &text() const { return out_; }
  // Writes the document and a newline to stdout and flushes it.
  void print() const;

 private:
  void next_value();
  void raw_number(const std::string &text, bool finite);

  std::string out_;
  std::vector<bool> empty_;  // per open container: nothing written into it yet
  bool after_key_ = false;
};

// A JSON string's text: the quoted, escaped form of `text`.
std::string json_quote(std::string_view text);

}  // namespace ptzctl
