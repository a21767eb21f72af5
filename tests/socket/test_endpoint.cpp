// The socket endpoint: opening servers and clients, reconnection, the timed
// read and write, and text notifications.
#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ptz_socket.h"
#include "ptz_socket_server.h"
#include "server_peer.h"
#include "socket/ptz_socket_private.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

PTZSocket *new_server(const std::string &path) {
  return ptz_socket_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_SERVER, path.c_str(), SOCK_STREAM);
}

PTZSocket *new_client(const std::string &path) {
  return ptz_socket_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_CLIENT, path.c_str(), SOCK_STREAM);
}

mode_t file_mode(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

// A connected pair of non-blocking stream sockets, closed at the end.
struct Pair {
  int fd[2] = {-1, -1};
  Pair() {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd), 0);
  }
  ~Pair() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void close_peer() {
    close(fd[1]);
    fd[1] = -1;
  }
};

}  // namespace

TEST(SocketEndpoint, ServerPathLengthLimit) {
  TempDir dir;
  LogCapture log;
  std::string base = dir.path() + "/";
  std::string longest = base + std::string(107 - base.size(), 's');
  ASSERT_EQ(longest.size(), 107u);
  PTZSocket *ok = new_server(longest);
  EXPECT_GE(ok->fd, 0);
  EXPECT_TRUE(g_file_test(longest.c_str(), G_FILE_TEST_EXISTS));
  g_object_unref(ok);
  EXPECT_FALSE(g_file_test(longest.c_str(), G_FILE_TEST_EXISTS));

  PTZSocket *too_long = new_server(longest + "x");
  EXPECT_EQ(too_long->fd, -1);
  EXPECT_TRUE(log.contains(LOG_ERR, "open_server_socket: server_addr.sun_path too short(truncated)."));
  g_object_unref(too_long);
}

TEST(SocketEndpoint, ServerSocketFileModes) {
  TempDir dir;
  PTZSocket *private_server = new_server(dir.file("private.sock"));
  EXPECT_EQ(file_mode(dir.file("private.sock")), 0600u);
  g_object_unref(private_server);

  // Sockets in the framework's shared directory are open to every user.
  if (g_mkdir_with_parents("/var/run/ptz", 0755) != 0 || access("/var/run/ptz", W_OK) != 0)
    GTEST_SKIP() << "/var/run/ptz cannot be created or written here; the 0666 mode is not checked";
  std::string shared = "/var/run/ptz/libvelmora-endpoint-test-" + std::to_string(getpid());
  PTZSocket *shared_server = new_server(shared);
  EXPECT_GE(shared_server->fd, 0);
  EXPECT_EQ(file_mode(shared), 0666u);
  g_object_unref(shared_server);
  EXPECT_FALSE(g_file_test(shared.c_str(), G_FILE_TEST_EXISTS));
}

TEST(SocketEndpoint, ServerReplacesStaleFilesAndRemovesOnlyItsOwn) {
  TempDir dir;
  std::string path = dir.write("server.sock", "left over");
  PTZSocket *first = new_server(path);
  ASSERT_GE(first->fd, 0);
  int client = connect_raw(path);
  EXPECT_GE(client, 0);
  close(client);

  // A second server takes over the path (a restart racing the old one):
  // the old one's finalization must not remove the new socket file.
  PTZSocket *second = new_server(path);
  ASSERT_GE(second->fd, 0);
  g_object_unref(first);
  EXPECT_TRUE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
  client = connect_raw(path);
  EXPECT_GE(client, 0);
  close(client);
  g_object_unref(second);
  EXPECT_FALSE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
}

static void count_reconnect(PTZSocket *, gpointer data) { ++*static_cast<int *>(data); }

TEST(SocketEndpoint, ClientConnectsWithinTwoSecondsOfItsServerStarting) {
  TempDir dir;
  std::string path = dir.file("late.sock");
  PTZSocket *client = new_client(path);
  EXPECT_EQ(client->fd, -1);
  EXPECT_NE(client->retry_source, 0u);
  int reconnects = 0;
  ptz_socket_set_reconnect_notify(client, count_reconnect, &reconnects);
  iterate_for(1500);  // several failed attempts
  EXPECT_EQ(client->fd, -1);

  PTZSocket *server = new_server(path);
  gint64 started = g_get_monotonic_time();
  EXPECT_TRUE(iterate_until([&] { return client->fd >= 0; }, 10000));
  EXPECT_LE(g_get_monotonic_time() - started, 2 * G_USEC_PER_SEC);
  EXPECT_EQ(client->retry_source, 0u);
  EXPECT_EQ(reconnects, 1);
  g_object_unref(client);
  g_object_unref(server);
}

TEST(SocketEndpoint, ConnectFailureWarningEveryThreeHundred) {
  TempDir dir;
  LogCapture log;
  std::string path = dir.file("absent.sock");
  std::string warning = "open_client_socket: Unable to connect to '" + path + "': errno=2, " + g_strerror(ENOENT);
  // The count is process-wide: first reach a warning, wherever it stands.
  for (int i = 0; i < 300 && log.count(LOG_WARNING, warning) == 0; i++) g_object_unref(new_client(path));
  ASSERT_EQ(log.count(LOG_WARNING, warning), 1u);
  log.clear();
  for (int i = 0; i < 299; i++) g_object_unref(new_client(path));
  EXPECT_EQ(log.count_containing("Unable to connect"), 0u);
  g_object_unref(new_client(path));
  EXPECT_EQ(log.count(LOG_WARNING, warning), 1u);
}

TEST(SocketEndpoint, FdEndpointLeavesDescriptorToItsCreator) {
  Pair pair;
  PTZSocket *endpoint = ptz_socket_fd_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_CLIENT, pair.fd[0], SOCK_STREAM);
  EXPECT_EQ(endpoint->socket, nullptr);
  EXPECT_EQ(endpoint->retry_source, 0u);
  g_object_unref(endpoint);
  EXPECT_NE(fcntl(pair.fd[0], F_GETFD), -1);
}

TEST(SocketEndpoint, TimedWriteAndRead) {
  Pair pair;
  PTZSocket *endpoint = ptz_socket_fd_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_CLIENT, pair.fd[0], SOCK_STREAM);
  PTZSocketClass *klass = PTZ_SOCKET_GET_CLASS(endpoint);
  char buffer[64];

  EXPECT_EQ(klass->write(endpoint, pair.fd[0], "hello", 5, 1000), 5);
  EXPECT_EQ(klass->read(endpoint, pair.fd[1], buffer, 5, 0), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  // Nothing there: an immediate read gives 0, a timed one waits and gives 0.
  EXPECT_EQ(klass->read(endpoint, pair.fd[1], buffer, 5, 0), 0);
  EXPECT_EQ(klass->read(endpoint, pair.fd[1], buffer, 5, 50), 0);

  // A timed read collects several writes of a slower peer.
  Child writer([&] {
    for (const char *piece : {"ab", "cd", "ef"}) {
      g_usleep(50000);
      if (send(pair.fd[0], piece, 2, MSG_NOSIGNAL) != 2) return 1;
    }
    return 0;
  });
  EXPECT_EQ(klass->read(endpoint, pair.fd[1], buffer, 6, 10000), 6);
  EXPECT_EQ(std::string(buffer, 6), "abcdef");
  EXPECT_EQ(writer.wait(), 0);

  // Fill the socket: an immediate write that cannot write anything fails.
  std::string block(65536, 'x');
  while (klass->write(endpoint, pair.fd[0], block.data(), block.size(), 0) > 0) {
  }
  EXPECT_EQ(klass->write(endpoint, pair.fd[0], "y", 1, 0), -1);
  EXPECT_EQ(klass->write(endpoint, pair.fd[0], "y", 1, 20), -1);
  g_object_unref(endpoint);
}

TEST(SocketEndpoint, PeerThatHasGoneAwayEndsReadsAndWritesAtOnce) {
  Pair pair;
  PTZSocket *endpoint = ptz_socket_fd_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_CLIENT, pair.fd[0], SOCK_STREAM);
  PTZSocketClass *klass = PTZ_SOCKET_GET_CLASS(endpoint);
  ASSERT_EQ(send(pair.fd[1], "abc", 3, 0), 3);
  pair.close_peer();

  // The bytes that were there, without waiting out the limit.
  char buffer[16];
  gint64 start = g_get_monotonic_time();
  EXPECT_EQ(klass->read(endpoint, pair.fd[0], buffer, sizeof(buffer), 20000), 3);
  EXPECT_LT(g_get_monotonic_time() - start, 10 * G_USEC_PER_SEC);

  // Writing to the vanished peer fails; the process gets no SIGPIPE (its
  // default disposition would end this test program).
  start = g_get_monotonic_time();
  EXPECT_EQ(klass->write(endpoint, pair.fd[0], "x", 1, 20000), -1);
  EXPECT_EQ(klass->write(endpoint, pair.fd[0], "x", 1, 0), -1);
  EXPECT_LT(g_get_monotonic_time() - start, 10 * G_USEC_PER_SEC);
  g_object_unref(endpoint);
}

TEST(SocketEndpoint, NotOpenedDescriptor) {
  TempDir dir;
  LogCapture log;
  std::string path = dir.file("none.sock");
  PTZSocket *client = new_client(path);
  PTZSocketClass *klass = PTZ_SOCKET_GET_CLASS(client);
  char buffer[4];
  EXPECT_EQ(klass->read(client, client->fd, buffer, 4, 100), 0);
  EXPECT_EQ(klass->write(client, client->fd, "x", 1, 100), 0);
  EXPECT_TRUE(log.contains(LOG_WARNING, "socket_read: not opened " + path));
  EXPECT_TRUE(log.contains(LOG_WARNING, "socket_write: not opened " + path));
  g_object_unref(client);
}

TEST(SocketEndpoint, WritesToNonSocketDescriptors) {
  int pipe_fd[2];
  ASSERT_EQ(pipe(pipe_fd), 0);
  PTZSocket *endpoint = ptz_socket_fd_new(PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_CLIENT, pipe_fd[1], SOCK_STREAM);
  EXPECT_EQ(PTZ_SOCKET_GET_CLASS(endpoint)->write(endpoint, pipe_fd[1], "pipe", 4, 0), 4);
  EXPECT_EQ(read_bytes(pipe_fd[0], 4), "pipe");
  g_object_unref(endpoint);
  close(pipe_fd[0]);
  close(pipe_fd[1]);
}

static gboolean collect_text(gpointer data, PTZSocketServerHandle *, const gchar *text, gsize length) {
  static_cast<std::string *>(data)->append(text, length);
  return TRUE;
}

TEST(SocketSignal, EmitsTextWithItsNulAndReconnectsAfterFailure) {
  TempDir dir;
  std::string path = dir.file("signal.sock");
  PTZSocketServer *server = ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER, path.c_str(), SOCK_STREAM);
  std::string received;
  ptz_socket_server_register_callback(server, collect_text, &received);
  PTZSocketSignal *signal = ptz_socket_signal_new(path.c_str(), SOCK_STREAM);
  PTZSocket *endpoint = PTZ_SOCKET(signal);
  ASSERT_GE(endpoint->fd, 0);

  ptz_socket_signal_emit(signal, "moved");
  ptz_socket_signal_emit(signal, "");
  ptz_socket_signal_emit(nullptr, "ignored");
  EXPECT_TRUE(iterate_until([&] { return received.size() == 7; }));
  EXPECT_EQ(received, std::string("moved\0\0", 7));

  // The server goes away: the failed send closes the descriptor and starts
  // reconnecting; a new server at the path gets the next notification.
  g_object_unref(server);
  ptz_socket_signal_emit(signal, "lost");
  EXPECT_EQ(endpoint->fd, -1);
  guint retry = endpoint->retry_source;
  EXPECT_NE(retry, 0u);
  ptz_socket_signal_emit(signal, "dropped while reconnecting");
  EXPECT_EQ(endpoint->retry_source, retry);

  server = ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER, path.c_str(), SOCK_STREAM);
  received.clear();
  ptz_socket_server_register_callback(server, collect_text, &received);
  EXPECT_TRUE(iterate_until([&] { return endpoint->fd >= 0; }));
  ptz_socket_signal_emit(signal, "back");
  EXPECT_TRUE(iterate_until([&] { return received.size() == 5; }));
  EXPECT_EQ(received, std::string("back\0", 5));
  g_object_unref(signal);
  g_object_unref(server);
}
