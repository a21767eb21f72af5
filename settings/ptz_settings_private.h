// Internals of the settings store shared by the queries and by the other
// configuration readers of this folder. Not installed.
#pragma once

#include <glib.h>

#include <vector>

#include "common/ptz_mutex.h"
#include "ptz_settings.h"

// Guards both settings stores: held for a whole load and around each lookup.
// The shell-style store has a lock of its own.
extern velmora::Mutex settings_lock;

// The group name without one leading "root." or "ROOT." (the result points
// into the argument; NULL stays NULL).
const gchar *settings_normalize_group(const gchar *group);

// The store holding a group of exactly this name: the key-file store first,
// then the parsed store, else NULL.
GKeyFile *settings_lookup_group(const gchar *group) VELMORA_REQUIRES(settings_lock);

// The value of `key` in group `group` (followed by `index` in decimal when
// index >= 0), quotes stripped; NULL when missing or unreadable.
gchar *settings_fetch_value(const gchar *group, gint index, const gchar *key);
gchar *settings_fetch_custom_value(const gchar *group, const gchar *key);

// Takes ownership of `value` and returns the string to hand out: a value
// enclosed in matching double or single quotes loses them, and C-style
// escapes inside are resolved. NULL stays NULL.
gchar *settings_unquote(gchar *value);

// TRUE when the text starts with T, t, Y or y; FALSE otherwise (also for
// NULL or an empty text).
gboolean settings_parse_boolean(const gchar *text);

// One file of a key-file document: a file that is not `required` and cannot
// be opened is skipped without a message.
struct SettingsDocumentFile {
  const gchar *path;
  gboolean required;
};

// What settings_load_document() made of its files.
enum class SettingsDocument {
  loaded,  // *store holds the new key file
  empty,   // no header and no file read: nothing parsed, *store left NULL
  failed,  // logged; *store NULL, or the parser's key file with what it kept
           // when the text does not parse
};

// The loader of the key-file store and of the shell store: reads `files` in
// order as raw bytes (a GIOChannel without encoding) into one key-file
// document, `header` first, then each file's text up to its first NUL byte
// followed by a newline, and parses the document (no flags) into a new key
// file in *store. With `latin1_files`, a file whose text is not UTF-8 as a
// whole is converted from ISO-8859-1 first; without, it is taken as it is.
// Logs "could not open file '%s': %s", "failed reading file '%s': %s",
// "could not convert file '%s' from ISO-8859-1: %s" and "could not load
// settings: %s".
SettingsDocument settings_load_document(const gchar *header, const std::vector<SettingsDocumentFile> &files,
                                        bool latin1_files, GKeyFile **store);
