/* The driver's settings on the system bus. */
#include "ptz_sim_settings_bus.h"

#define CONFIGURATION_INDEX 0
/* Change type of the configuration events: an entry was modified. */
#define CHANGE_MODIFIED 1

struct _PtzSimSettingsBus {
  PTZDynamicalProperties *settings; /* referenced */
  gchar **names;
  ptzlegacyconfigdynamicConfigurationLegacy *skeleton;
  PTZLegacyConfigHandler *handler;
  PTZGDBusServer *bus_names;
  PtzSimSettingCheck check;
  gpointer check_data;
  gulong notify_id;
};

static gboolean
is_published (PtzSimSettingsBus *bus, const gchar *name)
{
  return name != NULL && g_strv_contains ((const gchar *const *) bus->names, name);
}

/* The setting as a D-Bus value (floating), or NULL for another type. */
static GVariant *
to_variant (const GValue *value)
{
  if (value == NULL)
    return NULL;
  if (G_VALUE_HOLDS_INT (value))
    return g_variant_new_int32 (g_value_get_int (value));
  if (G_VALUE_HOLDS_BOOLEAN (value))
    return g_variant_new_boolean (g_value_get_boolean (value));
  if (G_VALUE_HOLDS_STRING (value))
    return g_variant_new_string (g_value_get_string (value) ? g_value_get_string (value) : "");
  return NULL;
}

/* A new heap GValue of `type` from a D-Bus value of the matching type. */
static GValue *
from_variant (GVariant *variant, GType type)
{
  GValue *value;
  if (type == G_TYPE_INT && g_variant_is_of_type (variant, G_VARIANT_TYPE_INT32)) {
    value = g_new0 (GValue, 1);
    g_value_init (value, G_TYPE_INT);
    g_value_set_int (value, g_variant_get_int32 (variant));
  } else if (type == G_TYPE_BOOLEAN && g_variant_is_of_type (variant, G_VARIANT_TYPE_BOOLEAN)) {
    value = g_new0 (GValue, 1);
    g_value_init (value, G_TYPE_BOOLEAN);
    g_value_set_boolean (value, g_variant_get_boolean (variant));
  } else if (type == G_TYPE_STRING && g_variant_is_of_type (variant, G_VARIANT_TYPE_STRING)) {
    value = g_new0 (GValue, 1);
    g_value_init (value, G_TYPE_STRING);
    g_value_set_string (value, g_variant_get_string (variant, NULL));
  } else {
    return NULL;
  }
  return value;
}

static void
free_value (GValue *value)
{
  g_value_unset (value);
  g_free (value);
}

static gboolean
check_index (GDBusMethodInvocation *invocation, gint index)
{
  if (index == CONFIGURATION_INDEX)
    return TRUE;
  g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                         "No configuration %d", index);
  return FALSE;
}

static GVariant *
entries (PtzSimSettingsBus *bus)
{
  GVariantBuilder builder;
  gchar **name;
  g_variant_builder_init (&builder, G_VARIANT_TYPE ("a{sv}"));
  for (name = bus->names; *name != NULL; name++) {
    GVariant *value = to_variant (ptz_dynamical_properties_get (bus->settings, *name));
    if (value != NULL)
      g_variant_builder_add (&builder, "{sv}", *name, value);
  }
  return g_variant_builder_end (&builder);
}

static gboolean
on_get_configurations (ptzlegacyconfigdynamicConfigurationLegacy *object,
                       GDBusMethodInvocation *invocation, gpointer data)
{
  PtzSimSettingsBus *bus = data;
  GVariantBuilder builder;
  g_variant_builder_init (&builder, G_VARIANT_TYPE ("a{ia{sv}}"));
  g_variant_builder_add (&builder, "{i@a{sv}}", CONFIGURATION_INDEX, entries (bus));
  ptz_legacy_config_dynamic_configuration_legacy_complete_get_configurations (
      object, invocation, g_variant_builder_end (&builder));
  return TRUE;
}

static gboolean
on_get_entry (ptzlegacyconfigdynamicConfigurationLegacy *object, GDBusMethodInvocation *invocation,
              gint index, const gchar *name, gpointer data)
{
  PtzSimSettingsBus *bus = data;
  GVariant *value;
  if (!check_index (invocation, index))
    return TRUE;
  value = is_published (bus, name) ? to_variant (ptz_dynamical_properties_get (bus->settings, name))
                                   : NULL;
  if (value == NULL) {
    g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                           "No setting named '%s'", name);
    return TRUE;
  }
  ptz_legacy_config_dynamic_configuration_legacy_complete_get_configuration_entry (
      object, invocation, g_variant_new_variant (value));
  return TRUE;
}

static gboolean
on_set_entry (ptzlegacyconfigdynamicConfigurationLegacy *object, GDBusMethodInvocation *invocation,
              gint index, const gchar *name, GVariant *boxed, gpointer data)
{
  PtzSimSettingsBus *bus = data;
  const GValue *current;
  GVariant *variant;
  GValue *value;
  gchar *refusal;

  if (!check_index (invocation, index))
    return TRUE;
  current = is_published (bus, name) ? ptz_dynamical_properties_get (bus->settings, name) : NULL;
  if (current == NULL) {
    g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                           "No setting named '%s'", name);
    return TRUE;
  }
  /* The binding hands a "v" argument over still boxed. */
  variant = g_variant_is_of_type (boxed, G_VARIANT_TYPE_VARIANT) ? g_variant_get_variant (boxed)
                                                                 : g_variant_ref (boxed);
  value = from_variant (variant, G_VALUE_TYPE (current));
  if (value == NULL) {
    g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                           "Setting '%s' takes a %s, not a value of type %s", name,
                                           g_type_name (G_VALUE_TYPE (current)),
                                           g_variant_get_type_string (variant));
    g_variant_unref (variant);
    return TRUE;
  }
  g_variant_unref (variant);
  refusal = bus->check != NULL ? bus->check (name, value, bus->check_data) : NULL;
  if (refusal != NULL) {
    g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                           "%s", refusal);
    g_free (refusal);
    free_value (value);
    return TRUE;
  }
  /* Announced (and applied by the driver) from the change notification. */
  ptz_dynamical_properties_set (bus->settings, name, value);
  ptz_legacy_config_dynamic_configuration_legacy_complete_set_configuration_entry (object,
                                                                                   invocation);
  return TRUE;
}

static gboolean
on_sync (ptzlegacyconfigdynamicConfigurationLegacy *object, GDBusMethodInvocation *invocation,
         gpointer data)
{
  (void) data;
  ptz_legacy_config_dynamic_configuration_legacy_complete_sync (object, invocation);
  return TRUE;
}

/* The driver has exactly one configuration: none can be added or removed. */
static gboolean
on_add_or_remove (ptzlegacyconfigdynamicConfigurationLegacy *object,
                  GDBusMethodInvocation *invocation, gint index, gpointer data)
{
  (void) object;
  (void) index;
  (void) data;
  g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_NOT_SUPPORTED,
                                         "The driver has one fixed configuration");
  return TRUE;
}

static void
on_notify_change (PTZDynamicalProperties *settings, const gchar *name, gpointer data)
{
  PtzSimSettingsBus *bus = data;
  const GValue *value = ptz_dynamical_properties_get (settings, name);
  GHashTable *pairs;
  gchar *text;

  if (!is_published (bus, name) || value == NULL)
    return;
  ptz_legacy_config_prop_changed (bus->handler, name, value);
  text = ptz_gvalue_utils_string_from_gvalue (value);
  pairs = g_hash_table_new (g_str_hash, g_str_equal);
  g_hash_table_insert (pairs, (gpointer) name, text);
  ptz_legacy_config_send_event (bus->handler, CHANGE_MODIFIED, CONFIGURATION_INDEX, pairs);
  g_hash_table_unref (pairs);
  g_free (text);
}

PtzSimSettingsBus *
ptz_sim_settings_bus_new (PTZDynamicalProperties *settings, const gchar *const *names,
                          const gchar *service, PtzSimSettingCheck check, gpointer check_data)
{
  PtzSimSettingsBus *bus = g_new0 (PtzSimSettingsBus, 1);
  bus->settings = g_object_ref (settings);
  bus->names = g_strdupv ((gchar **) names);
  bus->check = check;
  bus->check_data = check_data;
  bus->skeleton = ptz_legacy_config_dynamic_configuration_legacy_skeleton_new ();
  g_signal_connect (bus->skeleton, "handle-get-configurations", G_CALLBACK (on_get_configurations),
                    bus);
  g_signal_connect (bus->skeleton, "handle-get-configuration-entry", G_CALLBACK (on_get_entry),
                    bus);
  g_signal_connect (bus->skeleton, "handle-set-configuration-entry", G_CALLBACK (on_set_entry),
                    bus);
  g_signal_connect (bus->skeleton, "handle-sync", G_CALLBACK (on_sync), bus);
  g_signal_connect (bus->skeleton, "handle-add-configuration", G_CALLBACK (on_add_or_remove), bus);
  g_signal_connect (bus->skeleton, "handle-remove-configuration", G_CALLBACK (on_add_or_remove),
                    bus);

  bus->handler = ptz_legacy_config_setup (G_DBUS_INTERFACE_SKELETON (bus->skeleton), "ptzsim",
                                          service, service);
  bus->bus_names = g_object_new (PTZ_TYPE_G_DBUS_SERVER, NULL);
  if (bus->handler == NULL || !ptz_g_dbus_server_dbus_request_name (bus->bus_names, service)) {
    ptz_sim_settings_bus_free (bus);
    return NULL;
  }
  bus->notify_id = g_signal_connect (settings, "notify_change", G_CALLBACK (on_notify_change), bus);
  return bus;
}

void
ptz_sim_settings_bus_free (PtzSimSettingsBus *bus)
{
  if (bus == NULL)
    return;
  if (bus->notify_id != 0)
    g_signal_handler_disconnect (bus->settings, bus->notify_id);
  ptz_legacy_config_cleanup (bus->handler);
  g_clear_object (&bus->bus_names);
  g_object_unref (bus->skeleton);
  g_object_unref (bus->settings);
  g_strfreev (bus->names);
  g_free (bus);
}
