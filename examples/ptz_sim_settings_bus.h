/* Publishes the driver's run-time settings (a PTZDynamicalProperties
 * object) on the system bus as configuration 0 of a
 * "com.brantel.Configuration.Legacy" object at /com/brantel/PTZ/<service>,
 * under the bus name com.brantel.PTZ.<service>. Reads and writes arrive as
 * method calls; every change of a setting, whoever makes it, is announced
 * with PropertiesChanged and a configuration event. */
#ifndef PTZ_SIM_SETTINGS_BUS_H
#define PTZ_SIM_SETTINGS_BUS_H

#include <velmora_common.h>

G_BEGIN_DECLS

typedef struct _PtzSimSettingsBus PtzSimSettingsBus;

/* Judges a value written over the bus for the setting `name`: NULL accepts
 * it, otherwise a new message telling the caller why it was refused. */
typedef gchar *(*PtzSimSettingCheck) (const gchar *name, const GValue *value, gpointer data);

/* `names` (NULL-terminated, copied) lists the settings to publish; each
 * must already hold a boolean, int or string value. NULL when the object
 * cannot be exported or declared (for example without a system bus). */
PtzSimSettingsBus *ptz_sim_settings_bus_new (PTZDynamicalProperties *settings,
                                             const gchar *const *names, const gchar *service,
                                             PtzSimSettingCheck check, gpointer check_data);
void ptz_sim_settings_bus_free (PtzSimSettingsBus *bus);

G_END_DECLS

#endif /* PTZ_SIM_SETTINGS_BUS_H */
