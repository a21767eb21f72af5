// The generated legacy configuration binding: a skeleton exported by this
// process, called from another connection with the interface's wire forms and
// from a foreign client process.
// test-needs: system-bus
#include "ptz_gdbus.h"
#include "ptz_legacy_config_dynamic_generated_dbus.h"
#include "tests/dbus/bus_support.h"

using namespace velmora::testing;

namespace {

constexpr const char *kInterface = "com.brantel.Configuration.Legacy";
using Legacy = ptzlegacyconfigdynamicConfigurationLegacy;

gboolean on_add(Legacy *object, GDBusMethodInvocation *invocation, gint index, gpointer) {
  ptz_legacy_config_dynamic_configuration_legacy_complete_add_configuration(object, invocation, index + 1);
  return TRUE;
}

gboolean on_get_all(Legacy *object, GDBusMethodInvocation *invocation, gpointer) {
  ptz_legacy_config_dynamic_configuration_legacy_complete_get_configurations(
      object, invocation, g_variant_new_array(G_VARIANT_TYPE("{ia{sv}}"), nullptr, 0));
  return TRUE;
}

gboolean on_set(Legacy *object, GDBusMethodInvocation *invocation, gint index, const gchar *name, GVariant *value,
                gpointer data) {
  *static_cast<std::string *>(data) = std::to_string(index) + " " + name + " " + print(value);
  ptz_legacy_config_dynamic_configuration_legacy_complete_set_configuration_entry(object, invocation);
  return TRUE;
}

}  // namespace

using LegacyBindingBusTest = BusTest;

TEST_F(LegacyBindingBusTest, AnotherConnectionCallsTheExportedSkeleton) {
  auto *skeleton = ptz_legacy_config_dynamic_configuration_legacy_skeleton_new();
  auto *server = PTZ_G_DBUS_SERVER(g_object_new(PTZ_TYPE_G_DBUS_SERVER, nullptr));
  ASSERT_TRUE(ptz_g_dbus_server_dbus_register(server, G_DBUS_INTERFACE_SKELETON(skeleton), "Config", -1));
  GDBusConnection *peer = open_peer();
  const std::string us = unique_name_of_system_bus(), path = "/com/brantel/PTZ/Config";
  // The printed reply, or the D-Bus error name and message.
  auto call = [&](const char *interface, const char *method, GVariant *parameters) {
    GError *error = nullptr;
    GVariant *reply = call_iterating(peer, us, path, interface, method, parameters, &error);
    if (reply == nullptr) {
      gchar *name = g_dbus_error_get_remote_error(error);
      g_dbus_error_strip_remote_error(error);
      std::string text = std::string(name ? name : "?") + ": " + error->message;
      g_free(name);
      g_error_free(error);
      return text;
    }
    std::string text = print(reply);
    g_variant_unref(reply);
    return text;
  };

  // No handler yet: the call is refused as not implemented.
  EXPECT_EQ(call(kInterface, "AddConfiguration", g_variant_new("(i)", 3)),
            "org.freedesktop.DBus.Error.UnknownMethod: Method AddConfiguration is not implemented on "
            "interface com.brantel.Configuration.Legacy");

  std::string stored;
  g_signal_connect(skeleton, "handle-add-configuration", G_CALLBACK(on_add), nullptr);
  g_signal_connect(skeleton, "handle-get-configurations", G_CALLBACK(on_get_all), nullptr);
  g_signal_connect(skeleton, "handle-set-configuration-entry", G_CALLBACK(on_set), &stored);
  EXPECT_EQ(call(kInterface, "AddConfiguration", g_variant_new("(i)", 3)), "(4,)");
  EXPECT_EQ(call(kInterface, "GetConfigurations", nullptr), "(@a{ia{sv}} {},)");
  GVariant *entry = g_variant_new("(isv)", 2, "zoom", g_variant_new_int32(7));
  EXPECT_EQ(call(kInterface, "SetConfigurationEntry", entry), "()");
  EXPECT_EQ(stored, "2 zoom <7>");

  // The interface has no properties: Get and Set fail naming the property
  // (GDBus itself words the refusal), GetAll is empty.
  const char *properties = "org.freedesktop.DBus.Properties";
  for (const std::string &refused :
       {call(properties, "Get", g_variant_new("(ss)", kInterface, "Zoom")),
        call(properties, "Set", g_variant_new("(ssv)", kInterface, "Zoom", g_variant_new_int32(1)))}) {
    EXPECT_EQ(refused.rfind("org.freedesktop.DBus.Error.InvalidArgs: ", 0), 0u) << refused;
    EXPECT_NE(refused.find("Zoom"), std::string::npos) << refused;
  }
  EXPECT_EQ(call(properties, "GetAll", g_variant_new("(s)", kInterface)), "(@a{sv} {},)");

  // A foreign client process: the command-line tool of GLib.
  GSubprocess *tool = g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE, nullptr, GDBUS_TOOL, "call", "--system",
                                       "--dest", us.c_str(), "--object-path", path.c_str(), "--method",
                                       "com.brantel.Configuration.Legacy.AddConfiguration", "41", nullptr);
  ASSERT_NE(tool, nullptr);
  struct Output {
    bool done = false;
    gchar *text = nullptr;
  } output;
  g_subprocess_communicate_utf8_async(
      tool, nullptr, nullptr,
      [](GObject *source, GAsyncResult *result, gpointer data) {
        auto *out = static_cast<Output *>(data);
        g_subprocess_communicate_utf8_finish(G_SUBPROCESS(source), result, &out->text, nullptr, nullptr);
        out->done = true;
      },
      &output);
  ASSERT_TRUE(iterate_until([&] { return output.done; }, 30000));
  EXPECT_STREQ(output.text, "(42,)\n");
  g_free(output.text);
  g_object_unref(tool);

  g_object_unref(peer);
  g_object_unref(server);
  g_object_unref(skeleton);
}
