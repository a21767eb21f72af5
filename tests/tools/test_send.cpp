// ptzctl send: framed commands to a real command server (the library's, on
// the test's main loop) and to a raw peer that answers badly or not at all.
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include <ptz_serialize.h>
#include <ptz_socket_server.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using ::testing::HasSubstr;
using velmora::testing::JsonDoc;
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
  // A command server on the test's main loop that answers every command
  // with its own payload.
  std::string echo_server() {
    std::string path = dir_.file("echo.sock");
    echo_ = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
    ptz_socket_server_register_callback(
        PTZ_SOCKET_SERVER(echo_),
        [](gpointer data, PTZSocketServerHandle *handle, const gchar *payload, gsize length) -> gboolean {
          static_cast<std::vector<std::string> *>(data)->emplace_back(payload, length);
          ptz_socket_server_send(handle, payload, length);
          return TRUE;
        },
        &received_);
    return path;
  }
  void TearDown() override {
    if (echo_ != nullptr) g_object_unref(echo_);
  }

  velmora::testing::TempDir dir_;
  PTZSocketServerCommand *echo_ = nullptr;
  std::vector<std::string> received_;
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
  velmora::testing::expect_failures(
      1, {
             {{"send", dir_.file("none.sock"), "--hex", "01"}, "No such file or directory"},
             {{"send", dir_.write("plain", "x"), "--hex", "01"}, "not a socket"},
             {{"send", stale, "--hex", "01"}, "no server accepts connections there"},
             {{"send", stale, "--file", dir_.file("missing")}, "missing"},
             {{"send", stale, "--file", dir_.write("empty", "")}, "is empty"},
             {{"send", stale, "--file", dir_.write("huge", std::string(2553, 'x'))}, "has 2553 bytes; at most 2552"},
         });
  velmora::testing::expect_failures(
      2, {
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

// Typed pieces are encoded as the library's writers encode them, and the
// echoed reply decodes back to the same values, as text and as JSON.
TEST_F(SendTest, PiecesEncodeAsTheLibraryDoesAndRepliesDecodeBack) {
  std::string path = echo_server();
  GArray *expected = ptz_serialize_create_array();
  ptz_serialize_32bit(expected, 7);
  ptz_serialize_32bit(expected, guint32(-5));
  float single = 1.5f;
  double real = 0.1;
  guint32 word;
  memcpy(&word, &single, 4);
  ptz_serialize_32bit(expected, word);
  ptz_serialize_blob(expected, &real, 8);
  ptz_serialize_string(expected, "entrance: \"A\"");
  ptz_serialize_32bit(expected, 1);
  ptz_serialize_blob(expected, "\x0a\x0b", 2);
  ptz_serialize_8bit(expected, 255);
  ptz_serialize_16bit(expected, 0x1234);
  gint64 most_negative = G_MININT64;
  guint64 largest = G_MAXUINT64;
  ptz_serialize_blob(expected, &most_negative, 8);
  ptz_serialize_blob(expected, &largest, 8);
  ptz_serialize_8bit(expected, guint8(-128));
  ptz_serialize_string(expected, "");
  std::string bytes(expected->data, expected->len);
  g_array_free(expected, TRUE);

  std::vector<std::string> command = {"send",
                                      path,
                                      "u32:7",
                                      "i32:-5",
                                      "f32:1.5",
                                      "f64:0.1",
                                      "str:entrance: \"A\"",
                                      "bool:yes",
                                      "hex:0a0b",
                                      "u8:0xff",
                                      "u16:4660",
                                      "i64:-9223372036854775808",
                                      "u64:18446744073709551615",
                                      "i8:-128",
                                      "str:",
                                      "--reply",
                                      "u32,i32,f32,f64,str,bool,hex:2,u8,u16,i64,u64,i8,str"};
  std::string out = output_of(command, true);
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0], bytes);
  EXPECT_THAT(out, HasSubstr("|\nu32    7\ni32    -5\nf32    1.5\nf64    0.1\nstr    \"entrance: \\\"A\\\"\"\n"
                             "bool   true\nhex:2  0a 0b\nu8     255\nu16    4660\ni64    -9223372036854775808\n"
                             "u64    18446744073709551615\ni8     -128\nstr    \"\"\n"));
  EXPECT_THAT(out, ::testing::Not(HasSubstr("more bytes")));

  command.push_back("--json");
  std::string json_text = output_of(command, true);
  JsonDoc json(json_text);
  EXPECT_EQ(json.text("id"), "0");
  EXPECT_EQ(json.text("length"), std::to_string(bytes.size()));
  EXPECT_EQ(json.string("payload").substr(0, 16), "07000000fbffffff");
  EXPECT_EQ(json.text("reply/3"), R"({"type":"f64","value":0.10000000000000001})");  // json-glib writes 17 digits
  EXPECT_EQ(json.string("reply/4/value"), "entrance: \"A\"");
  EXPECT_EQ(json.text("reply/5/value"), "true");
  EXPECT_EQ(json.string("reply/6/value"), "0a0b");
  EXPECT_THAT(json_text, HasSubstr(R"({"type":"u64","value":18446744073709551615})"));
  EXPECT_EQ(json.text("left"), "0");

  // A reply longer than the pieces asked for, a bare hex for the rest, and
  // one too short for them: what fits is printed, the rest is a failure.
  EXPECT_THAT(output_of({"send", path, "u32:1", "u16:2", "--reply", "u32"}, true),
              HasSubstr("\nu32    1\n(2 more bytes)\n"));
  EXPECT_THAT(output_of({"send", path, "u32:1", "u16:2", "--reply", "u8,hex"}, true),
              HasSubstr("\nu8     1\nhex    00 00 00 02 00\n"));
  auto run = velmora::testing::run_ptzctl({"send", path, "u32:1", "u16:2", "--reply", "u32,str", "-j"}, true);
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("piece 2 (str) needs 4 bytes at offset 4, but 2 remain"));
  JsonDoc partial(run.out);
  EXPECT_EQ(partial.text("reply"), R"([{"type":"u32","value":1}])");
  EXPECT_THAT(partial.string("error"), HasSubstr("piece 2 (str)"));
}

TEST_F(SendTest, BadPiecesAndReplyLayoutsAreUsageErrors) {
  std::string stale = dir_.file("none.sock");
  velmora::testing::expect_failures(
      2, {
             {{"send", stale, "u8:256"}, "'256' is not an unsigned 8-bit number (u8)"},
             {{"send", stale, "u32:-1"}, "'-1' is not an unsigned 32-bit number"},
             {{"send", stale, "u64:18446744073709551616"}, "unsigned 64-bit"},
             {{"send", stale, "i8:-129"}, "'-129' is not a signed 8-bit number (i8)"},
             {{"send", stale, "i16:32768"}, "signed 16-bit"},
             {{"send", stale, "f32:1e39"}, "'1e39' is not a single-precision number"},
             {{"send", stale, "f64:1e999"}, "double-precision"},
             {{"send", stale, "f64:1.5x"}, "double-precision"},
             {{"send", stale, "bool:maybe"}, "is not a boolean"},
             {{"send", stale, "hex:0g"}, "bad hex piece"},
             {{"send", stale, "int:5"}, "'int:5' is not TYPE:VALUE with TYPE one of u8 u16"},
             {{"send", stale, "u32"}, "is not TYPE:VALUE"},
             {{"send", stale, "str:" + std::string(65536, 'x')}, "at most 65535 bytes"},
             {{"send", stale, "str:" + std::string(2551, 'x')}, "the payload has 2553 bytes; at most 2552"},
             {{"send", stale, "hex:"}, "an empty payload is never answered"},
             {{"send", stale, "u8:1", "--hex", "01"},
              "give the payload as PIECEs or with exactly one of --hex and --file"},
             {{"send", stale, "u8:1", "--reply", "u8,hex,u8"},
              "a bare hex takes the rest of the reply: it must come last"},
             {{"send", stale, "u8:1", "--reply", "u8,,u8"}, "'' is not a reply type"},
             {{"send", stale, "u8:1", "--reply", "hex:0"}, "'hex:0' is not a reply type"},
         });
}
