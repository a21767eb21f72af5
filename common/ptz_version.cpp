// The version of the library that a program runs with.
#include "ptz_version.h"

guint ptz_get_major_version(void) { return PTZ_MAJOR_VERSION; }

guint ptz_get_minor_version(void) { return PTZ_MINOR_VERSION; }

guint ptz_get_micro_version(void) { return PTZ_MICRO_VERSION; }

const gchar *ptz_check_version(guint required_major, guint required_minor, guint required_micro) {
  if (required_major > PTZ_MAJOR_VERSION) return "libvelmora_common version too old (major mismatch)";
  if (required_major < PTZ_MAJOR_VERSION) return "libvelmora_common version too new (major mismatch)";
  if (required_minor > PTZ_MINOR_VERSION) return "libvelmora_common version too old (minor mismatch)";
  if (required_minor == PTZ_MINOR_VERSION && required_micro > PTZ_MICRO_VERSION)
    return "libvelmora_common version too old (micro mismatch)";
  return nullptr;
}
