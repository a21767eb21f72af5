// Versioned key files of the framework's daemons: opening with a version
// check, and durable storing through the device's file writer.
#include "ptz_keyfile.h"

#include <glib/gstdio.h>

#include "common/ptz_raii.h"
#include "morvel.h"

namespace {

constexpr const gchar *kHeaderGroup = "Header";
constexpr const gchar *kMajorKey = "VersionMajor";
constexpr const gchar *kMinorKey = "VersionMinor";

}  // namespace

extern "C" GKeyFile *ptz_config_init_key_file(const gchar *path, gint major, gint minor, gboolean *compatible,
                                              GError **error) {
  velmora::GKeyFilePtr key_file(g_key_file_new());

  if (!g_file_test(path, G_FILE_TEST_EXISTS)) {
    // A new file starts with the caller's version; it is written only when
    // the caller stores it.
    g_key_file_set_integer(key_file.get(), kHeaderGroup, kMajorKey, major);
    g_key_file_set_integer(key_file.get(), kHeaderGroup, kMinorKey, minor);
    if (compatible != nullptr) *compatible = TRUE;
    return key_file.release();
  }

  if (!g_key_file_load_from_file(key_file.get(), path, G_KEY_FILE_NONE, error)) return nullptr;

  velmora::GErrorPtr local;
  gint file_major = g_key_file_get_integer(key_file.get(), kHeaderGroup, kMajorKey, local.out());
  if (!local) {
    gint file_minor = g_key_file_get_integer(key_file.get(), kHeaderGroup, kMinorKey, local.out());
    if (!local) {
      if (compatible != nullptr) *compatible = file_major == major && file_minor >= minor;
      return key_file.release();
    }
  }
  g_propagate_error(error, local.release());
  return nullptr;
}

extern "C" gboolean ptz_config_store_key_file(const gchar *path, GKeyFile *key_file, GError **error) {
  gsize length = 0;
  velmora::GCharPtr text(g_key_file_to_data(key_file, &length, error));
  if (!text) return FALSE;

  // A failure to create the directories shows in the write that follows.
  velmora::GCharPtr dir(g_path_get_dirname(path));
  if (!g_file_test(dir.get(), G_FILE_TEST_EXISTS)) g_mkdir_with_parents(dir.get(), 0775);

  if (length == 0) {
    // Nothing left to keep: the file goes away instead of staying empty.
    g_unlink(path);
    return TRUE;
  }
  return morvel_set_file_contents_with_sync(path, text.get(), static_cast<gssize>(length), error);
}
