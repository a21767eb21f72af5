// Thin layer over the parameter-service client: path assembly, UTF-8 reads,
// typed reads, writes with a read-back check, indexed writes and sync.

#include "ptz_tamsel.h"

#include <tamsel.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "parameters/ptz_tamsel_private.h"

namespace {

using PathBuffer = char[PTZ_TAMSEL_PATH_MAX];

// Formats a path into `path`. Returns the formatted length, or -1 after
// logging when formatting fails or the path does not fit: a cut path would
// name a different parameter, so it is never used.
int assemble_path(PathBuffer &path, const gchar *path_format, va_list args) {
  path[0] = '\0';
  int n = vsnprintf(path, sizeof path, path_format, args);
  if (n < 0 || n >= int(sizeof path)) {
    PTZ_LOG_ERR("Failed to assemble path: %s from %s", path, path_format);
    return -1;
  }
  return n;
}

// Assembles the path into `path` and reads it. The typed reads give an empty
// path no further thought (min_length 1); the plain read passes it on.
gchar *read_formatted(PathBuffer &path, const gchar *path_format, va_list args, int min_length) {
  g_assert(path_format);
  if (assemble_path(path, path_format, args) < min_length) return nullptr;
  return velmora::tamsel_read(path);
}

// An optionally signed decimal integer that fits 32 bits, optionally
// surrounded by white space, and nothing else.
bool parse_int(const gchar *text, gint32 *out) {
  const gchar *p = text;
  while (g_ascii_isspace(*p)) p++;
  const gchar *number = p;
  if (*p == '+' || *p == '-') p++;
  if (!g_ascii_isdigit(*p)) return false;
  errno = 0;
  char *end = nullptr;
  long long v = strtoll(number, &end, 10);
  if (errno == ERANGE || v < G_MININT32 || v > G_MAXINT32) return false;
  for (p = end; g_ascii_isspace(*p); p++) {
  }
  if (*p != '\0') return false;
  *out = gint32(v);
  return true;
}

guint32 mode_from_switches(gboolean switch_a, gboolean switch_b, gboolean switch_c) {
  if (!switch_a) return 9;
  if (switch_b) return switch_c ? 10 : 12;
  return switch_c ? 11 : 9;
}

// Formats an indexed path and writes it; a path that does not fit its buffer
// (or that a NUL character would cut short) is not written.
gboolean write_indexed(const gchar *val, gboolean switch_ab, gboolean switch_c, gint32 opt_value, const char *format,
                       ...) G_GNUC_PRINTF(5, 6);
gboolean write_indexed(const gchar *val, gboolean switch_ab, gboolean switch_c, gint32 opt_value, const char *format,
                       ...) {
  PathBuffer path;
  va_list args;
  va_start(args, format);
  int n = vsnprintf(path, sizeof path, format, args);
  va_end(args);
  if (n < 0 || n >= int(sizeof path) || strlen(path) != size_t(n)) return FALSE;
  return ptz_tamsel_set(path, val, switch_ab, switch_ab, switch_c, opt_value) == 0;
}

// Whether a read's error code says only that the parameter has no value. A
// client library that does not tell its codes apart is taken to mean just
// that by every failed read.
bool no_such_parameter(gint err) {
#ifdef TAMSEL_ERR_NOT_FOUND
  return err == TAMSEL_ERR_NOT_FOUND;
#else
  return err != 0;
#endif
}

// The parameter's raw value, or NULL with the service's error code in *err.
gchar *read_raw(const gchar *path, gint *err) {
  TamselOptions options;
  cli_resetOptions(&options);
  *err = 0;
  gchar *raw = cli_getCustomParam(path, &options, err);
  // With an error the returned pointer carries no value and is not touched.
  if (*err == 0 && raw == nullptr) *err = -1;
  return *err == 0 ? raw : nullptr;
}

// A raw value as UTF-8 (taking it over), or NULL when it cannot be converted.
gchar *to_utf8(gchar *raw) {
  if (g_utf8_validate(raw, -1, nullptr)) return raw;
  velmora::GErrorPtr error;
  gchar *converted = g_convert(raw, -1, "UTF-8", "ISO-8859-1", nullptr, nullptr, error.out());
  if (converted == nullptr) PTZ_LOG_ERR("Could not convert value '%s' from ISO-8859-1: %s", raw, error->message);
  g_free(raw);
  return converted;
}

}  // namespace

namespace velmora {

gchar *tamsel_read(const gchar *path) {
  gint err = 0;
  gchar *raw = read_raw(path, &err);
  if (raw != nullptr) return to_utf8(raw);
  // A store that cannot be read is not a parameter without a value.
  if (!no_such_parameter(err)) PTZ_LOG_ERR("Could not get parameter %s, err = %d", path, err);
  return nullptr;
}

gint tamsel_write(gint32 opt_value, guint32 mode, const gchar *val, const gchar *path) {
  g_assert(val);
  TamselOptions options;
  cli_resetOptions(&options);
  options.mode = mode;
  if (opt_value > 0) options.opt_value = opt_value;
  gint err = 0;
  cli_setCustomParam(path, val, &options, &err);
  if (err == 0) return 0;
  // The service may report a failure after all of the write took effect:
  // only the written value read back proves that. A parameter that cannot be
  // read back was not shown to be written, so the failure stands (and is
  // reported once, below).
  gint ignored = 0;
  gchar *raw = read_raw(path, &ignored);
  GCharPtr back(raw != nullptr ? to_utf8(raw) : nullptr);
  if (back && strcmp(back.get(), val) == 0) return 0;
  PTZ_LOG_WARNING("Could not set parameter %s to \"%s\", err = %d", path, val, err);
  return err;
}

}  // namespace velmora

extern "C" {

gchar *ptz_tamsel_get_vp(const gchar *path_format, ...) {
  PathBuffer path;
  va_list args;
  va_start(args, path_format);
  gchar *value = read_formatted(path, path_format, args, 0);
  va_end(args);
  return value;
}

gchar *ptz_tamsel_get(const gchar *path_format, ...) {
  PathBuffer path;
  va_list args;
  va_start(args, path_format);
  gchar *value = read_formatted(path, path_format, args, 0);
  va_end(args);
  return value;
}

gboolean ptz_tamsel_get_int(gint32 *valp, const gchar *path_format, ...) {
  g_assert(valp);
  PathBuffer path;
  va_list args;
  va_start(args, path_format);
  velmora::GCharPtr value(read_formatted(path, path_format, args, 1));
  va_end(args);
  if (!value) return FALSE;
  if (!parse_int(value.get(), valp)) {
    PTZ_LOG_ERR("Value %s of %s invalid", value.get(), path);
    return FALSE;
  }
  return TRUE;
}

gboolean ptz_tamsel_get_bool(gboolean *valp, const gchar *path_format, ...) {
  g_assert(valp);
  PathBuffer path;
  va_list args;
  va_start(args, path_format);
  velmora::GCharPtr value(read_formatted(path, path_format, args, 1));
  va_end(args);
  if (!value) return FALSE;
  *valp = strcmp(value.get(), "true") == 0 || strcmp(value.get(), "yes") == 0;
  return TRUE;
}

gint ptz_tamsel_set_vp(gint32 opt_value, guint32 mode, const gchar *val, const gchar *path_format, ...) {
  g_assert(path_format);
  g_assert(val);
  va_list args;
  va_start(args, path_format);
  velmora::GCharPtr path(g_strdup_vprintf(path_format, args));
  va_end(args);
  return velmora::tamsel_write(opt_value, mode, val, path.get());
}

gint ptz_tamsel_set(const gchar *path, const gchar *val, gboolean switch_a, gboolean switch_b, gboolean switch_c,
                    gint32 opt_value) {
  g_assert(path);
  return velmora::tamsel_write(opt_value, mode_from_switches(switch_a, switch_b, switch_c), val, path);
}

gboolean ptz_tamsel_index_set(const gchar *grp_name, const gchar *par_prefix, guint32 index, const gchar *par_suffix,
                              const gchar *val, gboolean switch_ab, gboolean switch_c, gint32 opt_value) {
  g_assert(grp_name != NULL);
  g_assert(par_prefix != NULL);
  g_assert(par_suffix != NULL);
  g_assert(val != NULL);
  return write_indexed(val, switch_ab, switch_c, opt_value, "%s.%s%u.%s", grp_name, par_prefix, index, par_suffix);
}

gboolean ptz_tamsel_dyn_index_set(const gchar *grp_name, guint32 index, const gchar *par_name, const gchar *val,
                                  gboolean switch_ab, gboolean switch_c, gint32 opt_value) {
  g_assert(grp_name != NULL);
  g_assert(par_name != NULL);
  g_assert(val != NULL);
  return write_indexed(val, switch_ab, switch_c, opt_value, "%s.%s.%c%u.%s", "root.PTZ", grp_name, grp_name[0], index,
                       par_name);
}

gboolean ptz_tamsel_sync(guint32 mode) {
  TamselOptions options;
  cli_resetOptions(&options);
  options.mode = mode;
  gint err = 0;
  cli_sync(&options, &err);
  return err == 0;
}

}  // extern "C"
