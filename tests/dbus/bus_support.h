// Helpers for tests against the private system bus that the CTest fixture
// "system_bus" (or scripts/with-private-bus.sh) starts; they never touch a
// real system bus. A test file that uses them carries the line
// "// test-needs: system-bus".
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "velmora_test.h"

namespace velmora::testing {

class BusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_getenv("DBUS_SYSTEM_BUS_ADDRESS") == nullptr)
      GTEST_SKIP() << "DBUS_SYSTEM_BUS_ADDRESS is unset: run through ctest, or under scripts/with-private-bus.sh";
  }
};

// A service name that no concurrently running test process uses.
inline std::string unique_name(const std::string &tag) { return "T" + std::to_string(getpid()) + tag; }

// A connection of its own, as another process on the bus would have.
inline GDBusConnection *open_peer() {
  gchar *address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
  GDBusConnection *peer =
      g_dbus_connection_new_for_address_sync(address,
                                             GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                  G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                             nullptr, nullptr, nullptr);
  g_free(address);
  EXPECT_NE(peer, nullptr);
  return peer;
}

// The unique name of this process's shared system-bus connection (the one
// the library's classes use), kept open for the life of the process as
// those classes do.
inline std::string unique_name_of_system_bus() {
  static GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
  return bus ? g_dbus_connection_get_unique_name(bus) : "";
}

inline std::string print(GVariant *value) {
  gchar *text = g_variant_print(value, TRUE);
  std::string result = text;
  g_free(text);
  return result;
}

// Calls a method while iterating the default main context, so that objects
// exported by this very process can answer. Returns the reply or NULL.
inline GVariant *call_iterating(GDBusConnection *connection, const std::string &destination, const std::string &path,
                                const char *interface, const char *method, GVariant *parameters,
                                GError **error = nullptr) {
  struct Result {
    bool done = false;
    GVariant *reply = nullptr;
    GError *error = nullptr;
  } result;
  g_dbus_connection_call(
      connection, destination.c_str(), path.c_str(), interface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
      nullptr,
      [](GObject *source, GAsyncResult *res, gpointer data) {
        auto *r = static_cast<Result *>(data);
        r->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, &r->error);
        r->done = true;
      },
      &result);
  iterate_until([&] { return result.done; }, 30000);
  if (error != nullptr)
    *error = result.error;
  else
    g_clear_error(&result.error);
  return result.reply;
}

// Records the signals that a connection receives for one match.
class SignalRecorder {
 public:
  struct Signal {
    std::string sender, path, member;
    GVariant *parameters;
  };

  SignalRecorder(GDBusConnection *connection, const char *sender, const char *interface, const char *member = nullptr,
                 const char *path = nullptr)
      : connection_(G_DBUS_CONNECTION(g_object_ref(connection))) {
    id_ = g_dbus_connection_signal_subscribe(
        connection, sender, interface, member, path, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection *, const gchar *s, const gchar *p, const gchar *, const gchar *m, GVariant *params,
           gpointer self) {
          static_cast<SignalRecorder *>(self)->signals.push_back({s, p, m, g_variant_ref(params)});
        },
        this, nullptr);
    // A round trip to the bus daemon puts the match rule in place before
    // anything is emitted.
    GVariant *id =
        g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "GetId", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (id) g_variant_unref(id);
  }
  ~SignalRecorder() {
    g_dbus_connection_signal_unsubscribe(connection_, id_);
    for (auto &s : signals) g_variant_unref(s.parameters);
    g_object_unref(connection_);
  }
  bool wait_for(size_t n) {
    return iterate_until([&] { return signals.size() >= n; }, 30000);
  }
  std::string printed(size_t i) const { return print(signals.at(i).parameters); }

  std::vector<Signal> signals;

 private:
  GDBusConnection *connection_;
  guint id_;
};

}  // namespace velmora::testing
