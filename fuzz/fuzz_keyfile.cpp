// Key-file text on arbitrary bytes, through both key-file readers:
// - the settings loader, with the input split into two files that form one
//   document (the first byte says where, in steps of 16 bytes); every value
//   of a reference reading of that document must read back through the
//   settings queries, quotes stripped;
// - the versioned key file: opening the first file must give a key file
//   exactly when it parses and carries an integer version header, with the
//   documented compatibility; a key file that opens must store and reopen
//   with the same contents.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "ptz_keyfile.h"
#include "ptz_settings.h"
#include "settings/ptz_settings_private.h"

namespace {

constexpr gint kMajor = 2;
constexpr gint kMinor = 1;

bool has_root_prefix(const char *group) { return strncmp(group, "root.", 5) == 0 || strncmp(group, "ROOT.", 5) == 0; }

void check_settings(const char *first, size_t first_size, const char *second, size_t second_size,
                    const PTZSettingsFile *files) {
  const std::string document =
      std::string(first, strnlen(first, first_size)) + "\n" + std::string(second, strnlen(second, second_size)) + "\n";
  GKeyFile *reference = g_key_file_new();
  const bool parses = g_key_file_load_from_data(reference, document.data(), document.size(), G_KEY_FILE_NONE, nullptr);
  FUZZ_CHECK(bool(ptz_settings_load_config_gkf(files, nullptr)) == parses);
  if (parses) {
    gchar **groups = g_key_file_get_groups(reference, nullptr);
    for (gchar **group = groups; *group != nullptr; group++) {
      // Queries ignore a leading "root." (at two layers): out of their reach.
      if (has_root_prefix(*group)) continue;
      FUZZ_CHECK(ptz_settings_has_custom_group(*group));
      gchar **keys = g_key_file_get_keys(reference, *group, nullptr, nullptr);
      for (gchar **key = keys; *key != nullptr; key++) {
        gchar *expected = settings_unquote(g_key_file_get_string(reference, *group, *key, nullptr));
        gchar *value = ptz_settings_get_custom_string(*group, *key);
        FUZZ_CHECK(g_strcmp0(expected, value) == 0);
        g_free(value);
        g_free(expected);
      }
      g_strfreev(keys);
    }
    g_strfreev(groups);
  }
  g_key_file_free(reference);
}

bool same_contents(GKeyFile *a, GKeyFile *b) {
  gchar *text_a = g_key_file_to_data(a, nullptr, nullptr);
  gchar *text_b = g_key_file_to_data(b, nullptr, nullptr);
  const bool same = g_strcmp0(text_a, text_b) == 0;
  g_free(text_a);
  g_free(text_b);
  return same;
}

void check_versioned(const velmora::fuzz::Scratch &scratch, const std::string &path, const char *data, size_t size) {
  GKeyFile *reference = g_key_file_new();
  bool header = false;
  gint major = 0, minor = 0;
  if (g_key_file_load_from_data(reference, data, size, G_KEY_FILE_NONE, nullptr)) {
    GError *error = nullptr;
    major = g_key_file_get_integer(reference, "Header", "VersionMajor", &error);
    if (error == nullptr) minor = g_key_file_get_integer(reference, "Header", "VersionMinor", &error);
    header = error == nullptr;
    g_clear_error(&error);
  }
  g_key_file_free(reference);

  gboolean compatible = 2;
  GError *error = nullptr;
  GKeyFile *key_file = ptz_config_init_key_file(path.c_str(), kMajor, kMinor, &compatible, &error);
  FUZZ_CHECK((key_file != nullptr) == header);
  if (key_file == nullptr) {
    FUZZ_CHECK(error != nullptr && compatible == 2);
    g_error_free(error);
    return;
  }
  FUZZ_CHECK(error == nullptr);
  FUZZ_CHECK(bool(compatible) == (major == kMajor && minor >= kMinor));

  const std::string stored = scratch.file("stored.conf");
  FUZZ_CHECK(ptz_config_store_key_file(stored.c_str(), key_file, nullptr));
  GKeyFile *again = ptz_config_init_key_file(stored.c_str(), kMajor, kMinor, nullptr, nullptr);
  FUZZ_CHECK(again != nullptr && same_contents(key_file, again));
  g_key_file_free(again);
  g_key_file_free(key_file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static velmora::fuzz::Session session(true);
  static velmora::fuzz::Scratch scratch;
  session.next_run();
  if (size == 0) return 0;
  const char *text = reinterpret_cast<const char *>(data + 1);
  const size_t length = size - 1;
  const size_t split = MIN(size_t(data[0]) * 16, length);

  const std::string first = scratch.write("first.conf", text, split);
  const std::string second = scratch.write("second.conf", text + split, length - split);
  const PTZSettingsFile files[] = {{first.c_str(), TRUE}, {second.c_str(), TRUE}, {nullptr, FALSE}};
  check_settings(text, split, text + split, length - split, files);
  check_versioned(scratch, first, text, split);
  return 0;
}
