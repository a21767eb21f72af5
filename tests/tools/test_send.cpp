// ptzctl send: framed commands to a real command server (the library's, on
// the test's main loop) and to a raw peer that answers badly or not at all.
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include <ptz_socket_server.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using ::testing::HasSubstr;
using velmora::testing::output_of;

namespace {

std::string header(guint32 length, guint32 id) {
  std::string bytes(reinterpret_cast<const char *>(&length), 4);
  return bytes.append(reinterpret_cast<const char *>(&id), 4);
}

int bound_socket(const std::string &path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  g_strlcpy(address.sun_path, path.c_str(), sizeof address.sun_path);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  return fd;
}

}  // namespace

class SendTest : public velmora::testing::PtzctlTest {
 protected:
  velmora::testing::TempDir dir_;
};

TEST_F(SendTest, PrintsTheReplyOfACommandServerWithIdAndLength) {
  std::string path = dir_.file("driver.sock");
  PTZSocketServerCommand *server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
  std::vector<std::string> received;
  ptz_socket_server_register_callback(
      PTZ_SOCKET_SERVER(server),
      [](gpointer data, PTZSocketServerHandle *handle, const gchar *payload, gsize length) -> gboolean {
        static_cast<std::vector<std::string> *>(data)->emplace_back(payload, length);
        std::string reply = length > 100 ? std::string(payload, length) : "ok:" + std::string(payload, length);
        ptz_socket_server_send(handle, reply.data(), reply.size());
        return TRUE;
      },
      &received);

  EXPECT_EQ(output_of({"send", path, "--hex", "0x68:69"}, true),
            "id 0, 5 bytes\n00000000  6f 6b 3a 68 69                                    |ok:hi|\n");

  // The largest payload, from a file with every byte value, echoed.
  std::string payload;
  for (int i = 0; i < 2552; i++) payload += char(i * 7);
  std::string file = dir_.write("payload.bin", payload);
  std::string large = output_of({"send", path, "--file", file, "--timeout", "20000"}, true);
  EXPECT_THAT(large, ::testing::StartsWith("id 0, 2552 bytes\n00000000  00 07 0e 15 1c 23 2a 31  38 3f"));
  EXPECT_THAT(large, HasSubstr("\n000009f0  "));
  EXPECT_EQ(received, (std::vector<std::string>{"hi", payload}));
  g_object_unref(server);
}

TEST_F(SendTest, SilenceAndGarbageRepliesFailCleanly) {
  std::string path = dir_.file("peer.sock");
  struct Case {
    const char *what;
    std::function<std::string(guint32)> answer;
    bool close_after;
    const char *message;
  } cases[] = {
      {"silence", [](guint32) { return std::string(); }, false, "within 300 ms"},
      {"another id", [](guint32 id) { return header(10, id + 1) + "no"; }, false, "within 300 ms"},
      {"oversized", [](guint32 id) { return header(9999, id) + "xx"; }, false, "ended without a reply to id 0"},
      {"short length", [](guint32 id) { return header(4, id); }, false, "ended without a reply"},
      {"truncated", [](guint32 id) { return header(20, id).substr(0, 3); }, true, "ended without a reply"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    // The peer accepts one connection, reads the command (its header and one
    // payload byte), answers, and closes or keeps the connection until killed.
    int listener = bound_socket(path);
    ASSERT_EQ(listen(listener, 4), 0);
    velmora::testing::Child peer([&] {
      int fd = accept(listener, nullptr, nullptr);
      char command[9];
      if (recv(fd, command, sizeof command, MSG_WAITALL) != sizeof command) return 1;
      guint32 id;
      memcpy(&id, command + 4, 4);
      std::string reply = c.answer(id);
      send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      if (!c.close_after) pause();
      return 0;
    });
    velmora::testing::expect_failures(1, {{{"send", path, "--hex", "01", "--timeout", "300"}, c.message}});
    close(listener);
    unlink(path.c_str());
  }
}

TEST_F(SendTest, ConnectionAndFileFailuresAndBadCommandLines) {
  std::string stale = dir_.file("stale.sock");
  close(bound_socket(stale));  // the file stays, nobody listens
  velmora::testing::expect_failures(1, {
      {{"send", dir_.file("none.sock"), "--hex", "01"}, "No such file or directory"},
      {{"send", dir_.write("plain", "x"), "--hex", "01"}, "not a socket"},
      {{"send", stale, "--hex", "01"}, "no server accepts connections there"},
      {{"send", stale, "--file", dir_.file("missing")}, "missing"},
      {{"send", stale, "--file", dir_.write("empty", "")}, "is empty"},
      {{"send", stale, "--file", dir_.write("huge", std::string(2553, 'x'))}, "has 2553 bytes; at most 2552"},
  });
  velmora::testing::expect_failures(2, {
      {{"send", stale, "--hex", "zz"}, "bad --hex: 'z' at position 1 is not a hex digit"},
      {{"send", stale, "--hex", "12 3"}, "odd number of hex digits"},
      {{"send", stale, "--hex", "1g"}, "'g' at position 2"},
      {{"send", stale, "--hex", ""}, "an empty payload is never answered"},
      {{"send", stale, "--hex", std::string(2 * 2553, 'a')}, "2553 bytes; at most 2552"},
      {{"send", stale}, "exactly one of --hex and --file"},
      {{"send", stale, "--hex", "01", "--file", "f"}, "exactly one of --hex and --file"},
      {{"send", stale, "--hex", "01", "--timeout", "0"}, "--timeout wants a whole number from 1 to 360000"},
      {{"send", std::string(108, 's'), "--hex", "01"}, "a socket path has 1 to 107 characters"},
      {{"send", "--hex", "01"}, "no SOCKET given"},
  });
}
