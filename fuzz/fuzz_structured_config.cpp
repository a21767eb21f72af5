// Structured configuration files on arbitrary bytes: the parser on memory,
// then the same bytes as a file loaded into the settings store and queried.
// The store must hold, for every (group, key) the parser delivered, the
// value of the last record with it (ISO-8859-1 converted to UTF-8, quotes
// stripped), and a file the parser refuses must fail the load.
#include <errno.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "ptz_settings.h"
#include "qenta.h"
#include "qenta_testing.h"
#include "settings/ptz_settings_private.h"

namespace {

bool is_path(const char *text) {
  if (text == nullptr || *text == '\0' || *text == '.') return false;
  for (const char *p = text; *p; p++) {
    const bool name = g_ascii_isalnum(*p) || *p == '_' || *p == '-';
    if (!name && !(*p == '.' && p[1] != '.' && p[1] != '\0')) return false;
  }
  return true;
}

bool has_root_prefix(const std::string &group) {
  return group.compare(0, 5, "root.") == 0 || group.compare(0, 5, "ROOT.") == 0;
}

// What the settings store should answer for a parser value.
std::string stored_form(const char *value) {
  if (value == nullptr) return "";
  gchar *text = g_utf8_validate(value, -1, nullptr)
                    ? g_strdup(value)
                    : g_convert(value, -1, "UTF-8", "ISO-8859-1", nullptr, nullptr, nullptr);
  FUZZ_CHECK(text != nullptr);
  gchar *unquoted = settings_unquote(text);
  std::string result(unquoted);
  g_free(unquoted);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static velmora::fuzz::Session session(true);
  static velmora::fuzz::Scratch scratch;
  session.next_run();

  const char *text = reinterpret_cast<const char *>(data);
  const int opened = qenta_testing_open_buffer("fuzz.cfg", text, size);
  std::map<std::pair<std::string, std::string>, std::string> last;
  if (opened) {
    while (const qenta_record *record = qenta_getcfg()) {
      FUZZ_CHECK(is_path(record->group) && is_path(record->key));
      last[{record->group, record->key}] = stored_form(record->value);
    }
    qenta_closecfg();
  } else {
    FUZZ_CHECK(errno == EINVAL);
    FUZZ_CHECK(qenta_getcfg() == nullptr);
  }

  const std::string path = scratch.write("settings.cfg", data, size);
  const PTZSettingsFile files[] = {{path.c_str(), TRUE}, {nullptr, FALSE}};
  FUZZ_CHECK(ptz_settings_load_config(files, nullptr) == gboolean(opened != 0));
  if (!opened) return 0;

  for (const auto &[where, value] : last) {
    const auto &[group, key] = where;
    // Queries ignore a leading "root." (at two layers), so such groups are
    // out of their reach.
    if (has_root_prefix(group)) continue;
    FUZZ_CHECK(ptz_settings_has_custom_group(group.c_str()));
    gchar *found = ptz_settings_get_custom_string(group.c_str(), key.c_str());
    FUZZ_CHECK(found != nullptr && value == found);
    g_free(found);
    gint64 number;
    ptz_settings_get_custom_int64(group.c_str(), key.c_str(), &number);
    gboolean flag;
    ptz_settings_get_custom_boolean(group.c_str(), key.c_str(), &flag);
  }
  return 0;
}
