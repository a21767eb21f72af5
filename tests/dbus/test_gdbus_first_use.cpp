// The classes' first use in a process that already used and released the
// shared system-bus connection: opening the bus must not wait on GDBus's
// worker thread while the type system is busy initialising a class (that
// stalls for the call timeout and then ends the process with status 42).
// test-needs: system-bus
#include "bus_support.h"
#include "ptz_gdbus.h"

using velmora::testing::BusTest;
using velmora::testing::Child;

TEST_F(BusTest, FirstUseAfterTheSharedConnectionWasReleasedNeverStalls) {
  for (int round = 0; round < 30; round++) {
    Child child([] {
      GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
      if (bus == nullptr) return 3;
      g_object_unref(bus);
      PTZGDBusClient *client = ptz_g_dbus_client_new();
      auto *server = static_cast<PTZGDBusServer *>(g_object_new(PTZ_TYPE_G_DBUS_SERVER, nullptr));
      g_object_unref(server);
      g_object_unref(client);
      return 0;
    });
    ASSERT_EQ(child.wait(10000), 0) << "round " << round;
  }
}
