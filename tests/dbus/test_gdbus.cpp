// The D-Bus server and client against a private bus daemon, with a service
// in a separate process for the client side.
// test-needs: system-bus
#include <signal.h>
#include <unistd.h>

#include "ptz_gdbus.h"
#include "ptz_legacy_config_dynamic_generated_dbus.h"
#include "tests/dbus/bus_support.h"

using namespace velmora::testing;

namespace {

GDBusInterfaceSkeleton *new_skeleton() {
  return G_DBUS_INTERFACE_SKELETON(ptz_legacy_config_dynamic_configuration_legacy_skeleton_new());
}

PTZGDBusServer *new_server() { return PTZ_G_DBUS_SERVER(g_object_new(PTZ_TYPE_G_DBUS_SERVER, nullptr)); }

// Whether `path` of this process answers the legacy interface on the bus.
bool exported_at(GDBusConnection *peer, const std::string &owner, const std::string &path) {
  GVariant *reply = call_iterating(peer, owner, path, "org.freedesktop.DBus.Properties", "GetAll",
                                   g_variant_new("(s)", "com.brantel.Configuration.Legacy"), nullptr);
  if (reply) g_variant_unref(reply);
  return reply != nullptr;
}

std::string name_owner(GDBusConnection *connection, const std::string &name) {
  GVariant *reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
      g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
  if (reply == nullptr) return "";
  const gchar *owner = nullptr;
  g_variant_get(reply, "(&s)", &owner);
  std::string result = owner;
  g_variant_unref(reply);
  return result;
}

// The service helper in a process of its own, owning com.brantel.PTZ.<name>.
std::unique_ptr<Child> start_service(const std::string &name) {
  return std::make_unique<Child>([name] {
    execl(BUS_SERVICE_PATH, BUS_SERVICE_PATH, name.c_str(), nullptr);
    return 127;
  });
}

}  // namespace

using GDBusServerTest = BusTest;

TEST_F(GDBusServerTest, ExportsAtSchemePathsAndUnexportsWhenDropped) {
  GDBusConnection *peer = open_peer();
  GDBusInterfaceSkeleton *plain = new_skeleton(), *dotted = new_skeleton(), *indexed = new_skeleton();
  PTZGDBusServer *first = new_server(), *second = new_server();
  std::string us = unique_name_of_system_bus();

  ASSERT_TRUE(ptz_g_dbus_server_dbus_register(first, plain, "Driver", -1));
  EXPECT_TRUE(exported_at(peer, us, "/com/brantel/PTZ/Driver"));
  // Replacing the remembered skeleton leaves the first one exported.
  ASSERT_TRUE(ptz_g_dbus_server_dbus_register(first, dotted, "ptz.driver", -1));
  EXPECT_TRUE(exported_at(peer, us, "/com/brantel/PTZ/ptz/driver"));
  EXPECT_TRUE(exported_at(peer, us, "/com/brantel/PTZ/Driver"));
  ASSERT_TRUE(ptz_g_dbus_server_dbus_register(second, indexed, "ptz.driver", 3));
  EXPECT_TRUE(exported_at(peer, us, "/com/brantel/PTZ/ptz/driver/3"));

  // A failed export is logged without a GLib critical and unexports the
  // skeleton remembered before.
  {
    LogCapture log;
    GLibLogCapture criticals;
    EXPECT_FALSE(ptz_g_dbus_server_dbus_register(second, plain, "bad-name", -1));
    EXPECT_TRUE(log.contains(LOG_ERR,
                             "_ptz_g_dbus_server_register: Failed to get name fo "
                             "/com/brantel/PTZ/bad-name. Invalid object path"));
    EXPECT_FALSE(ptz_g_dbus_server_dbus_register_obj_full_path(second, plain, "/not/here."));
    EXPECT_TRUE(log.contains(LOG_ERR, "Failed to get name: Invalid object path"));
    EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 0u);
  }
  EXPECT_FALSE(exported_at(peer, us, "/com/brantel/PTZ/ptz/driver/3"));
  EXPECT_EQ(second->skeleton, nullptr);

  // A skeleton released before its server is forgotten, not touched later.
  ASSERT_TRUE(ptz_g_dbus_server_dbus_register_obj_full_path(second, indexed, "/x/y"));
  g_object_unref(indexed);
  EXPECT_EQ(second->skeleton, nullptr);
  g_object_unref(second);

  g_object_unref(first);
  EXPECT_FALSE(exported_at(peer, us, "/com/brantel/PTZ/ptz/driver"));
  EXPECT_TRUE(exported_at(peer, us, "/com/brantel/PTZ/Driver"));
  g_object_unref(plain);
  g_object_unref(dotted);
  g_object_unref(peer);
}

TEST_F(GDBusServerTest, RequestsNamesAndQueuesBehindAnotherOwner) {
  PTZGDBusServer *server = new_server();
  std::string mine = unique_name("Mine"), theirs = unique_name("Theirs");
  EXPECT_TRUE(ptz_g_dbus_server_dbus_request_name(server, mine.c_str()));
  EXPECT_TRUE(ptz_g_dbus_server_dbus_request_name(server, mine.c_str()));  // already owner
  EXPECT_EQ(name_owner(PTZ_G_DBUS_SERVER_GET_CLASS(server)->connection, "com.brantel.PTZ." + mine),
            unique_name_of_system_bus());

  GDBusConnection *other = open_peer();
  guint owner_id = g_bus_own_name_on_connection(other, ("com.brantel.PTZ." + theirs).c_str(),
                                                G_BUS_NAME_OWNER_FLAGS_NONE, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(iterate_until(
      [&] { return name_owner(other, "com.brantel.PTZ." + theirs) == g_dbus_connection_get_unique_name(other); }));
  LogCapture log;
  EXPECT_FALSE(ptz_g_dbus_server_dbus_request_name(server, theirs.c_str()));
  EXPECT_EQ(log.count(LOG_WARNING, "Got result code 2 from requesting name"), 1u);
  // The queued request stays with the daemon: the name passes to us.
  g_bus_unown_name(owner_id);
  EXPECT_TRUE(
      iterate_until([&] { return name_owner(other, "com.brantel.PTZ." + theirs) == unique_name_of_system_bus(); }));

  EXPECT_FALSE(ptz_g_dbus_server_dbus_request_name_full_path(server, "not a name"));
  EXPECT_TRUE(log.contains(LOG_ERR, "Failed to get name: Invalid bus name"));
  g_object_unref(other);
  g_object_unref(server);
}

using GDBusClientTest = BusTest;

TEST_F(GDBusClientTest, CallsServiceAndReportsEachExitOnce) {
  // A dotted name: client and server agree on the path with slashes.
  const std::string name = unique_name("srv.drv");
  const std::string bus_name = "com.brantel.PTZ." + name;
  PTZGDBusClient *client = ptz_g_dbus_client_new();
  {
    // Without names there is no proxy and nothing to watch, and no critical.
    GLibLogCapture criticals;
    EXPECT_EQ(ptz_g_dbus_client_get_proxy(client), nullptr);
    EXPECT_FALSE(ptz_g_dbus_client_connect_destroy_signal(
        client, [](gpointer) {}, client));
    EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 0u);
  }
  GDBusConnection *peer = open_peer();
  auto service = start_service(name);
  ASSERT_TRUE(iterate_until([&] { return !name_owner(peer, bus_name).empty(); }));

  ASSERT_TRUE(ptz_g_dbus_client_set_proxy(client, name.c_str(), -1));
  GDBusProxy *proxy = ptz_g_dbus_client_get_proxy(client);
  GVariant *echo =
      g_dbus_proxy_call_sync(proxy, "Echo", g_variant_new("(s)", "hi"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
  ASSERT_NE(echo, nullptr);
  EXPECT_EQ(print(echo), "('hi',)");
  g_variant_unref(echo);
  GError *error = nullptr;
  EXPECT_EQ(
      g_dbus_proxy_call_sync(proxy, "Fail", g_variant_new("(i)", 42), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error),
      nullptr);
  EXPECT_EQ(ptz_g_dbus_error_get_remote_error_code(error), 42);
  g_clear_error(&error);

  int calls = 0, ignored = 0;
  auto count = [](gpointer data) { ++*static_cast<int *>(data); };
  ASSERT_TRUE(ptz_g_dbus_client_connect_destroy_signal(client, count, &calls));
  EXPECT_FALSE(ptz_g_dbus_client_connect_destroy_signal(client, count, &ignored));

  kill(service->pid(), SIGTERM);
  EXPECT_TRUE(iterate_until([&] { return calls == 1; }));
  service = start_service(name);  // it comes back: nothing is called
  ASSERT_TRUE(iterate_until([&] {
    gchar *owner = g_dbus_proxy_get_name_owner(proxy);
    g_free(owner);
    return owner != nullptr;
  }));
  iterate_for(200);
  EXPECT_EQ(calls, 1);
  kill(service->pid(), SIGTERM);  // the watch stays connected
  EXPECT_TRUE(iterate_until([&] { return calls == 2; }));
  EXPECT_EQ(ignored, 0);

  ptz_g_dbus_client_disconnect_destroy_signal(client);
  EXPECT_EQ(client->destroy_handler_id, 0u);
  {
    GLibLogCapture criticals;
    EXPECT_FALSE(ptz_g_dbus_client_set_proxy(client, name.c_str(), 1));
    EXPECT_EQ(criticals.count_containing("ptz_g_dbus_client_new_proxy"), 1u);
    EXPECT_EQ(criticals.count_containing("self->proxy == NULL"), 1u);
  }
  EXPECT_EQ(ptz_g_dbus_client_get_proxy(client), proxy);
  g_object_unref(client);
  g_object_unref(peer);
}

TEST(GDBusError, RemoteErrorCodeIsTheNumberAfterTheLastCode) {
  const std::pair<const char *, int> cases[] = {{"Foo.Bar.Code42", 42}, {"Foo.Code1.Code2", 2},
                                                {"Foo.Code", -1},       {"Foo.Failed", -1},
                                                {"Foo.Code-7x", -7},    {"Foo.Code99999999999", -1}};
  for (const auto &[name, code] : cases) {
    GError *error = g_dbus_error_new_for_dbus_error(name, "message");
    EXPECT_EQ(ptz_g_dbus_error_get_remote_error_code(error), code) << name;
    g_error_free(error);
  }
  GError *local = g_error_new(G_IO_ERROR, G_IO_ERROR_FAILED, "Foo.Code3");
  EXPECT_EQ(ptz_g_dbus_error_get_remote_error_code(local), -1);
  g_error_free(local);
  EXPECT_EQ(ptz_g_dbus_error_get_remote_error_code(nullptr), -1);
}

// Without a reachable bus (a socket that does not exist, never the real
// system bus), in a fresh process each: the client class ends the process
// with 42, the server class goes on and fails every request.
TEST(GDBusNoBus, ClientExitsWith42ServerFails) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        g_setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velmora-bus", TRUE);
        LogCapture log;
        static LogCapture *seen = &log;
        atexit([] {
          if (seen->count_containing("Could not connect to the bus: ") == 1) fputs("logged", stderr);
        });
        ptz_g_dbus_client_new();
      },
      ::testing::ExitedWithCode(42), "logged");
  EXPECT_EXIT(
      {
        g_setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velmora-bus", TRUE);
        PTZGDBusServer *server = new_server();
        GDBusInterfaceSkeleton *skeleton = new_skeleton();
        bool failed = PTZ_G_DBUS_SERVER_GET_CLASS(server)->connection == nullptr &&
                      !ptz_g_dbus_server_dbus_register(server, skeleton, "Driver", -1) &&
                      !ptz_g_dbus_server_dbus_request_name(server, "Driver");
        _exit(failed ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
