// ptzctl vocab: the registered enumeration and flags types of the framework.
#include <stdio.h>

#include <ptz_enum_types.h>

#include "ptzctl.h"

namespace ptzctl {
namespace {

const Command kVocab = {
    "vocab",
    "Usage: ptzctl vocab [TYPE [VALUE|NICK]]\n"
    "\n"
    "Without arguments, list every type of the vocabulary with its kind and\n"
    "number of values. With TYPE, list its values in registration order:\n"
    "value, name and nick. With VALUE (a number, 0x for hexadecimal) or a NICK\n"
    "(or a value name), show that one row; for a flags type a number is also\n"
    "split into its flags.\n"
    "\n"
    "TYPE is a registered type name such as PTZCommand or PTZSCParam, in any\n"
    "case; the leading PTZ may be left out (command, scparam).\n"
    "\n"
    "Exit status: 0 found, 1 no such value, 2 usage error (unknown type).\n"};

using TypeFunc = GType (*)();

constexpr TypeFunc kTypes[] = {
    ptz_command_get_type,
    ptz_socket_command_get_type,
    ptz_protocol_version_get_type,
    ptz_move_get_type,
    ptz_move_status_get_type,
    ptz_move_cmd_get_type,
    ptz_enable_get_type,
    ptz_auto_enable_get_type,
    ptz_control_get_type,
    ptz_query_get_type,
    ptz_angle_get_type,
    ptz_osd_menu_get_type,
    ptz_driver_status_get_type,
    ptz_space_get_type,
    ptz_parameter_get_type,
    ptz_parameter_group_get_type,
    ptz_port_mode_get_type,
    ptz_baud_rate_get_type,
    ptz_data_bits_get_type,
    ptz_stop_bits_get_type,
    ptz_parity_get_type,
    ptz_port_type_get_type,
    ptz_sc_group_get_type,
    ptz_sc_param_get_type,
    ptz_driver_state_get_type,
    ptz_driver_move_capabilities_get_type,
    ptz_driver_extra_capabilities_get_type,
};

// The type whose name matches, ignoring case, with or without "PTZ"; 0 if none.
GType find_type(const std::string &wanted) {
  std::string with_prefix = "PTZ" + wanted;
  for (TypeFunc get_type : kTypes) {
    GType type = get_type();
    const char *name = g_type_name(type);
    if (g_ascii_strcasecmp(name, wanted.c_str()) == 0 ||
        g_ascii_strcasecmp(name, with_prefix.c_str()) == 0)
      return type;
  }
  return 0;
}

// One registered row, as the listing and the look-ups print it.
void print_row(bool flags, gint64 value, const char *name, const char *nick) {
  if (flags)
    printf("0x%08x  %-36s %s\n", guint(value), name, nick);
  else
    printf("%11d  %-36s %s\n", gint(value), name, nick);
}

// Rows of a class, in registration order, seen the same way for both kinds.
struct Row {
  gint64 value;
  const char *name;
  const char *nick;
};

std::vector<Row> rows_of(GType type) {
  std::vector<Row> rows;
  gpointer klass = g_type_class_ref(type);
  if (G_TYPE_IS_ENUM(type)) {
    auto *enums = static_cast<GEnumClass *>(klass);
    for (guint i = 0; i < enums->n_values; i++)
      rows.push_back({enums->values[i].value, enums->values[i].value_name, enums->values[i].value_nick});
  } else {
    auto *flags = static_cast<GFlagsClass *>(klass);
    for (guint i = 0; i < flags->n_values; i++)
      rows.push_back({flags->values[i].value, flags->values[i].value_name, flags->values[i].value_nick});
  }
  // The classes of static types are never freed; the strings stay valid.
  g_type_class_unref(klass);
  return rows;
}

int list_types() {
  for (TypeFunc get_type : kTypes) {
    GType type = get_type();
    printf("%-28s %-6s %zu\n", g_type_name(type), G_TYPE_IS_ENUM(type) ? "enum" : "flags",
           rows_of(type).size());
  }
  return kExitOk;
}

int list_rows(GType type) {
  bool flags = G_TYPE_IS_FLAGS(type);
  for (const Row &row : rows_of(type)) print_row(flags, row.value, row.name, row.nick);
  return kExitOk;
}

// A flags word that no single row names: each set bit with its row, and the
// bits that have none.
int split_flags(GType type, const std::vector<Row> &rows, guint32 word) {
  guint32 unnamed = 0;
  for (int bit = 0; bit < 32; bit++) {
    guint32 mask = 1u << bit;
    if ((word & mask) == 0) continue;
    const Row *found = nullptr;
    for (const Row &row : rows)
      if (guint32(row.value) == mask) found = &row;
    if (found != nullptr)
      print_row(true, found->value, found->name, found->nick);
    else
      unnamed |= mask;
  }
  if (unnamed == 0) return kExitOk;
  printf("0x%08x  (bits without a row in %s)\n", unnamed, g_type_name(type));
  return kExitFailure;
}

int look_up(GType type, const std::string &key) {
  bool flags = G_TYPE_IS_FLAGS(type);
  std::vector<Row> rows = rows_of(type);
  int64_t number = 0;
  bool numeric = flags ? parse_integer(key, 0, G_MAXUINT32, &number)
                       : parse_integer(key, G_MININT32, G_MAXINT32, &number);
  if (numeric) {
    for (const Row &row : rows)
      if (row.value == number) {
        print_row(flags, row.value, row.name, row.nick);
        return kExitOk;
      }
    if (flags && number != 0) return split_flags(type, rows, guint32(number));
    return fail(kVocab, "%s has no value %s", g_type_name(type), key.c_str());
  }
  if (!key.empty() && (g_ascii_isdigit(key[0]) || key[0] == '-' || key[0] == '+'))
    return usage_error(kVocab, "'%s' is not a %s number of %s", key.c_str(),
                       flags ? "32-bit unsigned" : "32-bit", g_type_name(type));
  // Nicks first, then value names; exact spelling before any other case.
  for (bool ignore_case : {false, true})
    for (bool by_nick : {true, false})
      for (const Row &row : rows) {
        const char *text = by_nick ? row.nick : row.name;
        if (ignore_case ? g_ascii_strcasecmp(text, key.c_str()) == 0 : key == text) {
          print_row(flags, row.value, row.name, row.nick);
          return kExitOk;
        }
      }
  return fail(kVocab, "%s has no value with the nick or name '%s'", g_type_name(type), key.c_str());
}

}  // namespace

int run_vocab(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  if (!parse_arguments(kVocab, argc, argv, first, {}, &arguments, &code)) return code;
  std::vector<std::string> words = operands(arguments);
  if (words.empty()) return list_types();
  if (words.size() > 2) return usage_error(kVocab, "too many arguments");
  GType type = find_type(words[0]);
  if (type == 0)
    return usage_error(kVocab, "unknown type '%s' ('ptzctl vocab' lists them)", words[0].c_str());
  return words.size() == 1 ? list_rows(type) : look_up(type, words[1]);
}

}  // namespace ptzctl
