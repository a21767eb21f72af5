/* Structured configuration parser: reads configuration files made of nested
 * groups and key = value entries (grammar in docs/structured-config.md) and
 * delivers them as flat (group, key, value) records in file order.
 *
 * One file is open at a time, in process-wide state: the calls are not
 * thread-safe and their callers serialise them. */
#ifndef QENTA_H
#define QENTA_H

#ifdef __cplusplus
extern "C" {
#endif

/* One entry of the open file. The record and its strings belong to the
 * parser and stay valid until the next qenta_getcfg() or qenta_closecfg(). */
typedef struct qenta_record {
  const char *group; /* full group name, nested names joined with dots */
  const char *key;
  const char *value; /* NULL for a key written without a value */
} qenta_record;

/* Opens and parses `path`, closing any file still open. Returns non-zero on
 * success; 0 on failure with errno set: the open or read error, or EINVAL
 * when the file does not follow the grammar (the file, line and reason then
 * go to the system log). */
int qenta_opencfg(const char *path);

/* The next record of the open file, or NULL after the last one (or when no
 * file is open). */
const qenta_record *qenta_getcfg(void);

/* Closes the open file and releases its records. */
void qenta_closecfg(void);

#ifdef __cplusplus
}
#endif

#endif /* QENTA_H */
