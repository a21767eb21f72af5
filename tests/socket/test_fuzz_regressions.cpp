// Inputs the fuzz targets of the command framing found faulty, replayed over
// real sockets.
// test-labels: threaded
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "ptz_socket_client.h"
#include "ptz_socket_server.h"
#include "velmora_test.h"

namespace {

using velmora::testing::iterate_until;

std::string frame(guint32 id, const std::string &payload) {
  const guint32 length = guint32(payload.size() + PTZ_SOCKET_HEADER_SIZE);
  std::string bytes(reinterpret_cast<const char *>(&length), 4);
  return bytes.append(reinterpret_cast<const char *>(&id), 4) + payload;
}

bool send_all(int fd, const std::string &bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

// Exactly n bytes from a blocking descriptor, or fewer when it ends.
std::string receive(int fd, size_t n) {
  std::string bytes(n, '\0');
  size_t got = 0;
  for (ssize_t r; got < n && (r = read(fd, &bytes[got], n - got)) > 0;) got += size_t(r);
  bytes.resize(got);
  return bytes;
}

struct SocketPair {
  int fds[2];
  SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
  ~SocketPair() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
};

gboolean count_command(gpointer user_data, PTZSocketServerHandle *handle, const gchar *, gsize) {
  ++*static_cast<int *>(user_data);
  ptz_socket_server_send(handle, "ok", 2);
  return TRUE;
}

// A command server made from a descriptor the caller left blocking, fed the
// way the fuzzer fed it: one byte of a header, the rest later. The command
// read keeps reading until the message is complete and so blocks the whole
// main context until the peer writes again.
TEST(FuzzRegression, CommandServerOnBlockingDescriptorNeverWaitsForTheRestOfAMessage) {
  SocketPair pair;
  int commands = 0;
  PTZSocketServer *server = ptz_socket_server_fd_new(PTZ_TYPE_SOCKET_SERVER_COMMAND, pair.fds[1], SOCK_STREAM);
  pair.fds[1] = -1;  // the server closes it
  ptz_socket_server_register_callback(server, count_command, &commands);
  const std::string message = frame(9, "x");

  std::mutex mutex;
  std::condition_variable served;
  bool main_context_returned = false;
  bool rest_written = false;
  ASSERT_TRUE(send_all(pair.fds[0], message.substr(0, 1)));
  // The peer writes the rest when the main context has returned, or after a
  // long while if it never does.
  std::thread peer([&] {
    std::unique_lock<std::mutex> lock(mutex);
    served.wait_for(lock, std::chrono::seconds(10), [&] { return main_context_returned; });
    rest_written = true;
    lock.unlock();
    send_all(pair.fds[0], message.substr(1));
  });
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_FALSE(rest_written) << "the main context waited for the peer";
    main_context_returned = true;
  }
  served.notify_one();
  peer.join();
  EXPECT_TRUE(iterate_until([&] { return commands == 1; }));
  g_object_unref(server);
}

struct Dispatch {
  int calls = 0;
  bool with_data = false;
  std::string payload;
};

void record(gpointer user_data, const gchar *data, gsize length) {
  auto *dispatch = static_cast<Dispatch *>(user_data);
  dispatch->calls++;
  dispatch->with_data = data != nullptr;
  if (data != nullptr) dispatch->payload.assign(data, length);
}

// The fuzzer's seed late_async_reply: a server answers an asynchronous
// command while the client waits in a synchronous send, answers that too and
// closes. The synchronous wait reads the first reply and leaves it to the
// main context; the end of the stream, read first, reports the command as
// lost, and its reply, which did arrive, is dropped.
TEST(FuzzRegression, ReplyReadDuringSynchronousWaitSurvivesTheEndOfTheConnection) {
  SocketPair pair;
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, pair.fds[0], SOCK_STREAM);
  Dispatch dispatch;
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), record, nullptr);
  ASSERT_TRUE(ptz_socket_client_command_async_send(client, "cmd", 3, &dispatch));
  ASSERT_EQ(receive(pair.fds[1], 11).size(), 11u);

  std::thread server([&] {
    if (receive(pair.fds[1], 12).size() != 12) return;
    send_all(pair.fds[1], frame(0, "late") + frame(1, "sync"));
    shutdown(pair.fds[1], SHUT_WR);
  });
  char reply[PTZ_SOCKET_MESSAGE_MAX];
  gsize reply_length = 0;
  EXPECT_TRUE(ptz_socket_client_command_sync_send(client, "sync", 4, reply, &reply_length));
  server.join();
  EXPECT_EQ(std::string(reply, reply_length), "sync");

  EXPECT_TRUE(iterate_until([&] { return dispatch.calls > 0; }));
  velmora::testing::iterate_for(50);
  EXPECT_EQ(dispatch.calls, 1);
  EXPECT_TRUE(dispatch.with_data);
  EXPECT_EQ(dispatch.payload, "late");
  g_object_unref(client);
}

}  // namespace
