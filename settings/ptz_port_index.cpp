// Serial port index mapping. The two mapping files are read on demand; the
// file read last stays cached until a query needs a group it does not hold.
#include "ptz_port_index.h"

#include <string.h>

#include "common/ptz_log.h"
#include "common/ptz_mutex.h"
#include "common/ptz_raii.h"

namespace {

constexpr const gchar *kPortmanagerFile = "/usr/share/portmanager/port_mapping.conf";
constexpr const gchar *kSerialFile = "/usr/share/serial/port_mapping.conf";
constexpr const gchar *kUntranslatedKey = "NoManagers";

// The name a failed load is logged under.
constexpr char kLoadMappingFile[] = "ptz_port_index_load_mapping_file";

constexpr gint kNoMapping = -1;
constexpr gint kUntranslated = -2;

// The mapping cache is process-wide; its lock makes the lookups safe to call
// from several threads (a load replaces the cached key file).
velmora::Mutex cache_lock;
GKeyFile *cache VELMORA_GUARDED_BY(cache_lock) = nullptr;

const gchar *mapping_file_for(const gchar *group) {
  if (strstr(group, "Portmanager") != nullptr || strstr(group, "PortType") != nullptr) return kPortmanagerFile;
  return kSerialFile;
}

// The integer mapped to `key` in `group`, kUntranslated when the group is
// marked "NoManagers", kNoMapping when there is no mapping.
gint ptz_port_index_load_mapping_file(const gchar *group, const gchar *key) {
  velmora::MutexLock lock(cache_lock);
  if (cache == nullptr || !g_key_file_has_group(cache, group)) {
    const gchar *path = mapping_file_for(group);
    if (cache != nullptr) g_key_file_free(cache);
    cache = g_key_file_new();
    velmora::GErrorPtr error;
    if (!g_key_file_load_from_file(cache, path, G_KEY_FILE_NONE, error.out())) {
      PTZ_LOG_ERR("%s: Failed to load mappings file %s: %s", kLoadMappingFile, path, error->message);
      g_key_file_free(cache);
      cache = nullptr;
      return kNoMapping;
    }
  }
  if (g_key_file_has_key(cache, group, kUntranslatedKey, nullptr)) return kUntranslated;
  velmora::GErrorPtr error;
  gint value = g_key_file_get_integer(cache, group, key, error.out());
  return error ? kNoMapping : value;
}

gint translate_index(const gchar *group, gint index) {
  gchar key[16];
  g_snprintf(key, sizeof key, "%d", index);
  gint result = ptz_port_index_load_mapping_file(group, key);
  return result == kUntranslated ? index : result;
}

}  // namespace

extern "C" gint ptz_port_index_comport2portmanager(gint index) { return translate_index("Comport2Portmanager", index); }

extern "C" gint ptz_port_index_portmanager2comport(gint index) { return translate_index("Portmanager2Comport", index); }

extern "C" gint ptz_port_index_comport2serialport(gint index) { return translate_index("Comport2Serialport", index); }

extern "C" gint ptz_port_index_serialport2comport(gint index) { return translate_index("Serialport2Comport", index); }

extern "C" gint ptz_port_index_porttype2comport(const gchar *port_type) {
  // A missing name has no mapping (the key-file reader would refuse it).
  if (port_type == nullptr) return kNoMapping;
  gint result = ptz_port_index_load_mapping_file("PortType2Comport", port_type);
  return result == kUntranslated ? kNoMapping : result;
}
