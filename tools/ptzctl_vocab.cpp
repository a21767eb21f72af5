// ptzctl vocab: the registered enumeration and flags types of the framework.
#include <stdio.h>

#include <ptz_enum_types.h>

#include "ptzctl.h"
#include "ptzctl_output.h"

namespace ptzctl {
namespace {

const Command kVocab = {"vocab",
                        "Usage: ptzctl vocab [--json] [TYPE [VALUE|NICK]]\n"
                        "\n"
                        "Without arguments, list every type of the vocabulary with its kind and\n"
                        "number of values. With TYPE, list its values in registration order:\n"
                        "value, name and nick. With VALUE (a number, 0x for hexadecimal) or a NICK\n"
                        "(or a value name), show that one row; for a flags type a number is also\n"
                        "split into its flags.\n"
                        "\n"
                        "TYPE is a registered type name such as PTZCommand or PTZSCParam, in any\n"
                        "case; the leading PTZ may be left out (command, scparam). With --json the\n"
                        "same prints as one JSON document.\n"
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
    if (g_ascii_strcasecmp(name, wanted.c_str()) == 0 || g_ascii_strcasecmp(name, with_prefix.c_str()) == 0)
      return type;
  }
  return 0;
}

// Rows of a class, in registration order, seen the same way for both kinds.
struct Row {
  gint64 value;
  const char *name;
  const char *nick;
};

// One registered row, as the listing and the look-ups print it.
void print_row(bool flags, const Row &row) {
  if (flags)
    printf("0x%08x  %-36s %s\n", guint(row.value), row.name, row.nick);
  else
    printf("%11d  %-36s %s\n", gint(row.value), row.name, row.nick);
}

void row_json(JsonWriter &out, const Row &row) {
  out.begin_object().key("value").integer(row.value).member("name", row.name).member("nick", row.nick).end_object();
}

const char *kind_of(GType type) { return G_TYPE_IS_ENUM(type) ? "enum" : "flags"; }

// A document about one type: {"type": ..., "kind": ..., then the caller's}.
JsonWriter type_document(GType type) {
  JsonWriter out;
  out.begin_object().member("type", g_type_name(type)).member("kind", kind_of(type));
  return out;
}

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

int list_types(bool json) {
  JsonWriter out;
  out.begin_array();
  for (TypeFunc get_type : kTypes) {
    GType type = get_type();
    size_t count = rows_of(type).size();
    out.begin_object().member("type", g_type_name(type)).member("kind", kind_of(type));
    out.key("values").unsigned_integer(count).end_object();
    if (!json) printf("%-28s %-6s %zu\n", g_type_name(type), kind_of(type), count);
  }
  if (json) out.end_array().print();
  return kExitOk;
}

int list_rows(GType type, bool json) {
  bool flags = G_TYPE_IS_FLAGS(type);
  JsonWriter out = type_document(type);
  out.key("values").begin_array();
  for (const Row &row : rows_of(type)) {
    row_json(out, row);
    if (!json) print_row(flags, row);
  }
  if (json) out.end_array().end_object().print();
  return kExitOk;
}

// The rows a look-up found, and the bits of a flags word that none names.
void print_found(GType type, gint64 value, const std::vector<const Row *> &found, guint32 unnamed, bool json) {
  bool flags = G_TYPE_IS_FLAGS(type);
  if (json) {
    JsonWriter out = type_document(type);
    out.key("value").integer(value).key("rows").begin_array();
    for (const Row *row : found) row_json(out, *row);
    out.end_array();
    if (flags) out.key("unnamed").unsigned_integer(unnamed);
    out.end_object().print();
    return;
  }
  for (const Row *row : found) print_row(flags, *row);
  if (unnamed != 0) printf("0x%08x  (bits without a row in %s)\n", unnamed, g_type_name(type));
}

// A flags word that no single row names: each set bit with its row, and the
// bits that have none.
int split_flags(GType type, const std::vector<Row> &rows, guint32 word, bool json) {
  guint32 unnamed = 0;
  std::vector<const Row *> named;
  for (int bit = 0; bit < 32; bit++) {
    guint32 mask = 1u << bit;
    if ((word & mask) == 0) continue;
    const Row *found = nullptr;
    for (const Row &row : rows)
      if (guint32(row.value) == mask) found = &row;
    if (found != nullptr)
      named.push_back(found);
    else
      unnamed |= mask;
  }
  print_found(type, word, named, unnamed, json);
  return unnamed == 0 ? kExitOk : kExitFailure;
}

int look_up(GType type, const std::string &key, bool json) {
  bool flags = G_TYPE_IS_FLAGS(type);
  std::vector<Row> rows = rows_of(type);
  int64_t number = 0;
  bool numeric =
      flags ? parse_integer(key, 0, G_MAXUINT32, &number) : parse_integer(key, G_MININT32, G_MAXINT32, &number);
  if (numeric) {
    for (const Row &row : rows)
      if (row.value == number) {
        print_found(type, row.value, {&row}, 0, json);
        return kExitOk;
      }
    if (flags && number != 0) return split_flags(type, rows, guint32(number), json);
    return fail(kVocab, "%s has no value %s", g_type_name(type), key.c_str());
  }
  if (!key.empty() && (g_ascii_isdigit(key[0]) || key[0] == '-' || key[0] == '+'))
    return usage_error(kVocab, "'%s' is not a %s number of %s", key.c_str(), flags ? "32-bit unsigned" : "32-bit",
                       g_type_name(type));
  // Nicks first, then value names; exact spelling before any other case.
  for (bool ignore_case : {false, true})
    for (bool by_nick : {true, false})
      for (const Row &row : rows) {
        const char *text = by_nick ? row.nick : row.name;
        if (ignore_case ? g_ascii_strcasecmp(text, key.c_str()) == 0 : key == text) {
          print_found(type, row.value, {&row}, 0, json);
          return kExitOk;
        }
      }
  return fail(kVocab, "%s has no value with the nick or name '%s'", g_type_name(type), key.c_str());
}

}  // namespace

int run_vocab(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  if (!parse_arguments(kVocab, argc, argv, first, {kJsonOption}, &arguments, &code)) return code;
  std::vector<std::string> words = operands(arguments);
  bool json = wants_json(arguments);
  if (words.empty()) return list_types(json);
  if (words.size() > 2) return usage_error(kVocab, "too many arguments");
  GType type = find_type(words[0]);
  if (type == 0) return usage_error(kVocab, "unknown type '%s' ('ptzctl vocab' lists them)", words[0].c_str());
  return words.size() == 1 ? list_rows(type, json) : look_up(type, words[1], json);
}

}  // namespace ptzctl
