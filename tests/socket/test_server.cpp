// The plain socket server: delivery of chunks with a reply handle, closing of
// connections, servers made from a descriptor, and accepting under
// descriptor exhaustion.
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ptz_socket_server.h"
#include "server_peer.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct Served {
  std::vector<std::string> chunks;
  int closes = 0;
  gboolean result = TRUE;
  bool reply = true;
};

// Echoes every chunk back in upper case through the handle.
gboolean echo(gpointer data, PTZSocketServerHandle *handle, const gchar *text, gsize length) {
  auto *served = static_cast<Served *>(data);
  EXPECT_EQ(text[length], '\0');
  served->chunks.emplace_back(text, length);
  if (served->reply) {
    gchar *upper = g_ascii_strup(text, gssize(length));
    EXPECT_TRUE(ptz_socket_server_send(handle, upper, length));
    g_free(upper);
  }
  return served->result;
}

void count_close(gpointer data) { static_cast<Served *>(data)->closes++; }

PTZSocketServer *plain_server(const std::string &path, Served *served) {
  PTZSocketServer *server = ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER, path.c_str(), SOCK_STREAM);
  if (served != nullptr) ptz_socket_server_register_callback(server, echo, served);
  return server;
}

}  // namespace

TEST(SocketServer, DeliversChunksAndAnswersThroughTheHandle) {
  TempDir dir;
  Served served;
  PTZSocketServer *server = plain_server(dir.file("plain.sock"), &served);
  int a = connect_raw(dir.file("plain.sock"));
  int b = connect_raw(dir.file("plain.sock"));
  ASSERT_TRUE(send_all(a, "hello"));
  ASSERT_TRUE(send_all(b, "world"));
  EXPECT_EQ(read_bytes(a, 5), "HELLO");
  EXPECT_EQ(read_bytes(b, 5), "WORLD");
  // Delivered on the main context only, so both arrived by now.
  EXPECT_EQ(served.chunks.size(), 2u);
  close(a);
  close(b);
  g_object_unref(server);
}

TEST(SocketServer, WithoutCallbackDataIsDroppedAndHangUpsStillClose) {
  TempDir dir;
  PTZSocketServer *server = plain_server(dir.file("mute.sock"), nullptr);
  int before = open_descriptors();
  int peer = connect_raw(dir.file("mute.sock"));
  ASSERT_TRUE(send_all(peer, "into the void"));
  EXPECT_TRUE(iterate_until([&] { return open_descriptors() == before + 2; }));
  close(peer);
  EXPECT_TRUE(iterate_until([&] { return open_descriptors() == before; }));
  g_object_unref(server);
}

TEST(SocketServer, CallbackFalseEndsAllServing) {
  TempDir dir;
  Served served;
  served.result = FALSE;
  PTZSocketServer *server = plain_server(dir.file("once.sock"), &served);
  int first = connect_raw(dir.file("once.sock"));
  ASSERT_TRUE(send_all(first, "one"));
  EXPECT_EQ(read_bytes(first, 3), "ONE");
  ASSERT_TRUE(send_all(first, "two"));
  int second = connect_raw(dir.file("once.sock"));  // queued, never accepted
  ASSERT_TRUE(send_all(second, "three"));
  iterate_for(200);
  EXPECT_EQ(served.chunks.size(), 1u);
  close(first);
  close(second);
  // Finalizing a server whose source was removed closes what is left.
  g_object_unref(server);
}

TEST(SocketServer, ServerFromDescriptorNotifiesWhenItsConnectionEnds) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  Served served;
  PTZSocketServer *server = ptz_socket_server_fd_new(PTZ_TYPE_SOCKET_SERVER, pair[0], SOCK_STREAM);
  ptz_socket_server_register_callback_full(server, echo, count_close, &served);
  ASSERT_TRUE(send_all(pair[1], "fd"));
  EXPECT_EQ(read_bytes(pair[1], 2), "FD");
  close(pair[1]);
  EXPECT_TRUE(iterate_until([&] { return served.closes > 0; }));
  iterate_for(100);
  EXPECT_EQ(served.closes, 1);
  EXPECT_EQ(PTZ_SOCKET(server)->fd, -1);
  // A NULL callback keeps the current one.
  ptz_socket_server_register_callback_full(server, nullptr, nullptr, &served);
  g_object_unref(server);
}

TEST(SocketServer, FinalizingDoesNotCallTheCloseCallback) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  Served served;
  PTZSocketServer *server = ptz_socket_server_fd_new(PTZ_TYPE_SOCKET_SERVER, pair[0], SOCK_STREAM);
  ptz_socket_server_register_callback_full(server, echo, count_close, &served);
  ASSERT_TRUE(send_all(pair[1], "x"));
  EXPECT_EQ(read_bytes(pair[1], 1), "X");
  g_object_unref(server);
  EXPECT_EQ(served.closes, 0);
  EXPECT_TRUE(peer_closed(pair[1]));
  close(pair[1]);
}

TEST(SocketServer, ReplyToVanishedPeerFailsAndClosesTheConnection) {
  TempDir dir;
  struct State {
    int peer = -1;
    gboolean sent = TRUE;
    bool called = false;
  } state;
  PTZSocketServer *server = plain_server(dir.file("gone.sock"), nullptr);
  ptz_socket_server_register_callback(
      server,
      [](gpointer data, PTZSocketServerHandle *handle, const gchar *, gsize) -> gboolean {
        auto *s = static_cast<State *>(data);
        close(s->peer);  // gone before the answer
        s->sent = ptz_socket_server_send(handle, "late", 4);
        s->called = true;
        // The closed connection's handle answers nothing any more.
        EXPECT_FALSE(ptz_socket_server_send(handle, "later", 5));
        return TRUE;
      },
      &state);
  int before = open_descriptors();
  state.peer = connect_raw(dir.file("gone.sock"));
  ASSERT_TRUE(send_all(state.peer, "ask"));
  EXPECT_TRUE(iterate_until([&] { return state.called; }));
  EXPECT_FALSE(state.sent);
  EXPECT_TRUE(iterate_until([&] { return open_descriptors() == before; }));
  g_object_unref(server);
}

TEST(SocketServer, HandleDropsAReferenceOfItsServer) {
  TempDir dir;
  PTZSocketServer *server = plain_server(dir.file("ref.sock"), nullptr);
  PTZSocketServerHandle *kept = nullptr;
  ptz_socket_server_register_callback(
      server,
      [](gpointer data, PTZSocketServerHandle *handle, const gchar *, gsize) -> gboolean {
        *static_cast<PTZSocketServerHandle **>(data) = handle;
        return TRUE;
      },
      &kept);
  int peer = connect_raw(dir.file("ref.sock"));
  ASSERT_TRUE(send_all(peer, "x"));
  ASSERT_TRUE(iterate_until([&] { return kept != nullptr; }));
  g_object_ref(server);
  gpointer weak = server;
  g_object_add_weak_pointer(G_OBJECT(server), &weak);
  ptz_socket_server_unref(kept);
  EXPECT_NE(weak, nullptr);
  ptz_socket_server_unref(kept);
  EXPECT_EQ(weak, nullptr);
  close(peer);
}

// Accepting goes on after the process ran out of descriptors, without
// spinning: the server runs in a child whose descriptor limit leaves room for
// one connection only.
TEST(SocketServer, AcceptSurvivesDescriptorExhaustion) {
  TempDir dir;
  std::string path = dir.file("limit.sock");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  Child server_process([&] {
    Served served;
    PTZSocketServer *server = plain_server(path, &served);
    // The lowest free descriptor is the only one left to accept into.
    int spare = dup(0);
    close(spare);
    rlimit limit = {rlim_t(spare + 1), rlim_t(spare + 1)};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 2;
    if (write(ready[1], "r", 1) != 1) return 3;
    rusage start_usage;
    getrusage(RUSAGE_SELF, &start_usage);
    gint64 start = g_get_monotonic_time();
    iterate_until([&] { return served.chunks.size() >= 2; }, 20000);
    rusage end_usage;
    getrusage(RUSAGE_SELF, &end_usage);
    auto cpu_us = [](const rusage &u) {
      return gint64(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000 + u.ru_utime.tv_usec + u.ru_stime.tv_usec;
    };
    gint64 wall = g_get_monotonic_time() - start;
    gint64 cpu = cpu_us(end_usage) - cpu_us(start_usage);
    iterate_for(200);  // let the last reply go out
    g_object_unref(server);
    if (served.chunks.size() < 2) return 4;
    // A server spinning on its listening socket would use the whole wall time.
    return cpu * 2 < wall ? 0 : 5;
  });
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  int first = connect_raw(path);
  ASSERT_TRUE(send_all(first, "a"));
  EXPECT_EQ(read_bytes(first, 1, 10000, false), "A");
  // Queued but not accepted while the only descriptor is taken.
  int second = connect_raw(path);
  ASSERT_GE(second, 0);
  ASSERT_TRUE(send_all(second, "b"));
  EXPECT_EQ(read_bytes(second, 1, 1500, false), "");
  close(first);
  EXPECT_EQ(read_bytes(second, 1, 10000, false), "B");
  close(second);
  EXPECT_EQ(server_process.wait(), 0);
  close(ready[0]);
  close(ready[1]);
}
