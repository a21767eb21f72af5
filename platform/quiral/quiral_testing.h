/* Test-only interface of the bundled configuration-event library: the
 * broadcast it puts on the system bus, and failure injection. Not part of
 * the device's library; tests using it are built only with the bundled
 * stand-ins. */
#ifndef QUIRAL_TESTING_H
#define QUIRAL_TESTING_H

#include "quiral.h"

G_BEGIN_DECLS

/* Every successful declare, undeclare and send is broadcast on the system
 * bus from QUIRAL_TESTING_PATH with interface QUIRAL_TESTING_INTERFACE:
 *   "Declared"   (event name, service, object path, interface)   "(ssss)"
 *   "Undeclared" (event name, service, object path, interface)   "(ssss)"
 *   "Event"      (event name, service, object path, interface,
 *                 event path, change type, change description)  "(sssssis)" */
#define QUIRAL_TESTING_PATH "/com/brantel/ConfigurationEvent"
#define QUIRAL_TESTING_INTERFACE "com.brantel.ConfigurationEvent"

typedef enum {
  QUIRAL_TESTING_NEW,
  QUIRAL_TESTING_DECLARE,
  QUIRAL_TESTING_UNDECLARE,
  QUIRAL_TESTING_SEND,
  QUIRAL_TESTING_N_CALLS
} QuiralTestingCall;

/* Makes every later call of `call` in this process fail (NULL for new,
 * FALSE otherwise), with an error unless `with_error` is FALSE. */
void quiral_testing_fail(QuiralTestingCall call, gboolean with_error);
/* Ends all injected failures. */
void quiral_testing_reset(void);
/* The handle's current change description (owned by the handle). */
const gchar *quiral_testing_change_string(ConfigurationEvent *event);

G_END_DECLS

#endif /* QUIRAL_TESTING_H */
