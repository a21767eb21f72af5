// The bundled configuration-event library: declarations, change
// descriptions, events broadcast on the (private) system bus, injection.
// test-needs: system-bus
#include <quiral.h>

#include "tests/dbus/bus_support.h"

#ifdef VELMORA_PLATFORM_BUNDLED
#include <quiral_testing.h>

using namespace velmora::testing;

namespace {
constexpr const char *kPath = "/com/brantel/PTZ/Driver";
constexpr const char *kInterface = "com.brantel.Configuration.Legacy";
}  // namespace

TEST(Quiral, ChangeDescriptionIsEscapedPairs) {
  EXPECT_EQ(configuration_event_new("", 0, 0), nullptr);
  EXPECT_EQ(configuration_event_new("cfg", 1, 0), nullptr);
  ConfigurationEvent *event = configuration_event_new("cfg", 0, 0);
  ASSERT_NE(event, nullptr);
  configuration_event_append_escaped_pair_to_change_string(event, "a=b", "c;d\\e");
  configuration_event_append_escaped_pair_to_change_string(event, "empty", nullptr);
  EXPECT_STREQ(quiral_testing_change_string(event), "a\\=b=c\\;d\\\\e;empty=");
  configuration_event_initialize_change_string(event);
  EXPECT_STREQ(quiral_testing_change_string(event), "");
  configuration_event_free(event);

  quiral_testing_fail(QUIRAL_TESTING_NEW, TRUE);
  EXPECT_EQ(configuration_event_new("cfg", 0, 0), nullptr);
  quiral_testing_reset();
}

using QuiralBus = BusTest;

TEST_F(QuiralBus, DeclarationsAreExclusiveAndEventsReachOtherConnections) {
  GDBusConnection *peer = open_peer();
  SignalRecorder events(peer, unique_name_of_system_bus().c_str(), QUIRAL_TESTING_INTERFACE, "Event");
  ConfigurationEvent *mine = configuration_event_new("cfg", 0, 0);
  ConfigurationEvent *theirs = configuration_event_new("other", 0, 0);
  GError *error = nullptr;

  // The error code of a call that must fail.
  auto failure = [&](gboolean ok) {
    EXPECT_FALSE(ok);
    int code = error && error->domain == G_IO_ERROR ? error->code : -1;
    g_clear_error(&error);
    return code;
  };
  ASSERT_TRUE(configuration_event_declare(mine, "ptzd", kPath, kInterface, &error));
  EXPECT_EQ(failure(configuration_event_declare(theirs, "ptzd", kPath, kInterface, &error)), G_IO_ERROR_EXISTS);
  EXPECT_EQ(failure(configuration_event_undeclare(theirs, "ptzd", kPath, kInterface, &error)), G_IO_ERROR_NOT_FOUND);
  EXPECT_EQ(failure(configuration_event_send(theirs, "ptzd", kPath, kInterface, kPath, 1, &error)),
            G_IO_ERROR_NOT_FOUND);
  const char *dotted = "/com/brantel/PTZ/ptz.driver";
  EXPECT_EQ(failure(configuration_event_declare(theirs, "ptzd", dotted, kInterface, &error)),
            G_IO_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(failure(configuration_event_send(mine, "ptzd", kPath, kInterface, "not/a/path", 1, &error)),
            G_IO_ERROR_INVALID_ARGUMENT);

  configuration_event_append_escaped_pair_to_change_string(mine, "zoom", "5");
  ASSERT_TRUE(configuration_event_send(mine, "ptzd", kPath, kInterface, "/com/brantel/PTZ/Driver/1", 7, &error));
  ASSERT_TRUE(events.wait_for(1));
  EXPECT_EQ(events.printed(0),
            "('cfg', 'ptzd', '/com/brantel/PTZ/Driver', 'com.brantel.Configuration.Legacy', "
            "'/com/brantel/PTZ/Driver/1', 7, 'zoom=5')");

  // Freeing a handle withdraws its declarations.
  configuration_event_free(mine);
  EXPECT_TRUE(configuration_event_declare(theirs, "ptzd", kPath, kInterface, &error));
  quiral_testing_fail(QUIRAL_TESTING_UNDECLARE, FALSE);
  EXPECT_FALSE(configuration_event_undeclare(theirs, "ptzd", kPath, kInterface, &error));
  EXPECT_EQ(error, nullptr);
  quiral_testing_reset();
  EXPECT_TRUE(configuration_event_undeclare(theirs, "ptzd", kPath, kInterface, &error));
  configuration_event_free(theirs);
  g_object_unref(peer);
}
#endif
