// The command client's framing on bytes from a hostile server. A
// PTZSocketClientCommand on one end of a connected socket sends up to three
// asynchronous commands (ids 0 to 2); a fake server on the other end answers
// with the input: a first part is read by the client's source on the default
// main context, the rest arrives while the client waits in a synchronous
// send (the next id), after which the fake server closes its end.
//   input[0]: number of asynchronous commands (mod 4)
//   input[1]: where the answer is split, in steps of 16 bytes
//   input[2..]: the answer
// Checked against a reference reading of the same bytes (messages up to the
// first length field that cannot frame one): the synchronous send succeeds
// exactly when a message with its id completes after the split, and returns
// its payload; every asynchronous command is reported exactly once, with the
// payload of a message with its id when there is one, and without data
// otherwise.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fuzz/fuzz_framing.h"
#include "fuzz/fuzz_support.h"
#include "ptz_socket_client.h"

namespace {

using velmora::fuzz::Frame;
using velmora::fuzz::header_field;
using velmora::fuzz::kHeaderSize;
using velmora::fuzz::kMessageMax;
using velmora::fuzz::run_dry;

constexpr guint32 kMaxAsync = 3;

struct Outcome {
  int reports = 0;   // calls of the reply dispatcher
  int released = 0;  // calls of the free callback
  bool with_data = false;
  std::string payload;
};

void dispatcher(gpointer user_data, const gchar *data, gsize length) {
  auto *outcome = static_cast<Outcome *>(user_data);
  outcome->reports++;
  if (data == nullptr) {
    FUZZ_CHECK(length == 0);
    return;
  }
  FUZZ_CHECK(length <= kMessageMax - kHeaderSize);
  FUZZ_CHECK(data[length] == '\0');
  outcome->with_data = true;
  outcome->payload.assign(data, length);
}

void release(gpointer command_data, gpointer) { static_cast<Outcome *>(command_data)->released++; }

// Reads exactly `size` bytes unless `cancel` becomes readable first.
bool read_exactly(int fd, int cancel, uint8_t *buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {cancel, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) return false;
    if (fds[1].revents != 0) return false;
    ssize_t n = read(fd, buffer + got, size - got);
    if (n <= 0) return false;
    got += size_t(n);
  }
  return true;
}

// The fake server's part while the client waits: the synchronous command
// comes in, the rest of the answer goes out, then the end of the stream.
void answer_sync(int fd, int cancel, guint32 id, const uint8_t *rest, size_t size) {
  uint8_t request[kHeaderSize + 4];
  if (read_exactly(fd, cancel, request, sizeof request)) {
    FUZZ_CHECK(header_field(request) == sizeof request && header_field(request + 4) == id);
    if (size > 0 && write(fd, rest, size) != ssize_t(size)) {
      // The client dropped the connection on a broken frame.
    }
  }
  shutdown(fd, SHUT_WR);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static velmora::fuzz::Session session(true);
  session.next_run();
  if (size < 2) return 0;
  const guint32 commands = data[0] % (kMaxAsync + 1);
  const uint8_t *answer = data + 2;
  const size_t length = size - 2;
  const size_t split = MIN(size_t(data[1]) * 16, length);
  const std::vector<Frame> frames = velmora::fuzz::reference_frames(answer, length);

  int fds[2], cancel[2];
  FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
  FUZZ_CHECK(pipe2(cancel, O_CLOEXEC) == 0);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, fds[0], SOCK_STREAM);
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), dispatcher, nullptr);
  ptz_socket_client_command_register_free_callback(client, release, nullptr);

  Outcome outcomes[kMaxAsync];
  for (guint32 i = 0; i < commands; i++) {
    FUZZ_CHECK(ptz_socket_client_command_async_send(client, "cmd", 3, &outcomes[i]));
    uint8_t request[kHeaderSize + 3];
    FUZZ_CHECK(read_exactly(fds[1], cancel[0], request, sizeof request));
    FUZZ_CHECK(header_field(request) == sizeof request && header_field(request + 4) == i);
  }
  if (split > 0 && write(fds[1], answer, split) != ssize_t(split)) __builtin_trap();
  run_dry();

  std::thread server(answer_sync, fds[1], cancel[0], commands, answer + split, length - split);
  uint8_t reply[kMessageMax - kHeaderSize];
  gsize reply_length = G_MAXSIZE;
  const gboolean answered = ptz_socket_client_command_sync_send(client, "sync", 4, reply, &reply_length);
  // A client that never sent (its connection broke before) leaves the fake
  // server waiting: let it go.
  FUZZ_CHECK(write(cancel[1], "x", 1) == 1);
  server.join();
  run_dry();
  g_object_unref(client);
  run_dry();
  close(fds[0]);
  close(fds[1]);
  close(cancel[0]);
  close(cancel[1]);

  // The synchronous reply: the first message with its id that the client
  // could not have read before it sent.
  const Frame *sync_reply = nullptr;
  for (const Frame &frame : frames)
    if (frame.id == commands && frame.end > split) {
      sync_reply = &frame;
      break;
    }
  FUZZ_CHECK(bool(answered) == (sync_reply != nullptr));
  if (answered) {
    FUZZ_CHECK(reply_length == sync_reply->payload.size());
    FUZZ_CHECK(memcmp(reply, sync_reply->payload.data(), reply_length) == 0);
  }

  for (guint32 i = 0; i < commands; i++) {
    const Outcome &outcome = outcomes[i];
    FUZZ_CHECK(outcome.reports + outcome.released == 1);
    const Frame *first = nullptr;
    bool known = false;
    for (const Frame &frame : frames) {
      if (frame.id != i) continue;
      if (first == nullptr) first = &frame;
      known = known || frame.payload == outcome.payload;
    }
    if (outcome.with_data) {
      FUZZ_CHECK(known);
    } else {
      // A command reported without data had no reply in the stream.
      FUZZ_CHECK(first == nullptr);
    }
  }
  return 0;
}
