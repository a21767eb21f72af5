// Synchronous commands with GBytes payloads against a command server in
// another process: the reply's bytes, the largest payload, and the failures.
#include <sys/socket.h>

#include <string>

#include "client_fixture.h"

using namespace velmora::testing;

namespace {

std::string text_of(GBytes *bytes) {
  gsize size = 0;
  auto *data = static_cast<const char *>(g_bytes_get_data(bytes, &size));
  return std::string(data != nullptr ? data : "", size);
}

TEST(CommandClientBytes, RepliesComeBackAsBytes) {
  TempDir dir;
  std::string path = dir.file("commands.sock");
  auto server = start_server(path);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);

  std::string payload("echo\0with a NUL", 15);
  GBytes *request = g_bytes_new(payload.data(), payload.size());
  GBytes *reply = ptz_socket_client_command_sync_send_bytes(client, request);
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(text_of(reply), payload);
  g_bytes_unref(reply);
  g_bytes_unref(request);

  // The largest payload there is room for comes back whole.
  std::string largest(PTZ_SOCKET_MESSAGE_MAX - PTZ_SOCKET_HEADER_SIZE, 'x');
  request = g_bytes_new(largest.data(), largest.size());
  reply = ptz_socket_client_command_sync_send_bytes(client, request);
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(text_of(reply), largest);
  g_bytes_unref(reply);
  g_bytes_unref(request);

  LogCapture log;
  std::string too_long(largest.size() + 1, 'x');
  request = g_bytes_new(too_long.data(), too_long.size());
  EXPECT_EQ(ptz_socket_client_command_sync_send_bytes(client, request), nullptr);
  EXPECT_EQ(log.count_containing("exceeds the largest message"), 1u);
  g_bytes_unref(request);

  // A server that is gone: no reply, and the reason is logged.
  request = g_bytes_new_static("exit", 4);
  EXPECT_EQ(ptz_socket_client_command_sync_send_bytes(client, request), nullptr);
  EXPECT_GT(log.lines().size(), 1u);
  g_bytes_unref(request);
  g_object_unref(client);
}

}  // namespace
