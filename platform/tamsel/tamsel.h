/* Parameter-service client.
 *
 * The parameter service keeps the device's system parameters: dotted paths
 * ("root.PTZ.Driver.D0.Name") mapped to text values, shared by every process
 * of the machine and kept across restarts. Every request takes an options
 * record that cli_resetOptions() has filled with the defaults first; the
 * caller may then choose the write `mode` and `opt_value`. Each call reports
 * its outcome through `err`: TAMSEL_OK (0) on success, one of the
 * TAMSEL_ERR_* codes otherwise. Callable from any thread. */
#ifndef TAMSEL_H
#define TAMSEL_H

#include <glib.h>

G_BEGIN_DECLS

/* The options record: 56 bytes, `mode` at byte 0, `opt_value` at byte 32. */
typedef struct _TamselOptions {
  guint32 mode;  /* write or synchronisation mode, see below */
  guint32 stamp; /* set by cli_resetOptions; a record without it is refused */
  guint8 reserved1[24];
  gint32 opt_value; /* recorded with each write, not interpreted */
  guint8 reserved2[20];
} TamselOptions;

G_STATIC_ASSERT(sizeof(TamselOptions) == 56);
G_STATIC_ASSERT(G_STRUCT_OFFSET(TamselOptions, mode) == 0);
G_STATIC_ASSERT(G_STRUCT_OFFSET(TamselOptions, opt_value) == 32);

/* Modes accepted by cli_setCustomParam() and cli_sync(). */
#define TAMSEL_MODE_MIN 9
#define TAMSEL_MODE_MAX 12
/* What cli_resetOptions() stores: no mode chosen yet, and this opt_value. */
#define TAMSEL_DEFAULT_MODE 0
#define TAMSEL_DEFAULT_OPT_VALUE 30

/* Error codes. */
#define TAMSEL_OK 0
#define TAMSEL_ERR_ARGUMENT 1  /* a NULL argument or an empty path */
#define TAMSEL_ERR_NOT_FOUND 2 /* no parameter with that path */
#define TAMSEL_ERR_OPTIONS 3   /* the options record was not reset */
#define TAMSEL_ERR_MODE 4      /* a mode outside TAMSEL_MODE_MIN..TAMSEL_MODE_MAX */
#define TAMSEL_ERR_STORE 5     /* the store could not be read or written */
#define TAMSEL_ERR_REFUSED 6   /* the service refused the write */

/* Fills `options` with the defaults. */
void cli_resetOptions(TamselOptions *options);

/* Returns the parameter's value (free it with g_free) and sets *err to
 * TAMSEL_OK, or returns NULL with a non-zero *err. The value comes back byte
 * for byte as it was written. */
gchar *cli_getCustomParam(const gchar *path, TamselOptions *options, gint *err);

/* Writes the parameter (creating it when new) with options->mode, which must
 * lie in TAMSEL_MODE_MIN..TAMSEL_MODE_MAX. Returns *err. */
gint cli_setCustomParam(const gchar *path, const gchar *value, TamselOptions *options, gint *err);

/* Flushes the store to storage; options->mode as for writes. Returns *err. */
gint cli_sync(TamselOptions *options, gint *err);

G_END_DECLS

#endif /* TAMSEL_H */
