// Reading status-cache values into a dictionary, for callers that cannot
// hand the library pointers to variables of the right size (bindings).
#include <cstring>
#include <vector>

#include "common/ptz_log.h"
#include "ptz_status_cache.h"

namespace {

// Room for a value of any of the library's types.
union Storage {
  gint32 integer;
  gfloat real;
  guint32 timeval[2];
  gint64 timespec[2];
};

GVariant *to_variant(const Storage &value, PTZStatusCacheValueType type) {
  switch (type) {
    case PTZ_STATUS_CACHE_VALUE_FLOAT:
      return g_variant_new_double(value.real);
    case PTZ_STATUS_CACHE_VALUE_TIMEVAL:
      return g_variant_new("(uu)", value.timeval[0], value.timeval[1]);
    case PTZ_STATUS_CACHE_VALUE_TIMESPEC:
      return g_variant_new("(xx)", value.timespec[0], value.timespec[1]);
    default:
      return g_variant_new_int32(value.integer);
  }
}

}  // namespace

GVariant *ptz_status_cache_fetch_values(PTZSCGroup group, guint32 index, const guint32 *params, gsize n_params) {
  if (params == nullptr || n_params == 0 || n_params > G_MAXUINT32) {
    PTZ_LOG_ERR("Could not fetch status cache values. No parameters given!");
    return nullptr;
  }
  PTZStatusCacheGroup *description = ptz_status_cache_setup_group(group, index, guint32(n_params));
  if (description == nullptr) return nullptr;  // logged
  std::vector<Storage> values(n_params);
  std::vector<PTZStatusCacheValueType> types(n_params);
  std::vector<const gchar *> keys(n_params);
  bool added = true;
  for (gsize i = 0; i < n_params && added; i++) {
    std::memset(&values[i], 0, sizeof values[i]);
    added = ptz_status_cache_add_param(description, params[i], &values[i]) &&
            ptz_status_cache_param_info(group, params[i], &keys[i], &types[i], nullptr);
  }
  GVariant *result = nullptr;
  if (added && ptz_status_cache_fetch_group(description)) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    for (gsize i = 0; i < n_params; i++)
      g_variant_builder_add(&builder, "{sv}", keys[i], to_variant(values[i], types[i]));
    result = g_variant_ref_sink(g_variant_builder_end(&builder));
  } else if (!added && group == PTZ_SC_GROUP_PRESET) {
    PTZ_LOG_ERR("Could not fetch status cache values. Group %s holds no values!", description->name);
  }
  ptz_status_cache_free_group(description);
  return result;
}
