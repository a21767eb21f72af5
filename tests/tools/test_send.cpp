// ptzctl send: framed commands to a real command server (the library's, on
// the test's main loop) and to a raw peer that answers badly or not at all.
#include <gmock/gmock.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <ptz_socket_server.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using ::testing::HasSubstr;
using velmora::testing::run_ptzctl;

namespace {

std::string hex_of(const std::string &bytes) {
  std::string hex;
  char buffer[3];
  for (unsigned char byte : bytes) {
    g_snprintf(buffer, sizeof buffer, "%02x", byte);
    hex += buffer;
  }
  return hex;
}

std::string header(guint32 length, guint32 id) {
  std::string bytes(reinterpret_cast<const char *>(&length), 4);
  return bytes.append(reinterpret_cast<const char *>(&id), 4);
}

// A peer on a thread: accepts one connection, reads one framed command and
// writes what `answer` makes of its id, then closes or keeps the connection
// until the end of the test.
class RawPeer {
 public:
  RawPeer(const std::string &path, std::function<std::string(guint32 id)> answer, bool close_after)
      : path_(path) {
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    g_strlcpy(address.sun_path, path.c_str(), sizeof address.sun_path);
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    EXPECT_EQ(listen(listener_, 4), 0);
    thread_ = std::thread([this, answer, close_after] {
      pollfd p = {listener_, POLLIN, 0};
      if (poll(&p, 1, 30000) <= 0) return;
      int fd = accept(listener_, nullptr, nullptr);
      char head[8];
      if (recv(fd, head, 8, MSG_WAITALL) != 8) return (void)close(fd);
      guint32 length, id;
      memcpy(&length, head, 4);
      memcpy(&id, head + 4, 4);
      std::string body(length - 8, '\0');
      if (recv(fd, body.data(), body.size(), MSG_WAITALL) != ssize_t(body.size())) return (void)close(fd);
      std::string reply = answer(id);
      send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      while (!close_after && !stop_) g_usleep(5000);
      close(fd);
    });
  }
  ~RawPeer() {
    stop_ = true;
    thread_.join();
    close(listener_);
    unlink(path_.c_str());
  }

 private:
  std::string path_;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

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
        auto *log = static_cast<std::vector<std::string> *>(data);
        log->emplace_back(payload, length);
        std::string reply = length > 100 ? std::string(payload, length) : "ok:" + std::string(payload, length);
        ptz_socket_server_send(handle, reply.data(), reply.size());
        return TRUE;
      },
      &received);

  auto small = run_ptzctl({"send", path, "--hex", "0x68:69"}, true);
  ASSERT_EQ(small.status, 0) << small.err;
  EXPECT_EQ(small.out,
            "id 0, 5 bytes\n00000000  6f 6b 3a 68 69                                    |ok:hi|\n");

  // The largest payload, from a file with every byte value.
  std::string payload;
  for (int i = 0; i < 2552; i++) payload += char(i * 7);
  std::string file = dir_.write("payload.bin", payload);
  auto large = run_ptzctl({"send", path, "--file", file, "--timeout", "20000"}, true);
  ASSERT_EQ(large.status, 0) << large.err;
  EXPECT_THAT(large.out, ::testing::StartsWith("id 0, 2552 bytes\n00000000  00 07 0e 15 1c 23 2a 31  38 3f"));
  EXPECT_THAT(large.out, HasSubstr("\n000009f0  "));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], "hi");
  EXPECT_EQ(received[1], payload);
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
    RawPeer peer(path, c.answer, c.close_after);
    auto run = run_ptzctl({"send", path, "--hex", "01", "--timeout", "300"});
    EXPECT_EQ(run.status, 1) << c.what << ": " << run.out;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.what;
    EXPECT_TRUE(run.out.empty()) << c.what;
  }
}

TEST_F(SendTest, ConnectionAndFileFailures) {
  std::string regular = dir_.write("plain", "x");
  std::string empty = dir_.write("empty", "");
  std::string huge = dir_.write("huge", std::string(2553, 'x'));
  std::string stale = dir_.file("stale.sock");
  {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    g_strlcpy(address.sun_path, stale.c_str(), sizeof address.sun_path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);  // the file stays, nobody listens
  }
  velmora::testing::expect_failures(1, {
      {{"send", dir_.file("none.sock"), "--hex", "01"}, "No such file or directory"},
      {{"send", regular, "--hex", "01"}, "not a socket"},
      {{"send", stale, "--hex", "01"}, "no server accepts connections there"},
      {{"send", stale, "--file", dir_.file("missing")}, "missing"},
      {{"send", stale, "--file", empty}, "is empty"},
      {{"send", stale, "--file", huge}, "has 2553 bytes; at most 2552"},
  });
}

TEST_F(SendTest, BadCommandLinesAreUsageErrors) {
  std::string path = dir_.file("x.sock");
  velmora::testing::expect_failures(2, {
      {{"send", path, "--hex", "zz"}, "bad --hex: 'z' at position 1 is not a hex digit"},
      {{"send", path, "--hex", "12 3"}, "odd number of hex digits"},
      {{"send", path, "--hex", "1g"}, "'g' at position 2"},
      {{"send", path, "--hex", ""}, "an empty payload is never answered"},
      {{"send", path, "--hex", hex_of(std::string(2553, 'a'))}, "2553 bytes; at most 2552"},
      {{"send", path}, "exactly one of --hex and --file"},
      {{"send", path, "--hex", "01", "--file", "f"}, "exactly one of --hex and --file"},
      {{"send", path, "--hex", "01", "--timeout", "0"}, "--timeout wants a whole number from 1 to 360000"},
      {{"send", path, "--hex", "01", "--timeout", "-5"}, "--timeout wants"},
      {{"send", std::string(108, 's'), "--hex", "01"}, "a socket path has 1 to 107 characters"},
      {{"send", "--hex", "01"}, "no SOCKET given"},
  });
}
