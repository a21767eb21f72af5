// ptzctl: shared pieces of the subcommands — exit codes, error reporting,
// the argument parser, and strict parsing of numbers and hex text.
#pragma once

#include <glib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ptzctl {

// Exit codes: success, an operation that failed, a command line that is wrong.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A subcommand's name ("cache dump") and help text, for messages.
struct Command {
  const char *name;
  const char *help;
};

// Writes "ptzctl <command>: <message>" to stderr and returns kExitFailure.
int fail(const Command &command, const char *format, ...) G_GNUC_PRINTF(2, 3);
// The same, followed by a pointer to the command's help; returns kExitUsage.
int usage_error(const Command &command, const char *format, ...) G_GNUC_PRINTF(2, 3);

// One command-line option a subcommand accepts.
struct OptionSpec {
  const char *name;  // long name without the dashes
  char short_name;   // 0 when none
  bool has_value;
};

// The command line in its given order: options (name set) and operands
// (name empty). Order matters where an option applies to the operands
// that follow it.
struct Argument {
  std::string name;
  std::string value;
  bool is_option() const { return !name.empty(); }
};

// Parses argv[first...]. "--" ends the options (and is kept as an option
// named "--"); "--name=value", "--name
// value", "-x value" and "-x" forms are understood; a word that starts with
// "-" and a digit is an operand (a negative number). "-h"/"--help" prints the
// command's help. Returns true with `out` filled; false when the caller is to
// end with *exit_code (kExitUsage after a message, kExitOk after the help).
bool parse_arguments(const Command &command, int argc, char **argv, int first, const std::vector<OptionSpec> &specs,
                     std::vector<Argument> *out, int *exit_code);

// The "--json" option of the commands that print data.
constexpr OptionSpec kJsonOption = {"json", 'j', false};
// ptzctl --json COMMAND asks every command for JSON.
void set_json_default(bool json);
// True when the command line, or the global option, asks for JSON.
bool wants_json(const std::vector<Argument> &arguments);

// Collects the operands, and the last value of each option.
std::vector<std::string> operands(const std::vector<Argument> &arguments);
const Argument *last_option(const std::vector<Argument> &arguments, const char *name);

// Strict integers: the whole text must be one number (decimal, or hexadecimal
// with 0x), inside [min, max]. False on anything else.
bool parse_integer(const std::string &text, int64_t min, int64_t max, int64_t *out);
// The same for unsigned numbers up to `max`.
bool parse_unsigned(const std::string &text, uint64_t max, uint64_t *out);
// The same for an option's value, reporting a usage error naming the option.
// Returns kExitOk or kExitUsage.
int option_integer(const Command &command, const Argument *option, int64_t min, int64_t max, int64_t *out);

// Hex text to bytes: pairs of hex digits, optionally led by "0x" and
// separated by blanks, ':' or '-' between bytes. False with `error` set on
// anything else.
bool parse_hex(const std::string &text, std::string *bytes, std::string *error);

// A hexdump-style listing: offset, 16 bytes in hex, the printable ones as text.
std::string hex_dump(const std::string &bytes);

// Runs the subcommand of `command` ("dump" of "cache") that argv[first] names.
using Runner = int (*)(int argc, char **argv, int first);
struct Subcommand {
  const char *name;
  Runner run;
};
int dispatch(const Command &command, int argc, char **argv, int first, const std::vector<Subcommand> &subcommands);

// Subcommands: each takes the whole argv and the index of its first argument.
int run_vocab(int argc, char **argv, int first);
int run_cache(int argc, char **argv, int first);
int run_param(int argc, char **argv, int first);
int run_send(int argc, char **argv, int first);
int run_config(int argc, char **argv, int first);

// The group names the status cache reports, sorted; false with `error` set
// when it cannot list them. For the completion of GROUP arguments too.
bool list_cache_groups(std::vector<std::pair<std::string, int64_t>> *groups, std::string *error);

}  // namespace ptzctl
