/* Serial port index mapping: translations between the framework's
 * communication-port index, the port manager's index and the serial port's
 * index, and from a port type to a communication port, read from the device's
 * mapping files. Safe to call from any thread. */
#ifndef PTZ_PORT_INDEX_H
#define PTZ_PORT_INDEX_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/* Each index translation gives the mapped index, `index` itself when its
 * mapping group is marked "NoManagers", or -1 when there is no mapping. */
PTZ_API gint ptz_port_index_comport2portmanager (gint index);
PTZ_API gint ptz_port_index_portmanager2comport (gint index);
PTZ_API gint ptz_port_index_comport2serialport (gint index);
PTZ_API gint ptz_port_index_serialport2comport (gint index);

/* The communication port of a port type; -1 when there is no mapping or the
 * group is marked "NoManagers". */
PTZ_API gint ptz_port_index_porttype2comport (const gchar *port_type);

G_END_DECLS

#endif /* PTZ_PORT_INDEX_H */
