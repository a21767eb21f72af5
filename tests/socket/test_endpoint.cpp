// The socket endpoint: opening servers and clients, reconnection, the timed
// read and write, and text notifications.
#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include "ptz_socket.h"
#include "ptz_socket_server.h"
#include "raw_peer.h"
#include "socket/ptz_socket_private.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

PTZSocket *endpoint_at(const std::string &path, int role) {
  return ptz_socket_new(PTZ_TYPE_SOCKET, role, path.c_str(), SOCK_STREAM);
}

mode_t file_mode(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

gboolean collect_text(gpointer data, PTZSocketServerHandle *, const gchar *text, gsize length) {
  static_cast<std::string *>(data)->append(text, length);
  return TRUE;
}

void count_reconnect(PTZSocket *, gpointer data) { ++*static_cast<int *>(data); }

}  // namespace

TEST(SocketEndpoint, ServerSocketFiles) {
  TempDir dir;
  LogCapture log;
  // The longest path that fits; a stale file there is replaced.
  std::string longest = dir.write(std::string(106 - dir.path().size(), 's'), "left over");
  ASSERT_EQ(longest.size(), 107u);
  PTZSocket *first = endpoint_at(longest, PTZ_SOCKET_ROLE_SERVER);
  ASSERT_GE(first->fd, 0);
  EXPECT_EQ(file_mode(longest), 0600u);
  // A second server takes the path over (a restart racing the old one); the
  // old one's finalization must leave the new socket file alone.
  PTZSocket *second = endpoint_at(longest, PTZ_SOCKET_ROLE_SERVER);
  ASSERT_GE(second->fd, 0);
  g_object_unref(first);
  int client = connect_raw(longest);
  EXPECT_GE(client, 0);
  close(client);
  g_object_unref(second);
  EXPECT_FALSE(g_file_test(longest.c_str(), G_FILE_TEST_EXISTS));

  PTZSocket *server = endpoint_at(longest + "x", PTZ_SOCKET_ROLE_SERVER);
  EXPECT_EQ(server->fd, -1);
  EXPECT_TRUE(log.contains(LOG_ERR, "open_server_socket: server_addr.sun_path too short(truncated)."));
  g_object_unref(server);

  // Sockets in the framework's shared directory are open to every user.
  if (g_mkdir_with_parents("/var/run/ptz", 0755) != 0 || access("/var/run/ptz", W_OK) != 0)
    GTEST_SKIP() << "/var/run/ptz cannot be created here; mode 0666 of shared sockets is not checked";
  std::string shared = "/var/run/ptz/libvelmora-test-" + std::to_string(getpid());
  server = endpoint_at(shared, PTZ_SOCKET_ROLE_SERVER);
  EXPECT_EQ(file_mode(shared), 0666u);
  g_object_unref(server);
}

TEST(SocketEndpoint, ConnectFailureWarningEveryThreeHundred) {
  TempDir dir;
  LogCapture log;
  std::string path = dir.file("absent.sock");
  std::string warning = "open_client_socket: Unable to connect to '" + path + "': errno=2, " + g_strerror(ENOENT);
  // The count is process-wide: first reach a warning, wherever it stands.
  for (int i = 0; i < 300 && log.count(LOG_WARNING, warning) == 0; i++)
    g_object_unref(endpoint_at(path, PTZ_SOCKET_ROLE_CLIENT));
  log.clear();
  for (int i = 0; i < 299; i++) g_object_unref(endpoint_at(path, PTZ_SOCKET_ROLE_CLIENT));
  EXPECT_EQ(log.count_containing("Unable to connect"), 0u);
  g_object_unref(endpoint_at(path, PTZ_SOCKET_ROLE_CLIENT));
  EXPECT_EQ(log.count(LOG_WARNING, warning), 1u);
}

TEST(SocketEndpoint, TimedReadAndWrite) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  PTZSocket *endpoint = ptz_socket_fd_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_CLIENT, pair[0], SOCK_STREAM);
  PTZSocketClass *klass = PTZ_SOCKET_GET_CLASS(endpoint);
  // A timed read collects the pieces of a slower writer.
  Child writer([&] {
    for (const char *piece : {"ab", "cd", "ef"}) {
      g_usleep(50000);
      if (klass->write(endpoint, pair[0], piece, 2, 1000) != 2) return 1;
    }
    return 0;
  });
  char buffer[16];
  EXPECT_EQ(klass->read(endpoint, pair[1], buffer, 6, 10000), 6);
  EXPECT_EQ(std::string(buffer, 6), "abcdef");
  EXPECT_EQ(writer.wait(), 0);

  // A full socket: an immediate write that writes nothing fails.
  std::string block(65536, 'x');
  while (klass->write(endpoint, pair[0], block.data(), block.size(), 0) > 0) {
  }
  EXPECT_EQ(klass->write(endpoint, pair[0], "y", 1, 0), -1);
  EXPECT_EQ(klass->write(endpoint, pair[0], "y", 1, 20), -1);

  // The peer goes away: a read returns what was there without waiting out its
  // limit, and writes fail without SIGPIPE (which would end this program).
  close(pair[0]);
  gint64 start = g_get_monotonic_time();
  int got, total = 0;
  while ((got = klass->read(endpoint, pair[1], block.data(), block.size(), 60000)) > 0) total += got;
  EXPECT_GT(total, 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(klass->write(endpoint, pair[1], "x", 1, 60000), -1);
  EXPECT_EQ(klass->write(endpoint, pair[1], "x", 1, 0), -1);
  EXPECT_LT(g_get_monotonic_time() - start, 30 * G_USEC_PER_SEC);

  // The endpoint leaves a descriptor it was given to its creator.
  g_object_unref(endpoint);
  EXPECT_NE(fcntl(pair[1], F_GETFD), -1);
  close(pair[1]);

  // Descriptors that are not sockets are written with plain writes.
  int pipe_fd[2];
  ASSERT_EQ(pipe(pipe_fd), 0);
  endpoint = ptz_socket_fd_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_CLIENT, pipe_fd[1], SOCK_STREAM);
  EXPECT_EQ(klass->write(endpoint, pipe_fd[1], "pipe", 4, 0), 4);
  EXPECT_EQ(read_bytes(pipe_fd[0], 4), "pipe");
  g_object_unref(endpoint);
  close(pipe_fd[0]);
  close(pipe_fd[1]);
}

// A notifier made while its server is absent connects within about a second
// of the server starting; it sends each text with its NUL, drops texts while
// not connected, and starts reconnecting after a failed send.
TEST(SocketSignal, ConnectsLateSendsTextsWithTheirNulAndReconnectsAfterFailure) {
  TempDir dir;
  LogCapture log;
  std::string path = dir.file("signal.sock");
  PTZSocketSignal *signal = ptz_socket_signal_new(path.c_str(), SOCK_STREAM);
  PTZSocket *endpoint = PTZ_SOCKET(signal);
  int reconnects = 0;
  velmora::socket::set_reconnect_notify(endpoint, count_reconnect, &reconnects);
  EXPECT_EQ(endpoint->fd, -1);
  guint retry = endpoint->retry_source;
  EXPECT_NE(retry, 0u);
  ptz_socket_signal_emit(signal, "dropped");
  EXPECT_EQ(endpoint->retry_source, retry);
  iterate_for(1500);  // attempts that fail

  std::string received;
  PTZSocketServer *server = ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER, path.c_str(), SOCK_STREAM);
  ptz_socket_server_register_callback(server, collect_text, &received);
  gint64 started = g_get_monotonic_time();
  EXPECT_TRUE(iterate_until([&] { return endpoint->fd >= 0; }));
  EXPECT_LE(g_get_monotonic_time() - started, 2 * G_USEC_PER_SEC);
  EXPECT_EQ(endpoint->retry_source, 0u);
  EXPECT_EQ(reconnects, 1);
  ptz_socket_signal_emit(signal, "moved");
  ptz_socket_signal_emit(signal, "");
  ptz_socket_signal_emit(nullptr, "ignored");
  EXPECT_TRUE(iterate_until([&] { return received.size() == 7; }));
  EXPECT_EQ(received, std::string("moved\0\0", 7));

  g_object_unref(server);
  ptz_socket_signal_emit(signal, "lost");
  EXPECT_EQ(endpoint->fd, -1);
  EXPECT_NE(endpoint->retry_source, 0u);
  char byte;
  EXPECT_EQ(PTZ_SOCKET_GET_CLASS(endpoint)->read(endpoint, endpoint->fd, &byte, 1, 10), 0);
  EXPECT_TRUE(log.contains(LOG_WARNING, "socket_read: not opened " + path));
  g_object_unref(signal);
}
