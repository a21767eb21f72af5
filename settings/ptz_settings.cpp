// The process-wide settings store: finding configuration files, the two
// loaders that fill its halves, and the lookup primitives every settings
// query goes through.

#include <stdio.h>
#include <string.h>

#include <cerrno>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "settings/ptz_settings_private.h"

#include <qenta.h>
#include "common/ptz_guard.h"

using velmora::GCharPtr;

velmora::Mutex settings_lock;

namespace {

// The names the loaders log under.
constexpr char kFindConfigFiles[] = "ptz_settings_find_config_files";
constexpr char kLoadConfigExt[] = "ptz_settings_load_config_ext";
constexpr char kLoadConfigGkf[] = "ptz_settings_load_config_gkf";

// Both halves of the store.
GKeyFile *keyfile_store VELMORA_GUARDED_BY(settings_lock) = nullptr;  // ptz_settings_load_config_gkf; searched first
GKeyFile *parsed_store VELMORA_GUARDED_BY(settings_lock) = nullptr;   // ptz_settings_load_config_ext; searched second

// An array that grows in steps of 20 entries and reports a failed allocation
// instead of aborting, so the loaders can log it and give up cleanly.
template <typename T>
class GrowArray {
 public:
  GrowArray() = default;
  ~GrowArray() { g_free(items_); }
  GrowArray(const GrowArray &) = delete;
  GrowArray &operator=(const GrowArray &) = delete;

  // Appends and keeps one zeroed entry after the last (the terminator).
  bool append(const T &item) {
    if (count_ + 1 >= capacity_ && !grow()) return false;
    items_[count_++] = item;
    return true;
  }
  // Makes sure the array exists, terminator included, even when empty.
  bool allocate() { return items_ != nullptr || grow(); }
  size_t size() const { return count_; }
  T &operator[](size_t i) { return items_[i]; }
  T *release() {
    T *items = items_;
    items_ = nullptr;
    count_ = capacity_ = 0;
    return items;
  }

 private:
  bool grow() {
    T *grown = g_try_renew(T, items_, capacity_ + kStep);
    if (grown == nullptr) return false;
    memset(static_cast<void *>(grown + capacity_), 0, kStep * sizeof(T));
    items_ = grown;
    capacity_ += kStep;
    return true;
  }

  static constexpr size_t kStep = 20;
  T *items_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};

// The files of one load, in load order: explicit files first, then what
// each pattern finds.
struct LoadEntry {
  gchar *path;
  gboolean required;
  gboolean convert_latin1;
};

class LoadList : public GrowArray<LoadEntry> {
 public:
  ~LoadList() {
    for (size_t i = 0; i < size(); i++) g_free((*this)[i].path);
  }
  bool add(const gchar *path, gboolean required, gboolean convert_latin1) {
    gchar *copy = g_strdup(path);
    if (append({copy, required, convert_latin1})) return true;
    g_free(copy);
    return false;
  }
};

gboolean latin1_flag(const PTZSettingsFile *) { return FALSE; }
gboolean latin1_flag(const PTZSettingsFileExt *entry) { return entry->convert_latin1; }

// Discards the loader's own store.
void discard_store(GKeyFile *&store) VELMORA_REQUIRES(settings_lock) {
  if (store) g_key_file_free(store);
  store = nullptr;
}

template <typename Entry>
bool build_load_list(const char *loader, const Entry *files, const Entry *patterns, LoadList &list) {
  for (const Entry *e = files; e && e->name; e++) {
    if (!list.add(e->name, e->required, latin1_flag(e))) goto no_memory;
  }
  for (const Entry *e = patterns; e && e->name; e++) {
    velmora::StrvPtr found(ptz_settings_find_config_files(e->name, e->required));
    for (gchar **path = found.get(); path && *path; path++) {
      if (!list.add(*path, e->required, latin1_flag(e))) goto no_memory;
    }
  }
  return true;
no_memory:
  PTZ_LOG_ERR("%s: Error allocating memory, conf files will not be loaded", loader);
  return false;
}

// Names the key-file store would refuse (with a GLib critical) are skipped,
// whatever the parser delivers.
bool acceptable_group(const char *group) {
  if (group == nullptr || *group == '\0') return false;
  for (const char *p = group; *p; p++)
    if (*p == '[' || *p == ']' || g_ascii_iscntrl(*p)) return false;
  return true;
}

bool acceptable_key(const char *key) {
  if (key == nullptr || *key == '\0') return false;
  if (key[0] == ' ' || key[strlen(key) - 1] == ' ') return false;
  for (const char *p = key; *p; p++)
    if (*p == '=' || *p == '[' || *p == ']' || g_ascii_iscntrl(*p)) return false;
  return true;
}

// Stores one parser record in the parsed store; false (logged) when a value
// cannot be converted.
bool store_record(const LoadEntry &file, const qenta_record *record) VELMORA_REQUIRES(settings_lock) {
  if (!acceptable_group(record->group) || !acceptable_key(record->key)) return true;
  const char *value = record->value ? record->value : "";
  GCharPtr converted;
  if (file.convert_latin1 && !g_utf8_validate(value, -1, nullptr)) {
    velmora::GErrorPtr error;
    converted.reset(g_convert(value, -1, "UTF-8", "ISO-8859-1", nullptr, nullptr, error.out()));
    if (!converted) {
      PTZ_LOG_ERR("could not convert file '%s' from ISO-8859-1: %s", file.path, error.message("(NULL)"));
      return false;
    }
    value = converted.get();
  }
  g_key_file_set_string(parsed_store, record->group, record->key, value);
  return true;
}

// The rules of g_strcompress, except that a lone backslash at the very end
// is dropped silently instead of with a GLib warning (the text comes from a
// configuration file, not from the program).
gchar *compress_escapes(const gchar *text) {
  gchar *result = static_cast<gchar *>(g_malloc(strlen(text) + 1));
  gchar *out = result;
  for (const gchar *p = text; *p; p++) {
    if (*p != '\\') {
      *out++ = *p;
      continue;
    }
    p++;
    switch (*p) {
      case '\0':
        *out = '\0';
        return result;
      case 'b':
        *out++ = '\b';
        break;
      case 'f':
        *out++ = '\f';
        break;
      case 'n':
        *out++ = '\n';
        break;
      case 'r':
        *out++ = '\r';
        break;
      case 't':
        *out++ = '\t';
        break;
      case 'v':
        *out++ = '\v';
        break;
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7': {
        unsigned code = 0;
        const gchar *octal = p;
        while (p < octal + 3 && *p >= '0' && *p <= '7') code = code * 8 + (*p++ - '0');
        *out++ = static_cast<gchar>(code);
        p--;
        break;
      }
      default:
        *out++ = *p;
        break;
    }
  }
  *out = '\0';
  return result;
}

}  // namespace

const gchar *settings_normalize_group(const gchar *group) {
  if (group == nullptr) return nullptr;
  if (strncmp(group, "root.", 5) == 0 || strncmp(group, "ROOT.", 5) == 0) return group + 5;
  return group;
}

GKeyFile *settings_lookup_group(const gchar *group) {
  if (keyfile_store && g_key_file_has_group(keyfile_store, group)) return keyfile_store;
  if (parsed_store && g_key_file_has_group(parsed_store, group)) return parsed_store;
  return nullptr;
}

gchar *settings_unquote(gchar *value) {
  if (value == nullptr) return nullptr;
  size_t length = strlen(value);
  if (length < 2) return value;
  char first = value[0];
  if ((first != '"' && first != '\'') || value[length - 1] != first) return value;
  value[length - 1] = '\0';
  gchar *inner = strchr(value + 1, '\\') ? compress_escapes(value + 1) : g_strdup(value + 1);
  g_free(value);
  return inner;
}

gboolean settings_parse_boolean(const gchar *text) {
  if (text == nullptr) return FALSE;
  switch (text[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      return TRUE;
    default:
      return FALSE;
  }
}

gchar **ptz_settings_find_config_files(const gchar *files, gboolean required) {
  PTZ_RETURN_VAL_IF_FAIL(files != NULL, NULL);

  // The pattern comes from the calling program and is trusted: the shell
  // expands wildcards and several blank-separated patterns.
  GCharPtr command(g_strdup_printf("ls -1 %s", files));
  FILE *listing = popen(command.get(), "re");
  if (listing == nullptr) {
    PTZ_LOG_ERR("%s: Error listing files: '%s'", kFindConfigFiles, files);
    return nullptr;
  }
  auto out_of_memory = [&]() -> gchar ** {
    PTZ_LOG_ERR("%s: Error allocating memory, no conf files matching '%s' will be loaded", kFindConfigFiles, files);
    pclose(listing);
    return nullptr;
  };
  GrowArray<gchar *> found;
  char line[200];
  bool inside_long_line = false;
  while (fgets(line, sizeof line, listing)) {
    char *newline = strrchr(line, '\n');
    if (newline == nullptr) {
      // Either the last line lacks its newline or the line is longer than
      // the buffer; neither is a usable path.
      inside_long_line = true;
      continue;
    }
    if (inside_long_line) {
      // The tail of a line that did not fit: skip the line whole.
      inside_long_line = false;
      continue;
    }
    *newline = '\0';
    gchar *path = g_strdup(line);
    if (!found.append(path)) {
      g_free(path);
      for (size_t i = 0; i < found.size(); i++) g_free(found[i]);
      return out_of_memory();
    }
  }
  // An empty listing still gives an empty, NULL-terminated array.
  if (!found.allocate()) return out_of_memory();
  velmora::StrvPtr paths(found.release());
  int status = pclose(listing);
  if (status == 0) return paths.release();
  if (status == -1)
    PTZ_LOG_ERR("%s: Unexpected error listing files: '%s'", kFindConfigFiles, files);
  else if (status > 0 && required)
    PTZ_LOG_ERR("%s: Files not found: '%s'", kFindConfigFiles, files);
  return nullptr;
}

gboolean ptz_settings_load_config_ext(const PTZSettingsFileExt *files, const PTZSettingsFileExt *patterns) {
  velmora::MutexLock lock(settings_lock);
  discard_store(parsed_store);
  LoadList list;
  if (!build_load_list(kLoadConfigExt, files, patterns, list)) return FALSE;
  parsed_store = g_key_file_new();
  for (size_t i = 0; i < list.size(); i++) {
    const LoadEntry &file = list[i];
    if (!qenta_opencfg(file.path)) {
      int reason = errno;
      if (!file.required) continue;
      PTZ_LOG_ERR("could not open file '%s': %s", file.path, g_strerror(reason));
      return FALSE;
    }
    while (const qenta_record *record = qenta_getcfg()) {
      if (!store_record(file, record)) {
        qenta_closecfg();
        return FALSE;
      }
    }
    qenta_closecfg();
  }
  return TRUE;
}

gboolean ptz_settings_load_config(const PTZSettingsFile *files, const PTZSettingsFile *patterns) {
  // Every entry converts from ISO-8859-1; an empty list is passed on as NULL.
  auto extend = [](const PTZSettingsFile *list) -> PTZSettingsFileExt * {
    if (list == nullptr || list->name == nullptr) return nullptr;
    size_t count = 0;
    while (list[count].name) count++;
    auto *ext = g_new0(PTZSettingsFileExt, count + 1);
    for (size_t i = 0; i < count; i++) ext[i] = {list[i].name, list[i].required, TRUE};
    return ext;
  };
  std::unique_ptr<PTZSettingsFileExt, velmora::GFreeDeleter> ext_files(extend(files));
  std::unique_ptr<PTZSettingsFileExt, velmora::GFreeDeleter> ext_patterns(extend(patterns));
  return ptz_settings_load_config_ext(ext_files.get(), ext_patterns.get());
}

gboolean ptz_settings_load_config_gkf(const PTZSettingsFile *files, const PTZSettingsFile *patterns) {
  velmora::MutexLock lock(settings_lock);
  discard_store(keyfile_store);
  LoadList list;
  if (!build_load_list(kLoadConfigGkf, files, patterns, list)) return FALSE;

  // All files form one key-file document, unconverted: a value that is not
  // UTF-8 reads as missing.
  std::vector<SettingsDocumentFile> document;
  for (size_t i = 0; i < list.size(); i++) document.push_back({list[i].path, list[i].required});
  SettingsDocument loaded = settings_load_document("", document, false, &keyfile_store);
  if (loaded == SettingsDocument::empty) PTZ_LOG_ERR("%s: no data to read", kLoadConfigGkf);
  return loaded == SettingsDocument::loaded;
}
