// The shell-style store: KEY=VALUE files read as one key-file document under
// a single group of their own. It has its own lock, independent of the
// settings store, so loading one never blocks the other.
#include "ptz_shell_settings.h"

#include <stdarg.h>

#include "common/ptz_log.h"
#include "common/ptz_mutex.h"
#include "common/ptz_raii.h"
#include "settings/ptz_settings_private.h"

namespace {

// The one group of the store, and the header put in front of the files'
// text to open it.
constexpr const gchar *kShellGroup = "FAKESECTION";
constexpr const gchar *kShellHeader = "[FAKESECTION]\n";

velmora::Mutex shell_lock;
GKeyFile *shell_store VELMORA_GUARDED_BY(shell_lock) = nullptr;

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
  g_clear_pointer(&shell_store, g_key_file_free);
  std::vector<SettingsDocumentFile> document;
  for (const PTZSettingsFile *entry = files; entry != nullptr && entry->name != nullptr; entry++)
    document.push_back({entry->name, entry->required});
  // A parse failure leaves the store installed with whatever the parser kept.
  return settings_load_document(kShellHeader, document, true, &shell_store) == SettingsDocument::loaded;
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
