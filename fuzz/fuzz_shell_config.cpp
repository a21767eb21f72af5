// Shell-style files (KEY=VALUE lines) on arbitrary bytes, loaded from a
// file into the shell store and queried. A reference reading of the same
// text (ISO-8859-1 converted when it is not UTF-8 as a whole, cut at its
// first NUL, under one group header) decides whether the load must succeed
// and what every key must read as.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "ptz_shell_settings.h"
#include "settings/ptz_settings_private.h"

namespace {

GKeyFile *reference_of(const char *data, size_t size, bool *parses) {
  std::string text;
  if (g_utf8_validate(data, gssize(size), nullptr)) {
    text.assign(data, strnlen(data, size));
  } else {
    gchar *converted = g_convert(data, gssize(size), "UTF-8", "ISO-8859-1", nullptr, nullptr, nullptr);
    FUZZ_CHECK(converted != nullptr);  // every byte is an ISO-8859-1 character
    text = converted;
    g_free(converted);
  }
  const std::string document = "[FAKESECTION]\n" + text + "\n";
  GKeyFile *reference = g_key_file_new();
  *parses = g_key_file_load_from_data(reference, document.data(), document.size(), G_KEY_FILE_NONE, nullptr);
  return reference;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static velmora::fuzz::Session session(true);
  static velmora::fuzz::Scratch scratch;
  session.next_run();

  const std::string path = scratch.write("shell.conf", data, size);
  const PTZSettingsFile files[] = {{path.c_str(), TRUE}, {nullptr, FALSE}};
  const gboolean loaded = ptz_settings_shell_load_config(files);
  bool parses = false;
  GKeyFile *reference = reference_of(reinterpret_cast<const char *>(data), size, &parses);
  FUZZ_CHECK(bool(loaded) == parses);

  if (loaded) {
    gchar **keys = g_key_file_get_keys(reference, "FAKESECTION", nullptr, nullptr);
    for (gchar **key = keys; key != nullptr && *key != nullptr; key++) {
      gchar *expected = settings_unquote(g_key_file_get_string(reference, "FAKESECTION", *key, nullptr));
      gchar *value = ptz_settings_shell_get_string("%s", *key);
      FUZZ_CHECK(g_strcmp0(expected, value) == 0);
      gboolean flag = 2;
      const gboolean has_flag = ptz_settings_shell_get_boolean(&flag, "%s", *key);
      FUZZ_CHECK(bool(has_flag) == (value != nullptr && value[0] != '\0'));
      if (has_flag) FUZZ_CHECK(flag == settings_parse_boolean(value));
      g_free(value);
      g_free(expected);
    }
    g_strfreev(keys);
  }
  g_key_file_free(reference);
  return 0;
}
