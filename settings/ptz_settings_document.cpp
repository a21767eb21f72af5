// The document loader of the key-file store and of the shell store: files
// read as raw bytes, converted where asked, joined and parsed as one
// key-file document.
#include <string.h>

#include <memory>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "settings/ptz_settings_private.h"

namespace {

// Outcome of reading one file.
enum class Read {
  ok,
  skipped,
  failed
};

// Reads the whole file into *text (g_free; a NUL behind it), raw bytes: the
// channel has no encoding, so nothing is converted or checked.
Read read_file(const SettingsDocumentFile &file, gchar **text, gsize *length) {
  velmora::GErrorPtr error;
  GIOChannel *channel = g_io_channel_new_file(file.path, "r", error.out());
  if (channel == nullptr) {
    if (!file.required) return Read::skipped;
    PTZ_LOG_ERR("could not open file '%s': %s", file.path, error.message("(NULL)"));
    return Read::failed;
  }
  g_io_channel_set_encoding(channel, nullptr, nullptr);
  gchar *data = nullptr;
  gsize size = 0;
  GIOStatus status = g_io_channel_read_to_end(channel, &data, &size, error.out());
  g_io_channel_unref(channel);
  if (status != G_IO_STATUS_NORMAL) {
    PTZ_LOG_ERR("failed reading file '%s': %s", file.path, error.message("(NULL)"));
    g_free(data);
    return Read::failed;
  }
  *text = data != nullptr ? data : g_strdup("");
  *length = data != nullptr ? size : 0;
  return Read::ok;
}

// Appends one file's text up to its first NUL byte, and a newline; with
// `latin1`, a text that is not UTF-8 as a whole is converted from ISO-8859-1
// first. False (logged) when the conversion fails.
bool append_text(GString *document, const gchar *path, const gchar *text, gsize length, bool latin1) {
  if (!latin1 || g_utf8_validate(text, gssize(length), nullptr)) {
    g_string_append_len(document, text, gssize(strnlen(text, length)));
  } else {
    velmora::GErrorPtr error;
    velmora::GCharPtr converted(g_convert(text, gssize(length), "UTF-8", "ISO-8859-1", nullptr, nullptr, error.out()));
    if (!converted) {
      PTZ_LOG_ERR("could not convert file '%s' from ISO-8859-1: %s", path, error.message("(NULL)"));
      return false;
    }
    g_string_append(document, converted.get());
  }
  g_string_append_c(document, '\n');
  return true;
}

}  // namespace

SettingsDocument settings_load_document(const gchar *header, const std::vector<SettingsDocumentFile> &files,
                                        bool latin1_files, GKeyFile **store) {
  *store = nullptr;
  std::unique_ptr<GString, void (*)(GString *)> document(g_string_new(header),
                                                         [](GString *text) { g_string_free(text, TRUE); });
  for (const SettingsDocumentFile &file : files) {
    gchar *raw = nullptr;
    gsize length = 0;
    switch (read_file(file, &raw, &length)) {
      case Read::failed:
        return SettingsDocument::failed;
      case Read::skipped:
        continue;
      case Read::ok:
        break;
    }
    velmora::GCharPtr text(raw);
    if (!append_text(document.get(), file.path, text.get(), length, latin1_files)) return SettingsDocument::failed;
  }
  if (document->len == 0) return SettingsDocument::empty;
  *store = g_key_file_new();
  velmora::GErrorPtr error;
  if (!g_key_file_load_from_data(*store, document->str, document->len, G_KEY_FILE_NONE, error.out())) {
    PTZ_LOG_ERR("could not load settings: %s", error.message("(NULL)"));
    return SettingsDocument::failed;
  }
  return SettingsDocument::loaded;
}
