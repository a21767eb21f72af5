// The generated legacy configuration binding: its registered types, and a
// skeleton exported by this process called by a foreign command-line client.
#include "ptz_gdbus.h"
#include "ptz_legacy_config_dynamic_generated_dbus.h"
#include "tests/dbus/bus_support.h"

using namespace velmora::testing;

namespace {

constexpr const char *kInterface = "com.brantel.Configuration.Legacy";

struct CallResult {
  bool ok = false;
  std::string out, err;
};

// Runs `gdbus call --system` on `method` at this process's object `path`,
// iterating the main context meanwhile so the skeleton can answer.
CallResult gdbus_call(const std::string &path, const std::string &method,
                      std::vector<std::string> args = {}) {
  const std::string dest = unique_name_of_system_bus();
  std::vector<const gchar *> argv = {GDBUS_TOOL, "call", "--system", "--dest", dest.c_str(),
                                     "--object-path", path.c_str(), "--method", method.c_str()};
  for (const auto &arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  GSubprocess *process = g_subprocess_newv(
      argv.data(), GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_PIPE),
      nullptr);
  CallResult result;
  bool done = false;
  g_subprocess_wait_async(process, nullptr, [](GObject *, GAsyncResult *, gpointer d) { *static_cast<bool *>(d) = true; }, &done);
  iterate_until([&] { return done; }, 30000);
  gchar *out = nullptr, *err = nullptr;
  g_subprocess_communicate_utf8(process, nullptr, nullptr, &out, &err, nullptr);
  result.ok = g_subprocess_get_successful(process);
  result.out = out ? out : "";
  result.err = err ? err : "";
  g_free(out);
  g_free(err);
  g_object_unref(process);
  return result;
}

gboolean on_add(ptzlegacyconfigdynamicConfigurationLegacy *object, GDBusMethodInvocation *invocation,
                gint index, gpointer) {
  ptz_legacy_config_dynamic_configuration_legacy_complete_add_configuration(object, invocation, index + 1);
  return TRUE;
}

gboolean on_get_all(ptzlegacyconfigdynamicConfigurationLegacy *object,
                    GDBusMethodInvocation *invocation, gpointer) {
  ptz_legacy_config_dynamic_configuration_legacy_complete_get_configurations(
      object, invocation, g_variant_new_array(G_VARIANT_TYPE("{ia{sv}}"), nullptr, 0));
  return TRUE;
}

gboolean on_set(ptzlegacyconfigdynamicConfigurationLegacy *object, GDBusMethodInvocation *invocation,
                gint index, const gchar *name, GVariant *value, gpointer data) {
  gchar *text = g_variant_print(value, TRUE);
  *static_cast<std::string *>(data) = std::to_string(index) + " " + name + " " + text;
  g_free(text);
  ptz_legacy_config_dynamic_configuration_legacy_complete_set_configuration_entry(object, invocation);
  return TRUE;
}

}  // namespace

TEST(LegacyBinding, RegistersTheDocumentedTypes) {
  const std::pair<GType, const char *> types[] = {
      {ptz_legacy_config_dynamic_configuration_legacy_get_type(), "ptzlegacyconfigdynamicConfigurationLegacy"},
      {ptz_legacy_config_dynamic_configuration_legacy_proxy_get_type(), "ptzlegacyconfigdynamicConfigurationLegacyProxy"},
      {ptz_legacy_config_dynamic_configuration_legacy_skeleton_get_type(), "ptzlegacyconfigdynamicConfigurationLegacySkeleton"},
      {ptz_legacy_config_dynamic_object_get_type(), "ptzlegacyconfigdynamicObject"},
      {ptz_legacy_config_dynamic_object_proxy_get_type(), "ptzlegacyconfigdynamicObjectProxy"},
      {ptz_legacy_config_dynamic_object_skeleton_get_type(), "ptzlegacyconfigdynamicObjectSkeleton"},
      {ptz_legacy_config_dynamic_object_manager_client_get_type(), "ptzlegacyconfigdynamicObjectManagerClient"}};
  for (const auto &[type, name] : types) EXPECT_STREQ(g_type_name(type), name);
  GType iface = types[0].first;
  EXPECT_TRUE(g_type_is_a(types[1].first, G_TYPE_DBUS_PROXY) && g_type_is_a(types[1].first, iface));
  EXPECT_TRUE(g_type_is_a(types[2].first, G_TYPE_DBUS_INTERFACE_SKELETON) && g_type_is_a(types[2].first, iface));
  EXPECT_TRUE(g_type_is_a(types[5].first, G_TYPE_DBUS_OBJECT_SKELETON) && g_type_is_a(types[5].first, types[3].first));
  EXPECT_EQ(g_type_parent(types[6].first), G_TYPE_DBUS_OBJECT_MANAGER_CLIENT);

  GDBusInterfaceInfo *info = ptz_legacy_config_dynamic_configuration_legacy_interface_info();
  EXPECT_STREQ(info->name, kInterface);
  for (const char *method : {"Sync", "AddConfiguration", "RemoveConfiguration",
                             "GetConfigurationEntry", "SetConfigurationEntry", "GetConfigurations"})
    EXPECT_NE(g_dbus_interface_info_lookup_method(info, method), nullptr) << method;
  EXPECT_EQ(info->properties == nullptr || info->properties[0] == nullptr, true);
  EXPECT_EQ(ptz_legacy_config_dynamic_configuration_legacy_override_properties(nullptr, 5), 4u);

  auto proxy_type = [](const char *name) {
    return ptz_legacy_config_dynamic_object_manager_client_get_proxy_type(nullptr, "/o", name, nullptr);
  };
  EXPECT_EQ(proxy_type(nullptr), types[4].first);
  EXPECT_EQ(proxy_type(kInterface), types[1].first);
  EXPECT_EQ(proxy_type("org.freedesktop.DBus.Properties"), G_TYPE_DBUS_PROXY);

  // The object's "configuration-legacy" property adds and removes the interface.
  auto *object = ptz_legacy_config_dynamic_object_skeleton_new("/o");
  auto *skeleton = ptz_legacy_config_dynamic_configuration_legacy_skeleton_new();
  ptz_legacy_config_dynamic_object_skeleton_set_configuration_legacy(object, skeleton);
  EXPECT_EQ(ptz_legacy_config_dynamic_object_peek_configuration_legacy(PTZ_LEGACY_CONFIG_DYNAMIC_OBJECT(object)),
            PTZ_LEGACY_CONFIG_DYNAMIC_CONFIGURATION_LEGACY(skeleton));
  ptz_legacy_config_dynamic_object_skeleton_set_configuration_legacy(object, nullptr);
  EXPECT_EQ(ptz_legacy_config_dynamic_object_peek_configuration_legacy(PTZ_LEGACY_CONFIG_DYNAMIC_OBJECT(object)), nullptr);
  g_object_unref(skeleton);
  g_object_unref(object);
}

using LegacyBindingBusTest = BusTest;

TEST_F(LegacyBindingBusTest, ForeignClientCallsTheExportedSkeleton) {
  auto *skeleton = ptz_legacy_config_dynamic_configuration_legacy_skeleton_new();
  auto *server = PTZ_G_DBUS_SERVER(g_object_new(PTZ_TYPE_G_DBUS_SERVER, nullptr));
  ASSERT_TRUE(ptz_g_dbus_server_dbus_register(server, G_DBUS_INTERFACE_SKELETON(skeleton), "Config", -1));
  const std::string path = "/com/brantel/PTZ/Config";
  const std::string method = std::string(kInterface) + ".";

  // No handler yet: the call is refused as not implemented.
  CallResult refused = gdbus_call(path, method + "AddConfiguration", {"3"});
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.err.find("org.freedesktop.DBus.Error.UnknownMethod"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("Method AddConfiguration is not implemented on interface "
                             "com.brantel.Configuration.Legacy"), std::string::npos) << refused.err;

  std::string stored;
  g_signal_connect(skeleton, "handle-add-configuration", G_CALLBACK(on_add), nullptr);
  g_signal_connect(skeleton, "handle-get-configurations", G_CALLBACK(on_get_all), nullptr);
  g_signal_connect(skeleton, "handle-set-configuration-entry", G_CALLBACK(on_set), &stored);
  EXPECT_EQ(gdbus_call(path, method + "AddConfiguration", {"3"}).out, "(4,)\n");
  EXPECT_EQ(gdbus_call(path, method + "GetConfigurations").out, "(@a{ia{sv}} {},)\n");
  EXPECT_TRUE(gdbus_call(path, method + "SetConfigurationEntry", {"2", "zoom", "<int32 7>"}).ok);
  EXPECT_EQ(stored, "2 zoom <7>");  // a variant holding int32 7

  // The interface has no properties: Get and Set fail with InvalidArgs
  // naming the property, GetAll is empty.
  for (const auto &call : {gdbus_call(path, "org.freedesktop.DBus.Properties.Get", {kInterface, "Zoom"}),
                           gdbus_call(path, "org.freedesktop.DBus.Properties.Set", {kInterface, "Zoom", "<1>"})}) {
    EXPECT_FALSE(call.ok);
    EXPECT_NE(call.err.find("org.freedesktop.DBus.Error.InvalidArgs"), std::string::npos) << call.err;
    EXPECT_NE(call.err.find("Zoom"), std::string::npos) << call.err;
  }
  EXPECT_EQ(gdbus_call(path, "org.freedesktop.DBus.Properties.GetAll", {kInterface}).out, "(@a{sv} {},)\n");

  // The generated proxy receives the empty dictionary with its full type.
  GDBusConnection *peer = open_peer();
  auto *proxy = ptz_legacy_config_dynamic_configuration_legacy_proxy_new_sync(
      peer, G_DBUS_PROXY_FLAGS_DO_NOT_LOAD_PROPERTIES, unique_name_of_system_bus().c_str(),
      path.c_str(), nullptr, nullptr);
  ASSERT_NE(proxy, nullptr);
  struct Reply { GVariant *configurations = nullptr; bool done = false; } reply;
  ptz_legacy_config_dynamic_configuration_legacy_call_get_configurations(
      proxy, nullptr,
      [](GObject *source, GAsyncResult *res, gpointer data) {
        auto *out = static_cast<Reply *>(data);
        ptz_legacy_config_dynamic_configuration_legacy_call_get_configurations_finish(
            PTZ_LEGACY_CONFIG_DYNAMIC_CONFIGURATION_LEGACY(source), &out->configurations, res, nullptr);
        out->done = true;
      },
      &reply);
  ASSERT_TRUE(iterate_until([&] { return reply.done; }));
  GVariant *configurations = reply.configurations;
  ASSERT_NE(configurations, nullptr);
  EXPECT_STREQ(g_variant_get_type_string(configurations), "a{ia{sv}}");
  EXPECT_EQ(g_variant_n_children(configurations), 0u);
  g_variant_unref(configurations);

  g_object_unref(proxy);
  g_object_unref(peer);
  g_object_unref(server);
  g_object_unref(skeleton);
}
