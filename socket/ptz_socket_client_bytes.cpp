// Synchronous commands with GBytes payloads, for callers that cannot hand the
// library a reply buffer (language bindings).
#include "common/ptz_guard.h"
#include "ptz_socket_client.h"
#include "ptz_socket_server.h"

GBytes *ptz_socket_client_command_sync_send_bytes(PTZSocketClientCommand *client, GBytes *payload) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_SOCKET_CLIENT_COMMAND(client), nullptr);
  PTZ_RETURN_VAL_IF_FAIL(payload != nullptr, nullptr);
  gsize length = 0;
  gconstpointer data = g_bytes_get_data(payload, &length);
  guint8 reply[PTZ_SOCKET_MESSAGE_MAX - PTZ_SOCKET_HEADER_SIZE];
  gsize reply_length = 0;
  if (!ptz_socket_client_command_sync_send(client, data != nullptr ? data : "", length, reply, &reply_length))
    return nullptr;
  return g_bytes_new(reply, MIN(reply_length, sizeof reply));
}
