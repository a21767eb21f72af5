// The shell-style store: KEY=VALUE files read as one key-file document under
// a single group of their own. It has its own lock, independent of the
// settings store, so loading one never blocks the other.
#include "ptz_shell_settings.h"

#include <stdarg.h>
#include <string.h>

#include "common/ptz_log.h"
#include "common/ptz_mutex.h"
#include "common/ptz_raii.h"
#include "settings/ptz_settings_private.h"

namespace {

// The group header put in front of the files' text.
constexpr const gchar *kShellGroup = "FAKESECTION";

velmora::Mutex shell_lock;
GKeyFile *shell_store VELMORA_GUARDED_BY(shell_lock) = nullptr;

// Appends one file's text, converted to UTF-8 when it is not valid UTF-8 as
// a whole, and a newline. FALSE (logged) when the conversion fails.
bool append_file_text(GString *buffer, const gchar *path, const gchar *text, gsize length) {
  // The text counts up to its first NUL byte.
  if (g_utf8_validate(text, static_cast<gssize>(length), nullptr)) {
    g_string_append_len(buffer, text, static_cast<gssize>(strnlen(text, length)));
  } else {
    velmora::GErrorPtr error;
    velmora::GCharPtr converted(
        g_convert(text, static_cast<gssize>(length), "UTF-8", "ISO-8859-1", nullptr, nullptr, error.out()));
    if (!converted) {
      PTZ_LOG_ERR("could not convert file '%s' from ISO-8859-1: %s", path, error.message("(NULL)"));
      return false;
    }
    g_string_append(buffer, converted.get());
  }
  g_string_append_c(buffer, '\n');
  return true;
}

// The value of the key `format` expands to, quotes stripped, or NULL.
gchar *shell_fetch(const gchar *format, va_list args) G_GNUC_PRINTF(1, 0);
gchar *shell_fetch(const gchar *format, va_list args) {
  if (format == nullptr) return nullptr;
  velmora::GCharPtr key(g_strdup_vprintf(format, args));
  if (!key) return nullptr;
  gchar *value = nullptr;
  {
    velmora::MutexLock lock(shell_lock);
    if (shell_store != nullptr) value = g_key_file_get_string(shell_store, kShellGroup, key.get(), nullptr);
  }
  return settings_unquote(value);
}

}  // namespace

extern "C" gboolean ptz_settings_shell_load_config(const PTZSettingsFile *files) {
  velmora::MutexLock lock(shell_lock);
  if (shell_store != nullptr) {
    g_key_file_free(shell_store);
    shell_store = nullptr;
  }

  GString *buffer = g_string_new(nullptr);
  g_string_printf(buffer, "[%s]\n", kShellGroup);
  for (const PTZSettingsFile *entry = files; entry != nullptr && entry->name != nullptr; entry++) {
    gchar *raw = nullptr;
    gsize length = 0;
    SettingsRead read = settings_read_file(entry->name, entry->required, &raw, &length);
    if (read == SettingsRead::skipped) continue;
    velmora::GCharPtr text(raw);
    if (read == SettingsRead::failed || !append_file_text(buffer, entry->name, text.get(), length)) {
      g_string_free(buffer, TRUE);
      return FALSE;
    }
  }

  // A parse failure leaves the store installed with whatever the parser kept.
  shell_store = g_key_file_new();
  velmora::GErrorPtr error;
  gboolean parsed = g_key_file_load_from_data(shell_store, buffer->str, buffer->len, G_KEY_FILE_NONE, error.out());
  g_string_free(buffer, TRUE);
  if (!parsed) {
    PTZ_LOG_ERR("could not load settings: %s", error.message("(NULL)"));
    return FALSE;
  }
  return TRUE;
}

extern "C" gchar *ptz_settings_shell_get_string(const gchar *format, ...) {
  va_list args;
  va_start(args, format);
  gchar *value = shell_fetch(format, args);
  va_end(args);
  return value;
}

extern "C" gboolean ptz_settings_shell_get_boolean(gboolean *value, const gchar *format, ...) {
  va_list args;
  va_start(args, format);
  velmora::GCharPtr text(shell_fetch(format, args));
  va_end(args);
  if (!text || text.get()[0] == '\0') return FALSE;
  if (value != nullptr) *value = settings_parse_boolean(text.get());
  return TRUE;
}
