// Utilities on a driver's capability words.
#include "common/ptz_log.h"
#include "ptz_enum_types.h"

namespace {

constexpr const char *kDashes = "------------------";

// Logs the value name of every set bit from bit 0 to bit 30 that has a row in
// the flags type. Bit 31 is never examined, so "ZoomMag" is never listed.
void list_bits(GType type, guint32 word) {
  auto *klass = static_cast<GFlagsClass *>(g_type_class_ref(type));
  for (guint bit = 0; bit < 31; bit++) {
    guint32 mask = 1u << bit;
    if ((word & mask) == 0) continue;
    GFlagsValue *value = g_flags_get_first_value(klass, mask);
    if (value != nullptr && value->value_name != nullptr) PTZ_LOG_INFO("%s", value->value_name);
  }
  g_type_class_unref(klass);
}

}  // namespace

void ptz_flag_types_list_all(const PTZDriverCapabilities *driver_cap) {
  if (driver_cap == nullptr) {
    PTZ_LOG_INFO("driver_cap == NULL");
    return;
  }
  PTZ_LOG_INFO("driver_cap->move:");
  PTZ_LOG_INFO("%s", kDashes);
  list_bits(ptz_driver_move_capabilities_get_type(), driver_cap->move);
  PTZ_LOG_INFO("%s", kDashes);
  PTZ_LOG_INFO("driver_cap->extra:");
  PTZ_LOG_INFO("%s", kDashes);
  list_bits(ptz_driver_extra_capabilities_get_type(), driver_cap->extra);
  PTZ_LOG_INFO("%s", kDashes);
}

gboolean ptz_flags_utils_ptz_usable(PTZDriverCapabilities *driver_cap) {
  if (driver_cap == nullptr) return FALSE;
  if (driver_cap->move != 0) return TRUE;
  driver_cap->extra &= ~static_cast<guint32>(PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_TYPE);
  return driver_cap->extra != 0 ? TRUE : FALSE;
}
