/* Serial port index mapping: translations between the framework's
 * communication-port index, the port manager's index and the serial port's
 * index, and from a port type to a communication port, read from the device's
 * mapping files "/usr/share/portmanager/port_mapping.conf" (the groups
 * Comport2Portmanager, Portmanager2Comport and PortType2Comport) and
 * "/usr/share/serial/port_mapping.conf" (Comport2Serialport and
 * Serialport2Comport). A group holding the key "NoManagers" is not
 * translated. The file read last stays cached until a query needs a group
 * of the other file. Safe to call from any thread. */
#ifndef PTZ_PORT_INDEX_H
#define PTZ_PORT_INDEX_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * ptz_port_index_comport2portmanager:
 * @index: a communication-port index
 *
 * Translates with the group "Comport2Portmanager" of
 * "/usr/share/portmanager/port_mapping.conf", whose keys are indexes in
 * decimal and whose values are the translated indexes. A file that cannot
 * be loaded logs "ptz_port_index_load_mapping_file: Failed to load mappings
 * file <path>: <error>"; other misses are silent. Any thread may call it.
 *
 * Returns: the port manager's index; @index itself when the group holds
 *   the key "NoManagers"; -1 when there is no mapping
 */
PTZ_API gint ptz_port_index_comport2portmanager (gint index);
/**
 * ptz_port_index_portmanager2comport:
 * @index: a port manager's index
 *
 * Translates with the group "Portmanager2Comport"; see
 * ptz_port_index_comport2portmanager(). Any thread may call it.
 *
 * Returns: the communication-port index; @index itself when the group holds
 *   "NoManagers"; -1 when there is no mapping
 */
PTZ_API gint ptz_port_index_portmanager2comport (gint index);
/**
 * ptz_port_index_comport2serialport:
 * @index: a communication-port index
 *
 * Translates with the group "Comport2Serialport" of
 * "/usr/share/serial/port_mapping.conf"; see
 * ptz_port_index_comport2portmanager(). Any thread may call it.
 *
 * Returns: the serial port's index; @index itself when the group holds
 *   "NoManagers"; -1 when there is no mapping
 */
PTZ_API gint ptz_port_index_comport2serialport (gint index);
/**
 * ptz_port_index_serialport2comport:
 * @index: a serial port's index
 *
 * Translates with the group "Serialport2Comport"; see
 * ptz_port_index_comport2serialport(). Any thread may call it.
 *
 * Returns: the communication-port index; @index itself when the group holds
 *   "NoManagers"; -1 when there is no mapping
 */
PTZ_API gint ptz_port_index_serialport2comport (gint index);

/**
 * ptz_port_index_porttype2comport:
 * @port_type: (nullable): a port type's registered name, such as "serial"
 *   (see #PTZPortType)
 *
 * Looks @port_type up in the group "PortType2Comport" of
 * "/usr/share/portmanager/port_mapping.conf". Any thread may call it.
 *
 * Returns: the communication port of the type; -1 when there is no mapping,
 *   when the group holds "NoManagers", and for %NULL
 */
PTZ_API gint ptz_port_index_porttype2comport (const gchar *port_type);

G_END_DECLS

#endif /* PTZ_PORT_INDEX_H */
