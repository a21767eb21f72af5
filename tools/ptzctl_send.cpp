// ptzctl send: one framed command to a command socket, and its reply.
#include <stdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <ptz_serialize.h>
#include <ptz_socket_client.h>

#include "ptzctl.h"
#include "ptzctl_output.h"
#include "ptzctl_pieces.h"

namespace ptzctl {
namespace {

const Command kSend = {"send",
                       "Usage: ptzctl send SOCKET (PIECE... | --hex HEX | --file FILE)\n"
                       "                   [--reply TYPES] [--timeout MS] [--json]\n"
                       "\n"
                       "Connect to the command server at the Unix socket SOCKET, send one framed\n"
                       "command with the given payload and print the reply: its id and length,\n"
                       "then its payload as a hex dump, then (with --reply) its decoded pieces.\n"
                       "\n"
                       "A PIECE is TYPE:VALUE, encoded as the library's payload encoding does:\n"
                       "  u8 u16 u32 u64    unsigned integers (decimal, or hex with 0x)\n"
                       "  i8 i16 i32 i64    signed integers\n"
                       "  f32 f64           floating-point numbers (4 and 8 bytes, IEEE 754)\n"
                       "  bool              0 or 1 (also true, false, yes, no) as 4 bytes\n"
                       "  str               text: a 16-bit length, then its bytes\n"
                       "  hex               raw bytes, as for --hex\n"
                       "All in host byte order. Example: u32:23 str:door\n"
                       "\n"
                       "Options:\n"
                       "  --hex HEX       the payload as hex digits, e.g. '0500 0000' or 05:00:00:00\n"
                       "  --file FILE     the payload is the contents of FILE\n"
                       "  --reply TYPES   decode the reply as these types, e.g. u32,u32,str; hex:N\n"
                       "                  takes N bytes, a last bare hex whatever is left\n"
                       "  --timeout MS    how long to wait for the reply, 1 to 360000 ms (default 10000)\n"
                       "  --json          print the reply as one JSON document\n"
                       "\n"
                       "A payload holds 1 to 2552 bytes (a command without payload is never\n"
                       "answered). Exit status: 0 replied (and decoded), 1 no connection, no\n"
                       "reply, unreadable file or a reply too short for --reply, 2 usage error\n"
                       "(including bad hex and bad pieces).\n"};

// The largest payload of a framed message (2560 bytes with its header).
constexpr gsize kPayloadMax = 2552;

struct Exchange {
  bool done = false;
  bool answered = false;
  std::string reply;
};

// The reply dispatcher: a reply, or (NULL, 0) for a command that expired or
// whose connection was lost.
void on_reply(gpointer user_data, const gchar *data, gsize length) {
  auto *exchange = static_cast<Exchange *>(user_data);
  exchange->done = true;
  if (data == nullptr) return;
  exchange->answered = true;
  exchange->reply.assign(data, length);
}

gboolean on_timeout(gpointer data) {
  *static_cast<bool *>(data) = true;
  return G_SOURCE_REMOVE;
}

// Why nothing could connect to `path`.
std::string connect_failure(const std::string &path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return g_strerror(errno);
  if (!S_ISSOCK(info.st_mode)) return "not a socket";
  return "no server accepts connections there";
}

// The payload of typed pieces.
int build_payload(const std::vector<std::string> &pieces, std::string *payload) {
  GArray *array = ptz_serialize_create_array();
  std::string error;
  bool ok = true;
  for (const std::string &piece : pieces)
    if (!(ok = encode_piece(piece, array, &error))) break;
  payload->assign(array->data, array->len);
  g_array_free(array, TRUE);
  if (!ok) return usage_error(kSend, "%s", error.c_str());
  return kExitOk;
}

int check_size(const std::string &payload) {
  if (payload.empty()) return usage_error(kSend, "an empty payload is never answered");
  if (payload.size() > kPayloadMax)
    return usage_error(kSend, "the payload has %zu bytes; at most %zu fit a message", payload.size(), kPayloadMax);
  return kExitOk;
}

int read_payload(const std::vector<Argument> &arguments, const std::vector<std::string> &pieces, std::string *payload) {
  const Argument *hex = last_option(arguments, "hex");
  const Argument *file = last_option(arguments, "file");
  if ((hex != nullptr) + (file != nullptr) + !pieces.empty() != 1)
    return usage_error(kSend, "give the payload as PIECEs or with exactly one of --hex and --file");
  if (!pieces.empty()) {
    int code = build_payload(pieces, payload);
    return code != kExitOk ? code : check_size(*payload);
  }
  if (hex != nullptr) {
    std::string error;
    if (!parse_hex(hex->value, payload, &error)) return usage_error(kSend, "bad --hex: %s", error.c_str());
    return check_size(*payload);
  }
  gchar *contents = nullptr;
  gsize length = 0;
  GError *error = nullptr;
  if (!g_file_get_contents(file->value.c_str(), &contents, &length, &error)) {
    int code = fail(kSend, "%s", error->message);
    g_error_free(error);
    return code;
  }
  payload->assign(contents, length);
  g_free(contents);
  if (payload->empty()) return fail(kSend, "'%s' is empty; an empty payload is never answered", file->value.c_str());
  if (payload->size() > kPayloadMax)
    return fail(kSend, "'%s' has %zu bytes; at most %zu fit a message", file->value.c_str(), payload->size(),
                kPayloadMax);
  return kExitOk;
}

// Prints the reply, decoded by `layout` when one is given; kExitFailure when
// the reply is too short for it.
int print_reply(const std::string &path, guint32 id, const std::string &reply, const std::vector<ReplyPiece> &layout,
                bool json) {
  std::vector<DecodedPiece> pieces;
  std::string error;
  long left = layout.empty() ? 0 : decode_reply(reply, layout, &pieces, &error);
  if (json) {
    JsonWriter out;
    out.begin_object().member("socket", path).key("id").unsigned_integer(id);
    out.key("length").unsigned_integer(reply.size()).member("payload", hex_digits(reply));
    if (!layout.empty()) {
      out.key("reply").begin_array();
      for (const DecodedPiece &piece : pieces) {
        out.begin_object().member("type", piece.type).key("value");
        piece.write_json(out);
        out.end_object();
      }
      out.end_array();
      if (left >= 0)
        out.key("left").integer(left);
      else
        out.member("error", error);
    }
    out.end_object().print();
  } else {
    printf("id %u, %zu bytes\n%s", id, reply.size(), hex_dump(reply).c_str());
    for (const DecodedPiece &piece : pieces) printf("%-6s %s\n", piece.type.c_str(), piece.text().c_str());
    if (left > 0) printf("(%ld more bytes)\n", left);
    fflush(stdout);
  }
  if (left < 0) return fail(kSend, "the reply does not hold the --reply pieces: %s", error.c_str());
  return kExitOk;
}

}  // namespace

int run_send(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  if (!parse_arguments(
          kSend, argc, argv, first,
          {{"hex", 'x', true}, {"file", 'f', true}, {"timeout", 't', true}, {"reply", 'r', true}, kJsonOption},
          &arguments, &code))
    return code;
  std::vector<std::string> words = operands(arguments);
  if (words.empty()) return usage_error(kSend, "no SOCKET given");
  const std::string &path = words[0];
  if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path))
    return usage_error(kSend, "a socket path has 1 to %zu characters", sizeof(sockaddr_un::sun_path) - 1);
  int64_t timeout_ms = 10000;
  if ((code = option_integer(kSend, last_option(arguments, "timeout"), 1, 360000, &timeout_ms))) return code;
  std::vector<ReplyPiece> layout;
  if (const Argument *reply = last_option(arguments, "reply")) {
    std::string error;
    if (!parse_reply_layout(reply->value, &layout, &error)) return usage_error(kSend, "%s", error.c_str());
  }
  std::string payload;
  if ((code = read_payload(arguments, {words.begin() + 1, words.end()}, &payload)) != kExitOk) return code;

  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  if (PTZ_SOCKET(client)->fd < 0) {
    g_object_unref(client);
    return fail(kSend, "cannot connect to '%s': %s", path.c_str(), connect_failure(path).c_str());
  }
  Exchange exchange;
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), on_reply, nullptr);
  guint32 id = guint32(g_atomic_int_get(reinterpret_cast<gint *>(&client->next_id)));
  if (!ptz_socket_client_command_async_send(client, payload.data(), payload.size(), &exchange)) {
    g_object_unref(client);
    return fail(kSend, "cannot send to '%s'", path.c_str());
  }
  bool timed_out = false;
  guint timer = g_timeout_add(guint(timeout_ms), on_timeout, &timed_out);
  while (!exchange.done && !timed_out) g_main_context_iteration(nullptr, TRUE);
  if (!timed_out) g_source_remove(timer);
  g_object_unref(client);

  if (exchange.done && !exchange.answered)
    return fail(kSend, "the connection to '%s' ended without a reply to id %u", path.c_str(), id);
  if (!exchange.done)
    return fail(kSend, "no reply from '%s' to id %u within %lld ms", path.c_str(), id, (long long)timeout_ms);
  return print_reply(path, id, exchange.reply, layout, wants_json(arguments));
}

}  // namespace ptzctl
