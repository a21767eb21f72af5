// ptzctl: error reporting, argument parsing, number and hex parsing.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstdarg>

#include "ptzctl.h"

namespace ptzctl {
namespace {

// Set once by main from the global option, before any command runs.
bool json_default = false;

void report(const Command &command, const char *format, va_list args) {
  gchar *text = g_strdup_vprintf(format, args);
  fprintf(stderr, "ptzctl %s: %s\n", command.name, text);
  g_free(text);
}

const OptionSpec *find_long(const std::vector<OptionSpec> &known, const std::string &name) {
  for (const auto &opt : known)
    if (name == opt.name) return &opt;
  return nullptr;
}

const OptionSpec *find_short(const std::vector<OptionSpec> &known, char name) {
  for (const auto &opt : known)
    if (opt.short_name != 0 && opt.short_name == name) return &opt;
  return nullptr;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == ':' || c == '-'; }

}  // namespace

int fail(const Command &command, const char *format, ...) {
  va_list args;
  va_start(args, format);
  report(command, format, args);
  va_end(args);
  return kExitFailure;
}

int usage_error(const Command &command, const char *format, ...) {
  va_list args;
  va_start(args, format);
  report(command, format, args);
  va_end(args);
  fprintf(stderr, "Try 'ptzctl %s --help'.\n", command.name);
  return kExitUsage;
}

bool parse_arguments(const Command &command, int argc, char **argv, int first, const std::vector<OptionSpec> &known,
                     std::vector<Argument> *out, int *exit_code) {
  bool options_done = false;
  for (int i = first; i < argc; i++) {
    std::string word = argv[i];
    bool negative_number = word.size() > 1 && word[0] == '-' && g_ascii_isdigit(word[1]);
    if (options_done || word.size() < 2 || word[0] != '-' || negative_number) {
      out->push_back({"", word});
      continue;
    }
    if (word == "--") {
      options_done = true;
      out->push_back({"--", ""});  // a command may give what follows a meaning of its own
      continue;
    }
    if (word == "--help" || word == "-h") {
      fputs(command.help, stdout);
      *exit_code = kExitOk;
      return false;
    }
    const OptionSpec *opt = nullptr;
    std::string value;
    bool has_inline_value = false;
    if (word[1] == '-') {
      std::string name = word.substr(2);
      size_t equals = name.find('=');
      if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.resize(equals);
        has_inline_value = true;
      }
      opt = find_long(known, name);
    } else if (word.size() == 2) {
      opt = find_short(known, word[1]);
    }
    if (opt == nullptr) {
      *exit_code = usage_error(command, "unknown option '%s'", word.c_str());
      return false;
    }
    if (!opt->has_value && has_inline_value) {
      *exit_code = usage_error(command, "option --%s takes no value", opt->name);
      return false;
    }
    if (opt->has_value && !has_inline_value) {
      if (i + 1 >= argc) {
        *exit_code = usage_error(command, "option --%s needs a value", opt->name);
        return false;
      }
      value = argv[++i];
    }
    out->push_back({opt->name, value});
  }
  return true;
}

int dispatch(const Command &command, int argc, char **argv, int first, const std::vector<Subcommand> &subcommands) {
  std::string names;
  for (const auto &sub : subcommands) names += (names.empty() ? "" : " or ") + std::string(sub.name);
  if (first >= argc) return usage_error(command, "no subcommand given (%s)", names.c_str());
  std::string word = argv[first];
  for (const auto &sub : subcommands)
    if (word == sub.name) return sub.run(argc, argv, first + 1);
  if (word == "--help" || word == "-h") {
    fputs(command.help, stdout);
    return kExitOk;
  }
  return usage_error(command, "unknown subcommand '%s' (%s)", word.c_str(), names.c_str());
}

void set_json_default(bool json) { json_default = json; }

bool wants_json(const std::vector<Argument> &arguments) {
  return json_default || last_option(arguments, kJsonOption.name) != nullptr;
}

std::vector<std::string> operands(const std::vector<Argument> &arguments) {
  std::vector<std::string> result;
  for (const auto &argument : arguments)
    if (!argument.is_option()) result.push_back(argument.value);
  return result;
}

const Argument *last_option(const std::vector<Argument> &arguments, const char *name) {
  const Argument *found = nullptr;
  for (const auto &argument : arguments)
    if (argument.name == name) found = &argument;
  return found;
}

bool parse_integer(const std::string &text, int64_t min, int64_t max, int64_t *out) {
  const char *p = text.c_str();
  if (*p == '\0' || g_ascii_isspace(*p) || text.size() != strlen(p)) return false;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') p++;
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  if (!g_ascii_isxdigit(*p) || (base == 10 && !g_ascii_isdigit(*p))) return false;
  errno = 0;
  char *end = nullptr;
  guint64 magnitude = g_ascii_strtoull(p, &end, base);
  if (errno != 0 || *end != '\0') return false;
  if (negative) {
    if (magnitude > guint64(G_MAXINT64) + 1) return false;
    int64_t value = magnitude == guint64(G_MAXINT64) + 1 ? G_MININT64 : -int64_t(magnitude);
    if (value < min || value > max) return false;
    *out = value;
    return true;
  }
  if (magnitude > guint64(G_MAXINT64) || int64_t(magnitude) < min || int64_t(magnitude) > max) return false;
  *out = int64_t(magnitude);
  return true;
}

bool parse_unsigned(const std::string &text, uint64_t max, uint64_t *out) {
  const char *p = text.c_str();
  if (text.empty() || text.size() != strlen(p) || !g_ascii_isdigit(*p)) return false;
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
    if (!g_ascii_isxdigit(*p)) return false;
  }
  errno = 0;
  char *end = nullptr;
  guint64 value = g_ascii_strtoull(p, &end, base);
  if (errno != 0 || *end != '\0' || value > max) return false;
  *out = value;
  return true;
}

int option_integer(const Command &command, const Argument *option, int64_t min, int64_t max, int64_t *out) {
  if (option == nullptr) return kExitOk;
  if (parse_integer(option->value, min, max, out)) return kExitOk;
  return usage_error(command, "--%s wants a whole number from %lld to %lld, not '%s'", option->name.c_str(),
                     (long long)min, (long long)max, option->value.c_str());
}

bool parse_hex(const std::string &text, std::string *bytes, std::string *error) {
  size_t i = 0;
  while (i < text.size() && is_separator(text[i])) i++;
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) i += 2;
  bytes->clear();
  while (i < text.size()) {
    if (is_separator(text[i])) {
      i++;
      continue;
    }
    int high = hex_digit(text[i]);
    int low = i + 1 < text.size() ? hex_digit(text[i + 1]) : -2;
    if (high < 0 || low == -1) {
      size_t bad = high < 0 ? i : i + 1;
      *error = "'" + text.substr(bad, 1) + "' at position " + std::to_string(bad + 1) + " is not a hex digit";
      return false;
    }
    if (low == -2) {
      *error = "odd number of hex digits (the last byte has only one)";
      return false;
    }
    bytes->push_back(char(high << 4 | low));
    i += 2;
  }
  return true;
}

std::string hex_dump(const std::string &bytes) {
  std::string out;
  for (size_t line = 0; line < bytes.size(); line += 16) {
    char buffer[16];
    g_snprintf(buffer, sizeof buffer, "%08zx ", line);
    out += buffer;
    std::string text;
    for (size_t i = line; i < line + 16; i++) {
      if (i == line + 8) out += ' ';
      if (i < bytes.size()) {
        auto byte = guint8(bytes[i]);
        g_snprintf(buffer, sizeof buffer, " %02x", byte);
        out += buffer;
        text += byte >= 0x20 && byte < 0x7f ? char(byte) : '.';
      } else {
        out += "   ";
      }
    }
    out += "  |" + text + "|\n";
  }
  return out;
}

}  // namespace ptzctl
