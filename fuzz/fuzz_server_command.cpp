// The command server's framing on bytes from a hostile peer. The input,
// after its first byte, is written to a connected socket that a
// PTZSocketServerCommand serves on the default main context; the first byte
// picks how the bytes are split into writes, with the main context run dry
// between them, so messages arrive whole, in pieces and several at once.
// The server's callback echoes every command; the replies read back must be
// exactly those of a reference reading of the same bytes: one per message
// with a payload, in order, with its id and payload, up to the first length
// field that cannot frame a message (the server then drops the connection).
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_framing.h"
#include "fuzz/fuzz_support.h"
#include "ptz_socket_server.h"

namespace {

using velmora::fuzz::header_field;
using velmora::fuzz::kHeaderSize;
using velmora::fuzz::kMessageMax;
using velmora::fuzz::run_dry;

struct Run {
  int closed = 0;
  size_t commands = 0;
};

gboolean echo(gpointer user_data, PTZSocketServerHandle *handle, const gchar *data, gsize length) {
  auto *run = static_cast<Run *>(user_data);
  run->commands++;
  FUZZ_CHECK(length > 0 && length <= kMessageMax - kHeaderSize);
  FUZZ_CHECK(data[length] == '\0');
  FUZZ_CHECK(ptz_socket_server_send(handle, data, length));
  return TRUE;
}

void closed(gpointer user_data) { static_cast<Run *>(user_data)->closed++; }

// Everything the server wrote back, once it has closed its end.
std::string read_all(int fd) {
  std::string bytes;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, size_t(n));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static velmora::fuzz::Session session(true);
  session.next_run();
  if (size == 0) return 0;
  static const size_t kPieces[] = {SIZE_MAX, 1, 2, 3, 5, 8, 13, 64, 700, 2561};
  const size_t piece = kPieces[data[0] % G_N_ELEMENTS(kPieces)];
  data++;
  size--;

  int fds[2];
  FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
  // A served descriptor must be non-blocking for now: the command read keeps
  // reading until the message is complete, which blocks the main context on
  // a blocking descriptor (see tests/socket/test_fuzz_regressions.cpp).
  FUZZ_CHECK(fcntl(fds[1], F_SETFL, O_NONBLOCK) == 0);
  Run run;
  PTZSocketServer *server = ptz_socket_server_fd_new(PTZ_TYPE_SOCKET_SERVER_COMMAND, fds[1], SOCK_STREAM);
  ptz_socket_server_register_callback_full(server, echo, closed, &run);

  for (size_t at = 0; at < size; at += piece) {
    const size_t n = MIN(piece, size - at);
    // Once the server has dropped the connection the rest cannot be written.
    if (write(fds[0], data + at, n) != ssize_t(n)) break;
    run_dry();
  }
  shutdown(fds[0], SHUT_WR);
  run_dry();
  // The end of the stream always ends the connection, which closes the
  // server's descriptor.
  FUZZ_CHECK(run.closed == 1);
  FUZZ_CHECK(PTZ_SOCKET(server)->fd == -1);
  g_object_unref(server);

  const std::string replies = read_all(fds[0]);
  close(fds[0]);
  // One reply per command with a payload (a bare header gets none).
  size_t answered = 0, at = 0;
  for (const velmora::fuzz::Frame &command : velmora::fuzz::reference_frames(data, size)) {
    if (command.payload.empty()) continue;
    answered++;
    FUZZ_CHECK(replies.size() - at >= kHeaderSize);
    const auto *header = reinterpret_cast<const uint8_t *>(replies.data() + at);
    FUZZ_CHECK(header_field(header) == kHeaderSize + command.payload.size());
    FUZZ_CHECK(header_field(header + 4) == command.id);
    FUZZ_CHECK(replies.compare(at + kHeaderSize, command.payload.size(), command.payload) == 0);
    at += kHeaderSize + command.payload.size();
  }
  FUZZ_CHECK(run.commands == answered);
  FUZZ_CHECK(at == replies.size());
  return 0;
}
