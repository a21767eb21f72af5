/* Test seams of the structured configuration parser. Not part of the device
 * library's interface: only the bundled stand-in provides them. */
#ifndef QENTA_TESTING_H
#define QENTA_TESTING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Receives every diagnostic line (without the syslog priority) in addition
 * to the system log. NULL removes the hook. Not thread-safe. */
typedef void (*QentaTestingLogHook)(const char *message, void *user_data);
void qenta_testing_set_log_hook(QentaTestingLogHook hook, void *user_data);

/* Like qenta_opencfg(), on `size` bytes of memory instead of a file; `name`
 * stands for the file name in messages. For grammar tests and fuzzing. */
int qenta_testing_open_buffer(const char *name, const char *data, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* QENTA_TESTING_H */
