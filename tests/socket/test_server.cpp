// The plain socket server: chunks with a reply handle, closing connections,
// servers made from a descriptor, accepting under descriptor exhaustion.
#include <sys/resource.h>

#include <ctime>
#include <utility>

#include "ptz_socket_server.h"
#include "raw_peer.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct Served {
  int chunks = 0, closes = 0;
  int leaving = -1;  // a peer to close before answering its next chunk
};

// Echoes every chunk back in upper case through the handle. A reply to a
// peer that has left fails and closes the connection, so that a second reply
// through the same handle finds no connection.
gboolean echo(gpointer data, PTZSocketServerHandle *handle, const gchar *text, gsize length) {
  auto *served = static_cast<Served *>(data);
  EXPECT_EQ(text[length], '\0');
  served->chunks++;
  if (served->leaving >= 0) {
    close(std::exchange(served->leaving, -1));
    EXPECT_FALSE(ptz_socket_server_send(handle, "late", 4));
    EXPECT_FALSE(ptz_socket_server_send(handle, "later", 5));
    return TRUE;
  }
  gchar *upper = g_ascii_strup(text, gssize(length));
  EXPECT_TRUE(ptz_socket_server_send(handle, upper, length));
  g_free(upper);
  return TRUE;
}

void count_close(gpointer data) { static_cast<Served *>(data)->closes++; }

PTZSocketServer *echo_server(const std::string &path, Served *served) {
  PTZSocketServer *server = ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER, path.c_str(), SOCK_STREAM);
  if (served != nullptr) ptz_socket_server_register_callback(server, echo, served);
  return server;
}

}  // namespace

TEST(SocketServer, AnswersEachConnectionAndClosesOnHangUp) {
  TempDir dir;
  std::string path = dir.file("plain.sock");
  Served served;
  PTZSocketServer *server = echo_server(path, &served);
  int before = open_descriptors();
  int a = connect_raw(path), b = connect_raw(path);
  ASSERT_TRUE(send_all(a, "hello"));
  ASSERT_TRUE(send_all(b, "world"));
  EXPECT_EQ(read_bytes(a, 5), "HELLO");
  EXPECT_EQ(read_bytes(b, 5), "WORLD");
  close(a);
  // A peer that leaves before its answer: both ends end up closed.
  served.leaving = b;
  ASSERT_TRUE(send_all(b, "bye"));
  EXPECT_TRUE(iterate_until([&] { return served.chunks == 3 && open_descriptors() == before; }));
  g_object_unref(server);

  // Without a callback, data is dropped and hang-ups still close.
  server = echo_server(path, nullptr);
  a = connect_raw(path);
  ASSERT_TRUE(send_all(a, "void"));
  EXPECT_TRUE(iterate_until([&] { return open_descriptors() == before + 2; }));
  close(a);
  EXPECT_TRUE(iterate_until([&] { return open_descriptors() == before; }));
  g_object_unref(server);
}

// A server made from a descriptor notifies once when its peer leaves, never
// when it is finalized.
TEST(SocketServer, ServerFromDescriptorNotifiesOnlyWhenItsPeerLeaves) {
  for (bool peer_leaves : {true, false}) {
    SCOPED_TRACE(peer_leaves);
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    Served served;
    PTZSocketServer *server = ptz_socket_server_fd_new(PTZ_TYPE_SOCKET_SERVER, pair[0], SOCK_STREAM);
    ptz_socket_server_register_callback_full(server, echo, count_close, &served);
    ASSERT_TRUE(send_all(pair[1], "fd"));
    EXPECT_EQ(read_bytes(pair[1], 2), "FD");
    if (peer_leaves) {
      close(pair[1]);
      EXPECT_TRUE(iterate_until([&] { return served.closes > 0; }));
      iterate_for(100);
      EXPECT_EQ(PTZ_SOCKET(server)->fd, -1);
    }
    g_object_unref(server);
    EXPECT_EQ(served.closes, peer_leaves ? 1 : 0);
    EXPECT_TRUE(peer_leaves || peer_closed(pair[1]));
    if (!peer_leaves) close(pair[1]);
  }
}

// Accepting goes on once descriptors free up, without spinning meanwhile:
// the server runs in a child whose limit leaves room for one connection.
TEST(SocketServer, AcceptSurvivesDescriptorExhaustion) {
  TempDir dir;
  std::string path = dir.file("limit.sock");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  Child server_process([&] {
    Served served;
    PTZSocketServer *server = echo_server(path, &served);
    int spare = dup(0);
    close(spare);
    rlimit limit = {rlim_t(spare + 1), rlim_t(spare + 1)};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0 || write(ready[1], "r", 1) != 1) return 2;
    gint64 start = g_get_monotonic_time();
    clock_t cpu_start = clock();
    iterate_until([&] { return served.chunks >= 2; }, 20000);
    gint64 wall = g_get_monotonic_time() - start;
    gint64 cpu = gint64(clock() - cpu_start) * G_USEC_PER_SEC / CLOCKS_PER_SEC;
    iterate_for(200);
    g_object_unref(server);
    // A server spinning on its listening socket would use all the wall time.
    return served.chunks < 2 ? 3 : cpu * 2 < wall ? 0 : 4;
  });
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  int first = connect_raw(path);
  ASSERT_TRUE(send_all(first, "a"));
  EXPECT_EQ(read_bytes(first, 1, 10000, false), "A");
  int second = connect_raw(path);  // queued, not accepted while no descriptor is free
  ASSERT_TRUE(send_all(second, "b"));
  EXPECT_EQ(read_bytes(second, 1, 1500, false), "");
  close(first);
  EXPECT_EQ(read_bytes(second, 1, 10000, false), "B");
  close(second);
  EXPECT_EQ(server_process.wait(), 0);
  close(ready[0]);
  close(ready[1]);
}
