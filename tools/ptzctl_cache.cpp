// ptzctl cache: list the status-cache groups, dump or watch one with its
// values decoded.
//
// The keys, sizes and type codes of the Position, Various and Limit groups
// come from the library's group descriptions. The values are read with the
// status cache's own call, because a group may hold only some of its keys
// (a driver publishes what it has) and the library's fetch wants them all;
// raw groups by name are beyond the library's descriptions altogether.
#include <errno.h>
#include <stdio.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>

#include <ptz_enum_types.h>
#include <ptz_status_cache.h>

#include "durnik.h"
#include "ptzctl.h"
#include "ptzctl_output.h"

// Listing groups is an addition of the bundled status cache; the device's
// library may lack it, and ptzctl must still run there.
#pragma weak sc_list_groups

static_assert(sizeof(PTZStatusCacheEntry) == sizeof(sc_entry));
static_assert(offsetof(PTZStatusCacheEntry, type) == offsetof(sc_entry, type));

namespace ptzctl {
namespace {

const Command kList = {"cache list",
                       "Usage: ptzctl cache list [--json]\n"
                       "\n"
                       "List the status-cache groups, sorted by name: each group's name, its\n"
                       "size in bytes and, for the groups of a driver index, the GROUP argument\n"
                       "that names it for 'cache dump' (position:0, limit:3, ...).\n"
                       "\n"
                       "Exit status: 0 listed (also when there are none), 1 the status cache\n"
                       "cannot list its groups, 2 usage.\n"};

const Command kDump = {"cache dump",
                       "Usage: ptzctl cache dump GROUP [--key KEY:KIND]... [--json]\n"
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
                       "  --json           print the group as one JSON document\n"
                       "\n"
                       "Each value prints as 'KEY = VALUE [nick]'; keys the group lacks print as\n"
                       "'KEY absent'. Exit status: 0 read, 1 no such group or unreadable, 2 usage.\n"};

const Command kWatch = {"cache watch",
                        "Usage: ptzctl cache watch GROUP [--interval MS] [--count N] [--wait MS]\n"
                        "                         [--key KEY:KIND]... [--json]\n"
                        "\n"
                        "Wait for a status-cache group to exist, print it like 'cache dump', then\n"
                        "read it again every interval and print the values that changed, each line\n"
                        "led by the time since the start ('+1.250s KEY = VALUE'). A group that goes\n"
                        "away is reported, and printed whole when it comes back.\n"
                        "\n"
                        "Options:\n"
                        "  --interval MS    time between reads, 1 to 86400000 ms (default 1000)\n"
                        "  --count N        stop after N reads of the group, the first included\n"
                        "                   (default: never)\n"
                        "  --wait MS        give up when the group does not exist within MS ms\n"
                        "                   (default: wait as long as it takes; 0: it must exist now)\n"
                        "  --key KEY:KIND   as for 'cache dump'\n"
                        "  --json           one JSON document per line (JSON Lines), see ptzctl(1)\n"
                        "\n"
                        "Exit status: 0 done, 1 the group did not appear in time, 2 usage.\n"};

const Command kCache = {"cache",
                        "Usage: ptzctl cache list [--json]\n"
                        "       ptzctl cache dump GROUP [options]\n"
                        "       ptzctl cache watch GROUP [options]\n"
                        "\n"
                        "See 'ptzctl cache list --help', 'ptzctl cache dump --help' and\n"
                        "'ptzctl cache watch --help'.\n"};

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
  std::string label;  // the parameter's nick, when there is one
  gint64 param = -1;  // the PTZSCParam, for typed groups
  bool show_absent = true;
};

struct Layout {
  std::string name;
  std::string title;  // the first line of a dump
  std::string note;   // printed when no item is present
  std::string kind;   // the group type's nick; empty for raw groups
  guint32 index = 0;
  std::vector<Item> items;
};

// One value read from the cache, decoded by its type code.
struct Value {
  enum Kind {
    kInteger,
    kSingle,
    kDouble,
    kTimeval,
    kTimespec,
    kBytes,
    kProblem
  };
  Kind kind = kProblem;
  gint64 integer = 0;   // integers; the seconds of times
  gint64 fraction = 0;  // microseconds or nanoseconds of times
  float single = 0;
  double real = 0;
  std::string status;  // the PTZMoveStatus nick of a motion status
  std::string text;    // as printed: "12.5", "1 (moving)", "3.000001 s", ...

  bool operator==(const Value &other) const { return text == other.text; }
  void write_json(JsonWriter &out) const;
};

// What one read found: nullopt for a missing group, else one value per item
// (nullopt for an absent key).
using Sample = std::optional<std::vector<std::optional<Value>>>;

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
  layout.kind = group_nick(range.group);
  layout.index = index;
  layout.title = layout.name + " (" + layout.kind + ", index " + std::to_string(index) + ")";
  if (count == 0) layout.note = "(no values are defined for " + group_nick(range.group) + " groups)";
  for (size_t i = 0; i < params.size(); i++) {
    const PTZStatusCacheEntry *entry = description->entries[i];
    layout.items.push_back({entry->key, entry->size, entry->type, param_nick(params[i]), params[i]});
  }
  return layout;
}

// What a GROUP argument names: a raw group, the typed group of a driver
// index ("position:3" or "PTZ_POSITION_IS3"), or a typed group whose index
// is not a number that fits.
enum class Naming {
  kRaw,
  kTyped,
  kBadIndex
};

Naming typed_group(const std::string &arg, const ParamRange **range, guint32 *index, std::string *digits) {
  for (const ParamRange &candidate : kRanges) {
    std::string nick = group_nick(candidate.group);
    GroupPtr zero(ptz_status_cache_setup_group(candidate.group, 0, 0));
    std::string prefix = zero->name;
    prefix.pop_back();  // "PTZ_POSITION_IS0" without its index
    if (arg.size() > nick.size() && arg[nick.size()] == ':' &&
        g_ascii_strncasecmp(arg.c_str(), nick.c_str(), nick.size()) == 0) {
      *digits = arg.substr(nick.size() + 1);
    } else if (arg.compare(0, prefix.size(), prefix) == 0 && arg.size() > prefix.size()) {
      *digits = arg.substr(prefix.size());
      // A cache name carries the index exactly as "%u" prints it.
      if (digits->find_first_not_of("0123456789") != std::string::npos || (digits->size() > 1 && (*digits)[0] == '0'))
        continue;
    } else {
      continue;
    }
    int64_t number = 0;
    if (!parse_integer(*digits, 0, G_MAXUINT32, &number)) return Naming::kBadIndex;
    *range = &candidate;
    *index = guint32(number);
    return Naming::kTyped;
  }
  return Naming::kRaw;
}

// A raw group: the keys of timing and counter groups are looked for.
Layout raw_layout(const std::string &name) {
  Layout layout;
  layout.name = name;
  layout.title = name;
  layout.note = "(none of the timing or counter keys; name keys with --key KEY:KIND)";
  for (const char *key : {"start_time", "stop_time"}) layout.items.push_back({key, 16, kTimespec, "", -1, false});
  for (const char *key : {"start_pid", "stop_pid"}) layout.items.push_back({key, 2, kInt, "", -1, false});
  for (const char *key : {"counter_value", "counter_pid"}) layout.items.push_back({key, 4, kInt, "", -1, false});
  return layout;
}

// --key KEY:KIND.
bool parse_key_option(const std::string &text, Item *item) {
  struct Kind {
    const char *name;
    guint64 size;
    gint32 type;
  };
  static constexpr Kind kKinds[] = {{"int", 4, kInt},     {"int16", 2, kInt},       {"int64", 8, kInt},
                                    {"float", 4, kFloat}, {"timeval", 8, kTimeval}, {"timespec", 16, kTimespec}};
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

std::string hex_text(const guint8 *bytes, guint64 size) {
  std::string text = "bytes";
  char buffer[4];
  for (guint64 i = 0; i < size; i++) {
    g_snprintf(buffer, sizeof buffer, " %02x", bytes[i]);
    text += buffer;
  }
  return text;
}

Value decode(const Item &item, const guint8 *bytes) {
  Value value;
  char buffer[96];
  switch (item.type) {
    case kInt:
      if (item.size == 2 || item.size == 4 || item.size == 8) {
        value.kind = Value::kInteger;
        value.integer = item.size == 2   ? load<guint16>(bytes)
                        : item.size == 4 ? load<gint32>(bytes)
                                         : load<gint64>(bytes);
        value.text = std::to_string(value.integer);
        // The motion statuses are PTZMoveStatus values.
        if (item.param >= PTZ_SC_PARAM_POSITION_PAN_STATUS && item.param <= PTZ_SC_PARAM_POSITION_BRIGHTNESS_STATUS) {
          auto *klass = static_cast<GEnumClass *>(g_type_class_ref(PTZ_TYPE_MOVE_STATUS));
          GEnumValue *status = g_enum_get_value(klass, gint(value.integer));
          if (status != nullptr) {
            value.status = status->value_nick;
            value.text += " (" + value.status + ")";
          }
          g_type_class_unref(klass);
        }
        return value;
      }
      break;
    case kFloat:
      if (item.size == 4) {
        value.kind = Value::kSingle;
        value.single = load<float>(bytes);
        value.text = number_text(value.single);
        return value;
      }
      if (item.size == 8) {
        value.kind = Value::kDouble;
        value.real = load<double>(bytes);
        value.text = number_text(value.real);
        return value;
      }
      break;
    case kTimeval:
      if (item.size == 8) {
        value.kind = Value::kTimeval;
        value.integer = load<gint32>(bytes);
        value.fraction = load<gint32>(bytes + 4);
        if (value.fraction >= 0 && value.fraction < 1000000)
          g_snprintf(buffer, sizeof buffer, "%d.%06d s", gint(value.integer), gint(value.fraction));
        else
          g_snprintf(buffer, sizeof buffer, "%d s %d us", gint(value.integer), gint(value.fraction));
        value.text = buffer;
        return value;
      }
      break;
    case kTimespec:
      if (item.size == 16) {
        value.kind = Value::kTimespec;
        value.integer = load<gint64>(bytes);
        value.fraction = load<gint64>(bytes + 8);
        if (value.fraction >= 0 && value.fraction < 1000000000)
          g_snprintf(buffer, sizeof buffer, "%" G_GINT64_FORMAT ".%09" G_GINT64_FORMAT " s", value.integer,
                     value.fraction);
        else
          g_snprintf(buffer, sizeof buffer, "%" G_GINT64_FORMAT " s %" G_GINT64_FORMAT " ns", value.integer,
                     value.fraction);
        value.text = buffer;
        return value;
      }
      break;
    default:
      break;
  }
  value.kind = Value::kBytes;
  value.text = hex_text(bytes, item.size);
  return value;
}

Value problem(const std::string &text) {
  Value value;
  value.text = text;
  return value;
}

void Value::write_json(JsonWriter &out) const {
  switch (kind) {
    case kInteger:
      out.key("value").integer(integer);
      if (!status.empty()) out.member("status", status);
      break;
    case kSingle:
      out.key("value").number(single);
      break;
    case kDouble:
      out.key("value").number(real);
      break;
    case kTimeval:
    case kTimespec:
      out.key("value").begin_object().key("seconds").integer(integer);
      out.key(kind == kTimeval ? "microseconds" : "nanoseconds").integer(fraction).end_object();
      break;
    case kBytes:
      out.member("value", text.substr(6));  // the hex digits after "bytes "
      break;
    case kProblem:
      out.member("error", text);
      break;
  }
}

sc_entry entry_for(const Item &item, guint8 *buffer) { return {item.key.c_str(), item.size, buffer, item.type}; }

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
  std::vector<std::optional<Value>> values(n);
  int read = n > 0 ? sc_get_group(layout.name.c_str(), pointers.data(), SC_GET_ALL) : 0;
  if (read == int(n)) {
    for (size_t i = 0; i < n; i++) values[i] = decode(layout.items[i], &buffers[i * kValueMax]);
  } else {
    for (size_t i = 0; i < n; i++) {
      sc_entry *one[] = {&entries[i], nullptr};
      if (sc_get_group(layout.name.c_str(), one, SC_GET_ALL) >= 0)
        values[i] = decode(layout.items[i], &buffers[i * kValueMax]);
      else if (errno == EINVAL)
        values[i] = problem("(held with another size or type)");
      else if (errno != ENOENT)
        values[i] = problem(std::string("(unreadable: ") + g_strerror(errno) + ")");
    }
  }
  *sample = std::move(values);
  return true;
}

std::string item_line(const Item &item, const std::optional<Value> &value) {
  std::string line = item.key + (value ? " = " + value->text : " absent");
  if (!item.label.empty()) line += " [" + item.label + "]";
  return line;
}

void print_sample(const Layout &layout, const Sample &sample, const char *lead) {
  printf("%s%s\n", lead, layout.title.c_str());
  bool any = false;
  for (size_t i = 0; i < layout.items.size(); i++) {
    const auto &value = (*sample)[i];
    any = any || value.has_value();
    if (value || layout.items[i].show_absent) printf("%s%s\n", lead, item_line(layout.items[i], value).c_str());
  }
  if (!any && !layout.note.empty()) printf("%s%s\n", lead, layout.note.c_str());
  fflush(stdout);
}

void item_json(JsonWriter &out, const Item &item, const std::optional<Value> &value) {
  out.begin_object().member("key", item.key);
  if (item.param >= 0) out.key("param").integer(item.param);
  if (!item.label.empty()) out.member("nick", item.label);
  out.key("type").integer(item.type).key("size").unsigned_integer(item.size).key("present").boolean(value.has_value());
  if (value) value->write_json(out);
  out.end_object();
}

// The members that name the group: "group", and "kind" and "index" for the
// groups of a driver index.
void group_json(JsonWriter &out, const Layout &layout) {
  out.member("group", layout.name);
  if (!layout.kind.empty()) out.member("kind", layout.kind).key("index").unsigned_integer(layout.index);
}

// The "values" member: the entries a dump shows.
void values_json(JsonWriter &out, const Layout &layout, const Sample &sample) {
  out.key("values").begin_array();
  for (size_t i = 0; i < layout.items.size(); i++)
    if ((*sample)[i] || layout.items[i].show_absent) item_json(out, layout.items[i], (*sample)[i]);
  out.end_array();
}

// ---- subcommands ---------------------------------------------------------

const std::vector<OptionSpec> kDumpOptions = {{"key", 'k', true}, kJsonOption};
const std::vector<OptionSpec> kWatchOptions = {
    {"key", 'k', true}, {"interval", 'i', true}, {"count", 'n', true}, {"wait", 'w', true}, kJsonOption};

// The layout a command line names; false with *code set otherwise.
bool layout_from(const Command &command, const std::vector<Argument> &arguments, Layout *layout, int *code) {
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
  std::string digits;
  switch (typed_group(arg, &range, &index, &digits)) {
    case Naming::kTyped:
      *layout = typed_layout(*range, index);
      break;
    case Naming::kBadIndex:
      *code = usage_error(command, "'%s' is not a driver index (0 to %u) in '%s'", digits.c_str(), G_MAXUINT32,
                          arg.c_str());
      return false;
    case Naming::kRaw:
      *layout = raw_layout(arg);
      break;
  }
  for (const Argument &argument : arguments) {
    if (argument.name != "key") continue;
    Item item;
    if (!parse_key_option(argument.value, &item)) {
      *code = usage_error(command,
                          "--key wants KEY:KIND (KEY of 1 to %d bytes; KIND int, int16, int64, "
                          "float, timeval or timespec), not '%s'",
                          SC_KEY_MAX, argument.value.c_str());
      return false;
    }
    layout->items.push_back(item);
  }
  return true;
}

int collect_group(const char *name, int64_t size, void *data) {
  static_cast<std::vector<std::pair<std::string, int64_t>> *>(data)->emplace_back(name, size);
  return 0;
}

// A name as the listing prints it: control characters escaped, so that a
// hostile name cannot forge lines.
std::string printable_name(const std::string &name) {
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f) {
      gchar *escaped = g_strescape(name.c_str(), nullptr);
      std::string text = escaped;
      g_free(escaped);
      return text;
    }
  return name;
}

int list(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  if (!parse_arguments(kList, argc, argv, first, {kJsonOption}, &arguments, &code)) return code;
  if (!operands(arguments).empty()) return usage_error(kList, "too many arguments");
  std::vector<std::pair<std::string, int64_t>> groups;
  std::string error;
  if (!list_cache_groups(&groups, &error)) return fail(kList, "%s", error.c_str());
  JsonWriter out;
  out.begin_array();
  size_t width = 0;
  for (const auto &group : groups) width = std::max(width, printable_name(group.first).size());
  for (const auto &[name, size] : groups) {
    const ParamRange *range = nullptr;
    guint32 index = 0;
    std::string digits, argument;
    // Only cache names count here: "position:3" is no group's name.
    if (name.compare(0, 4, "PTZ_") == 0 && typed_group(name, &range, &index, &digits) == Naming::kTyped)
      argument = group_nick(range->group) + ":" + std::to_string(index);
    out.begin_object().member("group", name).key("size").integer(size);
    if (!argument.empty()) out.member("kind", group_nick(range->group)).key("index").unsigned_integer(index);
    out.end_object();
    if (!wants_json(arguments))
      printf("%-*s %10" G_GINT64_FORMAT "%s%s\n", int(width), printable_name(name).c_str(), size,
             argument.empty() ? "" : "  ", argument.c_str());
  }
  out.end_array();
  if (wants_json(arguments)) out.print();
  return kExitOk;
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
  if (wants_json(arguments)) {
    JsonWriter out;
    out.begin_object();
    group_json(out, layout);
    values_json(out, layout, sample);
    out.end_object().print();
  } else {
    print_sample(layout, sample, "");
  }
  return kExitOk;
}

// What watch prints, as text lines or as JSON Lines.
class WatchOutput {
 public:
  WatchOutput(const Layout &layout, bool json) : layout_(layout), json_(json) {}

  void waiting(double time) {
    // A note on stderr in text mode, so that stdout holds the group only.
    if (json_)
      event(time, "waiting").end_object().print();
    else
      fprintf(stderr, "ptzctl cache watch: waiting for status-cache group %s\n", layout_.name.c_str());
  }
  // The whole group; the first one is printed without a time lead.
  void snapshot(double time, const Sample &sample, bool first) {
    if (json_) {
      JsonWriter out = event(time, "snapshot");
      values_json(out, layout_, sample);
      out.end_object().print();
    } else {
      print_sample(layout_, sample, first ? "" : lead(time).c_str());
    }
  }
  void changes(double time, const Sample &previous, const Sample &sample) {
    JsonWriter out = event(time, "change");
    out.key("values").begin_array();
    bool any = false;
    for (size_t i = 0; i < layout_.items.size(); i++) {
      if ((*sample)[i] == (*previous)[i]) continue;
      any = true;
      if (json_)
        item_json(out, layout_.items[i], (*sample)[i]);
      else
        printf("%s%s\n", lead(time).c_str(), item_line(layout_.items[i], (*sample)[i]).c_str());
    }
    out.end_array().end_object();
    if (json_ && any) out.print();
    fflush(stdout);
  }
  void gone(double time) {
    if (json_)
      event(time, "gone").end_object().print();
    else
      printf("%sgroup %s is gone\n", lead(time).c_str(), layout_.name.c_str());
    fflush(stdout);
  }

 private:
  static std::string lead(double time) {
    char text[32];
    g_snprintf(text, sizeof text, "+%.3fs ", time);
    return text;
  }
  // An open event object: time, event and the group's names.
  JsonWriter event(double time, const char *name) const {
    JsonWriter out;
    out.begin_object().key("time").number(double(gint64(time * 1000)) / 1000).member("event", name);
    group_json(out, layout_);
    return out;
  }

  const Layout &layout_;
  bool json_;
};

int watch(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  Layout layout;
  if (!parse_arguments(kWatch, argc, argv, first, kWatchOptions, &arguments, &code)) return code;
  int64_t interval_ms = 1000, count = 0, wait_ms = -1;
  if ((code = option_integer(kWatch, last_option(arguments, "interval"), 1, 86400000, &interval_ms)) ||
      (code = option_integer(kWatch, last_option(arguments, "count"), 1, G_MAXINT32, &count)) ||
      (code = option_integer(kWatch, last_option(arguments, "wait"), 0, G_MAXINT32, &wait_ms)))
    return code;
  if (!layout_from(kWatch, arguments, &layout, &code)) return code;

  WatchOutput output(layout, wants_json(arguments));
  const gint64 start = g_get_monotonic_time();
  const gint64 deadline = wait_ms >= 0 ? start + wait_ms * 1000 : G_MAXINT64;
  Sample previous;
  bool seen = false;  // the group has been there once
  bool told = false;  // the wait for it has been reported
  for (int64_t reads = 0;;) {
    Sample sample;
    if (!read_sample(kWatch, layout, &sample)) return kExitFailure;
    gint64 now = g_get_monotonic_time();
    double time = double(now - start) / 1e6;
    if (!seen && !sample) {
      if (now >= deadline)
        return fail(kWatch, "no status-cache group '%s'%s", layout.name.c_str(),
                    wait_ms == 0 ? "" : (" within " + std::to_string(wait_ms) + " ms").c_str());
      if (!told) output.waiting(time);
      told = true;
    } else if (!seen) {
      output.snapshot(time, sample, true);
      seen = true;
    } else if (!sample) {
      if (previous) output.gone(time);
    } else if (!previous) {
      output.snapshot(time, sample, false);
    } else {
      output.changes(time, previous, sample);
    }
    if (sample) reads++;
    if (count > 0 && reads >= count) break;
    previous = std::move(sample);
    gint64 pause = interval_ms * 1000;
    if (!seen) pause = std::min(pause, std::max<gint64>(deadline - now, 0));
    g_usleep(gulong(pause));
  }
  return kExitOk;
}

}  // namespace

bool list_cache_groups(std::vector<std::pair<std::string, int64_t>> *groups, std::string *error) {
  auto *list_groups = &sc_list_groups;
  if (list_groups == nullptr) {
    *error =
        "the status-cache library in use cannot list its groups (it has no sc_list_groups); "
        "name a group instead";
    return false;
  }
  if (list_groups(collect_group, groups) < 0) {
    *error = std::string("the status cache cannot list its groups: ") + g_strerror(errno);
    return false;
  }
  std::sort(groups->begin(), groups->end());
  return true;
}

int run_cache(int argc, char **argv, int first) {
  return dispatch(kCache, argc, argv, first, {{"list", list}, {"dump", dump}, {"watch", watch}});
}

}  // namespace ptzctl
