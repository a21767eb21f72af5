// ptzctl cache: dump or watch a status-cache group with its values decoded.
//
// The keys, sizes and type codes of the Position, Various and Limit groups
// come from the library's group descriptions. The values are read with the
// status cache's own call, because a group may hold only some of its keys
// (a driver publishes what it has) and the library's fetch wants them all;
// raw groups by name are beyond the library's descriptions altogether.
#include <errno.h>
#include <stdio.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>

#include <ptz_enum_types.h>
#include <ptz_status_cache.h>

#include "durnik.h"
#include "ptzctl.h"

static_assert(sizeof(PTZStatusCacheEntry) == sizeof(sc_entry));
static_assert(offsetof(PTZStatusCacheEntry, type) == offsetof(sc_entry, type));

namespace ptzctl {
namespace {

const Command kDump = {
    "cache dump",
    "Usage: ptzctl cache dump GROUP [--key KEY:KIND]...\n"
    "\n"
    "Print the values of a status-cache group, decoded by their type.\n"
    "\n"
    "GROUP is one of\n"
    "  position:N, preset:N, various:N, limit:N   the groups of driver index N\n"
    "  PTZ_POSITION_ISN, PTZ_PRESET_ISN, ...       the same by their cache names\n"
    "  any other name                              a raw group: the timing keys\n"
    "                                              (start_time, start_pid, stop_time,\n"
    "                                              stop_pid) and counter keys\n"
    "                                              (counter_value, counter_pid) are\n"
    "                                              looked for\n"
    "\n"
    "Options:\n"
    "  --key KEY:KIND   also read KEY, of KIND int, int16, int64, float,\n"
    "                   timeval or timespec (may be repeated)\n"
    "\n"
    "Each value prints as 'KEY = VALUE [nick]'; keys the group lacks print as\n"
    "'KEY absent'. Exit status: 0 read, 1 no such group or unreadable, 2 usage.\n"};

const Command kWatch = {
    "cache watch",
    "Usage: ptzctl cache watch GROUP [--interval MS] [--count N] [--key KEY:KIND]...\n"
    "\n"
    "Print a status-cache group like 'cache dump', then read it again every\n"
    "interval and print the values that changed, each line led by the time\n"
    "since the start ('+1.250s KEY = VALUE').\n"
    "\n"
    "Options:\n"
    "  --interval MS    time between reads, 1 to 86400000 ms (default 1000)\n"
    "  --count N        stop after N reads, the first included (default: never)\n"
    "  --key KEY:KIND   as for 'cache dump'\n"
    "\n"
    "Exit status: 0 done, 1 the group does not exist at the start, 2 usage.\n"};

const Command kCache = {"cache",
                        "Usage: ptzctl cache dump GROUP [options]\n"
                        "       ptzctl cache watch GROUP [options]\n"
                        "\n"
                        "See 'ptzctl cache dump --help' and 'ptzctl cache watch --help'.\n"};

// Type codes of the status cache.
constexpr gint32 kInt = 1;
constexpr gint32 kFloat = 2;
constexpr gint32 kTimeval = 4;
constexpr gint32 kTimespec = 5;

// The largest value the tool reads; every known value fits.
constexpr guint64 kValueMax = 16;

struct Item {
  std::string key;
  guint64 size;
  gint32 type;
  std::string label;     // the parameter's nick, when there is one
  gint64 param = -1;     // the PTZSCParam, for typed groups
  bool show_absent = true;
};

struct Layout {
  std::string name;
  std::string title;  // the first line of a dump
  std::string note;   // printed when no item is present
  std::vector<Item> items;
};

// What one read found: nullopt for a missing group, else one text per item
// (nullopt for an absent key).
using Sample = std::optional<std::vector<std::optional<std::string>>>;

// ---- layouts -------------------------------------------------------------

struct ParamRange {
  PTZSCGroup group;
  guint32 first, last;
};

constexpr ParamRange kRanges[] = {
    {PTZ_SC_GROUP_POSITION, 0, 46},
    {PTZ_SC_GROUP_PRESET, 1, 0},  // the Preset group has no values
    {PTZ_SC_GROUP_VARIOUS, 49, 58},
    {PTZ_SC_GROUP_LIMIT, 59, 72},
};

struct GroupDeleter {
  void operator()(PTZStatusCacheGroup *group) const { ptz_status_cache_free_group(group); }
};
using GroupPtr = std::unique_ptr<PTZStatusCacheGroup, GroupDeleter>;

std::string group_nick(PTZSCGroup group) {
  auto *klass = static_cast<GEnumClass *>(g_type_class_ref(PTZ_TYPE_SC_GROUP));
  GEnumValue *value = g_enum_get_value(klass, group);
  std::string nick = value ? value->value_nick : "";
  g_type_class_unref(klass);
  return nick;
}

std::string param_nick(gint64 param) {
  auto *klass = static_cast<GEnumClass *>(g_type_class_ref(PTZ_TYPE_SC_PARAM));
  GEnumValue *value = g_enum_get_value(klass, gint(param));
  std::string nick = value ? value->value_nick : "";
  g_type_class_unref(klass);
  return nick;
}

// The library's description of a typed group, with every value it knows.
Layout typed_layout(const ParamRange &range, guint32 index) {
  guint32 count = range.last >= range.first ? range.last - range.first + 1 : 0;
  GroupPtr description(ptz_status_cache_setup_group(range.group, index, count));
  guint8 scratch[kValueMax];
  std::vector<guint32> params;
  for (guint32 param = range.first; param <= range.last && count > 0; param++)
    if (ptz_status_cache_add_param(description.get(), param, scratch)) params.push_back(param);
  Layout layout;
  layout.name = description->name;
  layout.title = layout.name + " (" + group_nick(range.group) + ", index " + std::to_string(index) + ")";
  if (count == 0) layout.note = "(no values are defined for " + group_nick(range.group) + " groups)";
  for (size_t i = 0; i < params.size(); i++) {
    const PTZStatusCacheEntry *entry = description->entries[i];
    layout.items.push_back({entry->key, entry->size, entry->type, param_nick(params[i]), params[i]});
  }
  return layout;
}

// The typed group a GROUP argument names ("position:3" or "PTZ_POSITION_IS3").
// Returns false for a raw name; a known prefix with a bad index is a usage
// error reported through *code.
bool find_typed(const Command &command, const std::string &arg, const ParamRange **range,
                guint32 *index, int *code) {
  for (const ParamRange &candidate : kRanges) {
    std::string nick = group_nick(candidate.group);
    GroupPtr zero(ptz_status_cache_setup_group(candidate.group, 0, 0));
    std::string prefix = zero->name;
    prefix.pop_back();  // "PTZ_POSITION_IS0" without its index
    std::string digits;
    if (arg.size() > nick.size() && arg[nick.size()] == ':' &&
        g_ascii_strncasecmp(arg.c_str(), nick.c_str(), nick.size()) == 0) {
      digits = arg.substr(nick.size() + 1);
    } else if (arg.compare(0, prefix.size(), prefix) == 0 && arg.size() > prefix.size()) {
      digits = arg.substr(prefix.size());
      // A cache name carries the index exactly as "%u" prints it.
      if (digits.find_first_not_of("0123456789") != std::string::npos ||
          (digits.size() > 1 && digits[0] == '0'))
        continue;
    } else {
      continue;
    }
    int64_t number = 0;
    if (!parse_integer(digits, 0, G_MAXUINT32, &number)) {
      *code = usage_error(command, "'%s' is not a driver index (0 to %u) in '%s'", digits.c_str(),
                          G_MAXUINT32, arg.c_str());
      return false;
    }
    *range = &candidate;
    *index = guint32(number);
    return true;
  }
  return false;
}

// A raw group: the keys of timing and counter groups are looked for.
Layout raw_layout(const std::string &name) {
  Layout layout;
  layout.name = name;
  layout.title = name;
  layout.note = "(none of the timing or counter keys; name keys with --key KEY:KIND)";
  for (const char *key : {"start_time", "stop_time"})
    layout.items.push_back({key, 16, kTimespec, "", -1, false});
  for (const char *key : {"start_pid", "stop_pid"}) layout.items.push_back({key, 2, kInt, "", -1, false});
  for (const char *key : {"counter_value", "counter_pid"})
    layout.items.push_back({key, 4, kInt, "", -1, false});
  return layout;
}

// --key KEY:KIND.
bool parse_key_option(const std::string &text, Item *item) {
  struct Kind {
    const char *name;
    guint64 size;
    gint32 type;
  };
  static constexpr Kind kKinds[] = {{"int", 4, kInt},         {"int16", 2, kInt},
                                    {"int64", 8, kInt},       {"float", 4, kFloat},
                                    {"timeval", 8, kTimeval}, {"timespec", 16, kTimespec}};
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon > SC_KEY_MAX) return false;
  std::string kind = text.substr(colon + 1);
  for (const Kind &k : kKinds)
    if (kind == k.name) {
      *item = {text.substr(0, colon), k.size, k.type, "", -1, true};
      return true;
    }
  return false;
}

// ---- reading and decoding ------------------------------------------------

template <typename T>
T load(const guint8 *bytes) {
  T value;
  memcpy(&value, bytes, sizeof value);
  return value;
}

// The shortest text that reads back as the same float.
std::string float_text(double value, int max_digits) {
  char buffer[64];
  for (int digits = 1; digits <= max_digits; digits++) {
    g_snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    if (max_digits > 9 ? g_ascii_strtod(buffer, nullptr) == value
                       : float(g_ascii_strtod(buffer, nullptr)) == float(value))
      break;
  }
  return buffer;
}

std::string hex_text(const guint8 *bytes, guint64 size) {
  std::string text = "bytes";
  char buffer[4];
  for (guint64 i = 0; i < size; i++) {
    g_snprintf(buffer, sizeof buffer, " %02x", bytes[i]);
    text += buffer;
  }
  return text;
}

std::string decode(const Item &item, const guint8 *bytes) {
  char buffer[96];
  switch (item.type) {
    case kInt:
      if (item.size == 2) return std::to_string(load<guint16>(bytes));
      if (item.size == 8) return std::to_string(load<gint64>(bytes));
      if (item.size == 4) {
        gint32 value = load<gint32>(bytes);
        std::string text = std::to_string(value);
        // The motion statuses are PTZMoveStatus values.
        if (item.param >= PTZ_SC_PARAM_POSITION_PAN_STATUS &&
            item.param <= PTZ_SC_PARAM_POSITION_BRIGHTNESS_STATUS) {
          auto *klass = static_cast<GEnumClass *>(g_type_class_ref(PTZ_TYPE_MOVE_STATUS));
          GEnumValue *status = g_enum_get_value(klass, value);
          if (status != nullptr) text += std::string(" (") + status->value_nick + ")";
          g_type_class_unref(klass);
        }
        return text;
      }
      break;
    case kFloat:
      if (item.size == 4) return float_text(load<float>(bytes), 9);
      if (item.size == 8) return float_text(load<double>(bytes), 17);
      break;
    case kTimeval:
      if (item.size == 8) {
        gint32 seconds = load<gint32>(bytes), micros = load<gint32>(bytes + 4);
        if (micros >= 0 && micros < 1000000)
          g_snprintf(buffer, sizeof buffer, "%d.%06d s", seconds, micros);
        else
          g_snprintf(buffer, sizeof buffer, "%d s %d us", seconds, micros);
        return buffer;
      }
      break;
    case kTimespec:
      if (item.size == 16) {
        gint64 seconds = load<gint64>(bytes), nanos = load<gint64>(bytes + 8);
        if (nanos >= 0 && nanos < 1000000000)
          g_snprintf(buffer, sizeof buffer, "%" G_GINT64_FORMAT ".%09" G_GINT64_FORMAT " s", seconds, nanos);
        else
          g_snprintf(buffer, sizeof buffer, "%" G_GINT64_FORMAT " s %" G_GINT64_FORMAT " ns", seconds, nanos);
        return buffer;
      }
      break;
    default:
      break;
  }
  return hex_text(bytes, item.size);
}

sc_entry entry_for(const Item &item, guint8 *buffer) {
  return {item.key.c_str(), item.size, buffer, item.type};
}

// Reads the group. Items are read in one call when all are present (one
// consistent snapshot), else one by one to tell which are there. Returns
// false after a message when the cache refuses the group for another reason
// than its absence.
bool read_sample(const Command &command, const Layout &layout, Sample *sample) {
  sc_entry *none[] = {nullptr};
  if (sc_get_group(layout.name.c_str(), none, SC_GET_PRESENT) < 0) {
    if (errno == ENOENT) {
      sample->reset();
      return true;
    }
    fail(command, "cannot read status-cache group '%s': %s", layout.name.c_str(), g_strerror(errno));
    return false;
  }
  size_t n = layout.items.size();
  std::vector<guint8> buffers(n * kValueMax + 1);
  std::vector<sc_entry> entries(n);
  std::vector<sc_entry *> pointers(n + 1, nullptr);
  for (size_t i = 0; i < n; i++) {
    entries[i] = entry_for(layout.items[i], &buffers[i * kValueMax]);
    pointers[i] = &entries[i];
  }
  std::vector<std::optional<std::string>> texts(n);
  int read = n > 0 ? sc_get_group(layout.name.c_str(), pointers.data(), SC_GET_ALL) : 0;
  if (read == int(n)) {
    for (size_t i = 0; i < n; i++) texts[i] = decode(layout.items[i], &buffers[i * kValueMax]);
  } else {
    for (size_t i = 0; i < n; i++) {
      sc_entry *one[] = {&entries[i], nullptr};
      if (sc_get_group(layout.name.c_str(), one, SC_GET_ALL) >= 0)
        texts[i] = decode(layout.items[i], &buffers[i * kValueMax]);
      else if (errno == EINVAL)
        texts[i] = "(held with another size or type)";
      else if (errno != ENOENT)
        texts[i] = std::string("(unreadable: ") + g_strerror(errno) + ")";
    }
  }
  *sample = std::move(texts);
  return true;
}

std::string item_line(const Item &item, const std::optional<std::string> &text) {
  std::string line = item.key + (text ? " = " + *text : " absent");
  if (!item.label.empty()) line += " [" + item.label + "]";
  return line;
}

void print_sample(const Layout &layout, const Sample &sample, const char *lead) {
  printf("%s%s\n", lead, layout.title.c_str());
  bool any = false;
  for (size_t i = 0; i < layout.items.size(); i++) {
    const auto &text = (*sample)[i];
    any = any || text.has_value();
    if (text || layout.items[i].show_absent) printf("%s%s\n", lead, item_line(layout.items[i], text).c_str());
  }
  if (!any && !layout.note.empty()) printf("%s%s\n", lead, layout.note.c_str());
  fflush(stdout);
}

// ---- subcommands ---------------------------------------------------------

const std::vector<OptionSpec> kDumpOptions = {{"key", 'k', true}};
const std::vector<OptionSpec> kWatchOptions = {
    {"key", 'k', true}, {"interval", 'i', true}, {"count", 'n', true}};

// The layout a command line names; false with *code set otherwise.
bool layout_from(const Command &command, const std::vector<Argument> &arguments, Layout *layout,
                 int *code) {
  std::vector<std::string> words = operands(arguments);
  if (words.size() != 1) {
    *code = usage_error(command, words.empty() ? "no GROUP given" : "too many arguments");
    return false;
  }
  const std::string &arg = words[0];
  if (arg.empty()) {
    *code = usage_error(command, "empty GROUP");
    return false;
  }
  const ParamRange *range = nullptr;
  guint32 index = 0;
  *code = kExitOk;
  if (find_typed(command, arg, &range, &index, code))
    *layout = typed_layout(*range, index);
  else if (*code != kExitOk)
    return false;
  else
    *layout = raw_layout(arg);
  for (const Argument &argument : arguments) {
    if (argument.name != "key") continue;
    Item item;
    if (!parse_key_option(argument.value, &item)) {
      *code = usage_error(command, "--key wants KEY:KIND (KEY of 1 to %d bytes; KIND int, int16, int64, "
                          "float, timeval or timespec), not '%s'", SC_KEY_MAX, argument.value.c_str());
      return false;
    }
    layout->items.push_back(item);
  }
  return true;
}

int dump(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  Layout layout;
  if (!parse_arguments(kDump, argc, argv, first, kDumpOptions, &arguments, &code)) return code;
  if (!layout_from(kDump, arguments, &layout, &code)) return code;
  Sample sample;
  if (!read_sample(kDump, layout, &sample)) return kExitFailure;
  if (!sample) return fail(kDump, "no status-cache group '%s'", layout.name.c_str());
  print_sample(layout, sample, "");
  return kExitOk;
}

int watch(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  Layout layout;
  if (!parse_arguments(kWatch, argc, argv, first, kWatchOptions, &arguments, &code)) return code;
  int64_t interval_ms = 1000, count = 0;
  if ((code = option_integer(kWatch, last_option(arguments, "interval"), 1, 86400000, &interval_ms)) ||
      (code = option_integer(kWatch, last_option(arguments, "count"), 1, G_MAXINT32, &count)))
    return code;
  if (!layout_from(kWatch, arguments, &layout, &code)) return code;

  Sample previous;
  if (!read_sample(kWatch, layout, &previous)) return kExitFailure;
  if (!previous) return fail(kWatch, "no status-cache group '%s'", layout.name.c_str());
  print_sample(layout, previous, "");
  const gint64 start = g_get_monotonic_time();
  for (int64_t done = 1; count == 0 || done < count; done++) {
    g_usleep(gulong(interval_ms) * 1000);
    Sample sample;
    if (!read_sample(kWatch, layout, &sample)) return kExitFailure;
    gchar *lead = g_strdup_printf("+%.3fs ", double(g_get_monotonic_time() - start) / 1e6);
    if (!sample) {
      if (previous) printf("%sgroup %s is gone\n", lead, layout.name.c_str());
    } else if (!previous) {
      print_sample(layout, sample, lead);
    } else {
      for (size_t i = 0; i < layout.items.size(); i++)
        if ((*sample)[i] != (*previous)[i])
          printf("%s%s\n", lead, item_line(layout.items[i], (*sample)[i]).c_str());
    }
    fflush(stdout);
    g_free(lead);
    previous = std::move(sample);
  }
  return kExitOk;
}

}  // namespace

int run_cache(int argc, char **argv, int first) {
  return dispatch(kCache, argc, argv, first, {{"dump", dump}, {"watch", watch}});
}

}  // namespace ptzctl
