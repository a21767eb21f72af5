// Typed queries on the settings store. Every exported query normalises its
// group argument and hands the result to the next layer, which normalises
// again; callers see that layering on names carrying the prefix more than
// once, so each layer here is kept as it is.

#include <stdarg.h>
#include <string.h>

#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "settings/ptz_settings_private.h"

using velmora::GCharPtr;

namespace {

// The name the iteration logs under.
constexpr char kIterateGroup[] = "ptz_settings_iterate_group";

// The full name of an indexed group: `group` followed by `index` in decimal,
// or `group` itself for a negative index. Usual names are composed on the
// stack: formatting and allocating the name was half the cost of a query.
class GroupName {
 public:
  GroupName(const gchar *group, gint index) : name_(group) {
    if (index < 0) return;
    size_t length = strlen(group);
    if (length + kDigitsMax + 1 > sizeof(buffer_)) {
      composed_.reset(g_strdup_printf("%s%d", group, index));
      name_ = composed_.get();
      return;
    }
    char digits[kDigitsMax];
    size_t count = 0;
    do {
      digits[count++] = char('0' + index % 10);
      index /= 10;
    } while (index > 0);
    memcpy(buffer_, group, length);
    for (size_t i = 0; i < count; i++) buffer_[length + i] = digits[count - 1 - i];
    buffer_[length + count] = '\0';
    name_ = buffer_;
  }
  GroupName(const GroupName &) = delete;
  GroupName &operator=(const GroupName &) = delete;
  const gchar *get() const { return name_; }

 private:
  static constexpr size_t kDigitsMax = 10;  // of G_MAXINT
  gchar buffer_[96];
  GCharPtr composed_;
  const gchar *name_;
};

// Group and key names are taken after one normalisation by the caller.
gboolean group_exists(const gchar *group, gint index) {
  if (group == nullptr) return FALSE;
  GroupName full(group, index);
  velmora::MutexLock lock(settings_lock);
  return settings_lookup_group(full.get()) != nullptr;
}

gchar **group_keys(const gchar *group, gint index) {
  if (group == nullptr) return nullptr;
  GroupName full(group, index);
  velmora::MutexLock lock(settings_lock);
  GKeyFile *store = settings_lookup_group(full.get());
  return store ? g_key_file_get_keys(store, full.get(), nullptr, nullptr) : nullptr;
}

gboolean to_boolean(GCharPtr text, gboolean *value) {
  if (!text || text.get()[0] == '\0') return FALSE;
  *value = settings_parse_boolean(text.get());
  return TRUE;
}

// Writes the number as soon as it is converted: a text without digits
// leaves 0 in `value` and fails.
gboolean to_int64(GCharPtr text, gint64 *value) {
  if (!text || text.get()[0] == '\0') return FALSE;
  gchar *end = nullptr;
  *value = g_ascii_strtoll(text.get(), &end, 0);
  return end > text.get();
}

gboolean to_int(gboolean found, gint64 number, gint *value) {
  if (!found || number < G_MININT32 || number > G_MAXINT32) return FALSE;
  *value = static_cast<gint>(number);
  return TRUE;
}

// Splits an expanded group.key path at its last dot; false when it has none.
bool split_path(gchar *path, const gchar **group, const gchar **key) {
  gchar *dot = strrchr(path, '.');
  if (dot == nullptr) return false;
  *dot = '\0';
  *group = path;
  *key = dot + 1;
  return true;
}

}  // namespace

gchar *settings_fetch_value(const gchar *group, gint index, const gchar *key) {
  group = settings_normalize_group(group);
  if (group == nullptr || key == nullptr) return nullptr;
  GroupName full(group, index);
  gchar *value = nullptr;
  {
    velmora::MutexLock lock(settings_lock);
    // Only the store that holds the group is asked, even when it lacks the key.
    if (GKeyFile *store = settings_lookup_group(full.get()))
      value = g_key_file_get_string(store, full.get(), key, nullptr);
  }
  return settings_unquote(value);
}

gchar *settings_fetch_custom_value(const gchar *group, const gchar *key) {
  return settings_fetch_value(group, -1, key);
}

gboolean ptz_settings_has_group(const gchar *group, gint index) {
  return group_exists(settings_normalize_group(group), index);
}

gboolean ptz_settings_has_custom_group(const gchar *group) { return group_exists(settings_normalize_group(group), -1); }

gchar **ptz_settings_get_group(const gchar *group, gint index) {
  return group_keys(settings_normalize_group(group), index);
}

gchar **ptz_settings_get_custom_group(const gchar *group) { return group_keys(settings_normalize_group(group), -1); }

gboolean ptz_settings_get_boolean(const gchar *group, gint index, const gchar *key, gboolean *value) {
  return to_boolean(GCharPtr(settings_fetch_value(settings_normalize_group(group), index, key)), value);
}

gboolean ptz_settings_get_custom_boolean(const gchar *group, const gchar *key, gboolean *value) {
  return to_boolean(GCharPtr(settings_fetch_custom_value(settings_normalize_group(group), key)), value);
}

gboolean ptz_settings_get_int64(const gchar *group, gint index, const gchar *key, gint64 *value) {
  return to_int64(GCharPtr(settings_fetch_value(settings_normalize_group(group), index, key)), value);
}

gboolean ptz_settings_get_custom_int64(const gchar *group, const gchar *key, gint64 *value) {
  return to_int64(GCharPtr(settings_fetch_custom_value(settings_normalize_group(group), key)), value);
}

gboolean ptz_settings_get_int(const gchar *group, gint index, const gchar *key, gint *value) {
  gint64 number = 0;
  gboolean found = ptz_settings_get_int64(settings_normalize_group(group), index, key, &number);
  return to_int(found, number, value);
}

gboolean ptz_settings_get_custom_int(const gchar *group, const gchar *key, gint *value) {
  gint64 number = 0;
  gboolean found = ptz_settings_get_custom_int64(settings_normalize_group(group), key, &number);
  return to_int(found, number, value);
}

gboolean ptz_settings_get_int_vp(gint *value, const gchar *path_format, ...) {
  g_assert(path_format != NULL);
  va_list args;
  va_start(args, path_format);
  GCharPtr path(g_strdup_vprintf(path_format, args));
  va_end(args);
  const gchar *group = nullptr, *key = nullptr;
  if (!split_path(path.get(), &group, &key)) return FALSE;
  return ptz_settings_get_custom_int(group, key, value);
}

gchar *ptz_settings_get_string(const gchar *group, gint index, const gchar *key) {
  return settings_fetch_value(settings_normalize_group(group), index, key);
}

gchar *ptz_settings_get_custom_string(const gchar *group, const gchar *key) {
  return settings_fetch_custom_value(settings_normalize_group(group), key);
}

gchar *ptz_settings_get_vp(const gchar *path_format, ...) {
  g_assert(path_format != NULL);
  va_list args;
  va_start(args, path_format);
  GCharPtr path(g_strdup_vprintf(path_format, args));
  va_end(args);
  const gchar *group = nullptr, *key = nullptr;
  if (!split_path(path.get(), &group, &key)) return nullptr;
  return ptz_settings_get_custom_string(group, key);
}

gboolean ptz_settings_iterate_group(const gchar *group_name, gint index, gpointer user_data,
                                    PTZSettingsIterateFunc func) {
  PTZ_RETURN_VAL_IF_FAIL(group_name != NULL, FALSE);
  // A private copy of the key list, and no lock held during the callbacks,
  // so a callback may call any settings query.
  velmora::StrvPtr keys(ptz_settings_get_group(group_name, index));
  if (!keys) return FALSE;
  for (gchar **key = keys.get(); *key; key++) {
    GCharPtr value(ptz_settings_get_string(group_name, index, *key));
    GCharPtr name(g_strdup_printf("%s%d.%s", group_name, index, *key));
    if (!func(name.get(), value.get(), user_data)) {
      PTZ_LOG_ERR("%s: Error iterating parameter group %s%d", kIterateGroup, group_name, index);
      return FALSE;
    }
  }
  return TRUE;
}
