// The loaders with plain path arrays, for callers that cannot build
// PTZSettingsFile lists (language bindings).
#include <vector>

#include "ptz_settings.h"

namespace {

using Loader = gboolean (*)(const PTZSettingsFile *, const PTZSettingsFile *);

gboolean load(Loader loader, const gchar *const *paths, gboolean required) {
  std::vector<PTZSettingsFile> files;
  for (gsize i = 0; paths != nullptr && paths[i] != nullptr; i++) files.push_back({paths[i], required});
  files.push_back({nullptr, FALSE});
  return loader(files.data(), nullptr);
}

}  // namespace

gboolean ptz_settings_load_config_strv(const gchar *const *paths, gboolean required) {
  return load(ptz_settings_load_config, paths, required);
}

gboolean ptz_settings_load_config_gkf_strv(const gchar *const *paths, gboolean required) {
  return load(ptz_settings_load_config_gkf, paths, required);
}
