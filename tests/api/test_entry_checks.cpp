// A caller's NULL or wrong object at the public entry points: every function
// that would dereference it reports a critical that names the bare function
// and the failed condition, and returns its failure value instead of crashing.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "ptz_driver_parameter_item.h"
#include "ptz_gdbus.h"
#include "ptz_queue.h"
#include "ptz_socket_client.h"
#include "ptz_socket_server.h"
#include "velmora_test.h"

namespace {

using velmora::testing::GLibLogCapture;

struct EntryCase {
  const char *function;
  const char *condition;
  std::function<bool()> call;  // true when the failure value came back
};

void ignore_reply(gpointer, const char *, gsize) {}
gboolean ignore_command(gpointer, PTZSocketServerHandle *, const char *, gsize) { return TRUE; }

TEST(EntryChecks, MisuseIsReportedAndSurvived) {
  // A live object of an unrelated class: a type check, not only a NULL test.
  GObject *stranger = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
  auto *not_client = reinterpret_cast<PTZSocketClient *>(stranger);
  guint8 reply[16];
  const EntryCase cases[] = {
      {"ptz_socket_client_register_callback", "PTZ_IS_SOCKET_CLIENT(client)",
       [&] {
         ptz_socket_client_register_callback(not_client, ignore_reply, nullptr);
         return true;
       }},
      {"ptz_socket_client_add_poll", "PTZ_IS_SOCKET_CLIENT(client)",
       [] {
         ptz_socket_client_add_poll(nullptr);
         return true;
       }},
      {"ptz_socket_client_remove_poll", "PTZ_IS_SOCKET_CLIENT(client)",
       [] {
         ptz_socket_client_remove_poll(nullptr);
         return true;
       }},
      {"ptz_socket_client_async_send", "PTZ_IS_SOCKET_CLIENT(client)",
       [] { return !ptz_socket_client_async_send(nullptr, "x", 1); }},
      {"ptz_socket_client_command_register_free_callback", "PTZ_IS_SOCKET_CLIENT_COMMAND(client)",
       [] {
         ptz_socket_client_command_register_free_callback(nullptr, nullptr, nullptr);
         return true;
       }},
      {"ptz_socket_client_command_async_send", "PTZ_IS_SOCKET_CLIENT_COMMAND(self)",
       [] { return !ptz_socket_client_command_async_send(nullptr, "x", 1, nullptr); }},
      {"ptz_socket_client_command_sync_send", "PTZ_IS_SOCKET_CLIENT_COMMAND(self)",
       [&] { return !ptz_socket_client_command_sync_send(nullptr, "x", 1, reply, nullptr); }},
      {"ptz_socket_server_register_callback", "PTZ_IS_SOCKET_SERVER(server)",
       [] {
         ptz_socket_server_register_callback(nullptr, ignore_command, nullptr);
         return true;
       }},
      {"ptz_socket_server_register_callback_full", "PTZ_IS_SOCKET_SERVER(server)",
       [] {
         ptz_socket_server_register_callback_full(nullptr, ignore_command, nullptr, nullptr);
         return true;
       }},
      {"ptz_queue_set_callback", "queue != NULL",
       [] {
         ptz_queue_set_callback(nullptr, nullptr, nullptr);
         return true;
       }},
      {"ptz_queue_push", "queue != NULL", [] { return !ptz_queue_push(nullptr, nullptr); }},
      {"ptz_queue_pop", "queue != NULL", [] { return ptz_queue_pop(nullptr) == nullptr; }},
      {"ptz_file_g_source_get_fd", "source != NULL", [] { return ptz_file_g_source_get_fd(nullptr) == -1; }},
      {"ptz_file_g_source_add_poll", "source != NULL",
       [] {
         ptz_file_g_source_add_poll(nullptr);
         return true;
       }},
      {"ptz_file_g_source_remove_poll", "source != NULL",
       [] {
         ptz_file_g_source_remove_poll(nullptr);
         return true;
       }},
      {"ptz_g_dbus_client_set_proxy", "PTZ_IS_G_DBUS_CLIENT(self)",
       [] { return !ptz_g_dbus_client_set_proxy(nullptr, "x", 0); }},
      {"ptz_g_dbus_client_get_proxy", "PTZ_IS_G_DBUS_CLIENT(self)",
       [] { return ptz_g_dbus_client_get_proxy(nullptr) == nullptr; }},
      {"ptz_g_dbus_client_disconnect_destroy_signal", "PTZ_IS_G_DBUS_CLIENT(self)",
       [] {
         ptz_g_dbus_client_disconnect_destroy_signal(nullptr);
         return true;
       }},
      {"ptz_g_dbus_server_dbus_request_name", "PTZ_IS_G_DBUS_SERVER(self)",
       [] { return !ptz_g_dbus_server_dbus_request_name(nullptr, "x.y"); }},
      {"ptz_driver_parameter_item_serialize", "item != NULL",
       [] { return ptz_driver_parameter_item_serialize(nullptr, nullptr) == nullptr; }},
      {"ptz_driver_parameter_item_deserialize", "indx != NULL",
       [] {
         guint32 field1 = 7;
         ptz_driver_parameter_item_deserialize(nullptr, nullptr, &field1, nullptr, nullptr, nullptr, nullptr, nullptr,
                                               nullptr);
         return field1 == 7;
       }},
  };
  for (const EntryCase &c : cases) {
    GLibLogCapture criticals;
    EXPECT_TRUE(c.call()) << c.function;
    const std::string text = std::string(c.function) + ": assertion '" + c.condition + "' failed";
    EXPECT_EQ(criticals.count_containing(text), 1u) << text;
    EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 1u) << c.function;
  }
  g_object_unref(stranger);
}

// A payload pointer that is NULL with a length would be copied from address 0.
TEST(EntryChecks, ANullPayloadWithALengthIsRefused) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  GLibLogCapture criticals;
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, fds[0], SOCK_STREAM);
  ASSERT_NE(client, nullptr);
  EXPECT_FALSE(ptz_socket_client_command_async_send(client, nullptr, 4, nullptr));
  EXPECT_FALSE(ptz_socket_client_command_sync_send(client, nullptr, 4, nullptr, nullptr));
  EXPECT_FALSE(ptz_socket_client_async_send(PTZ_SOCKET_CLIENT(client), nullptr, 4));
  EXPECT_EQ(criticals.count_containing("'payload != NULL || length == 0' failed"), 2u);
  EXPECT_EQ(criticals.count_containing("'buffer != NULL || length == 0' failed"), 1u);
  EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 3u);
  g_object_unref(client);
  close(fds[1]);
}

}  // namespace
