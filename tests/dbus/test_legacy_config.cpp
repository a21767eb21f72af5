// The legacy configuration service on a private bus: export, declaration,
// "PropertiesChanged" seen by another connection, configuration events.
// test-needs: system-bus
#include <quiral.h>

#include "ptz_gdbus.h"
#include "ptz_legacy_config.h"
#include "tests/dbus/bus_support.h"
#ifdef VELMORA_PLATFORM_BUNDLED
#include <quiral_testing.h>
#endif

using namespace velmora::testing;

namespace {

constexpr const char *kInterface = "com.brantel.Configuration.Legacy";

class LegacyConfigTest : public BusTest {
 protected:
  void SetUp() override {
    BusTest::SetUp();
    if (IsSkipped()) return;
    peer = open_peer();
    us = unique_name_of_system_bus();
    skeleton = G_DBUS_INTERFACE_SKELETON(ptz_legacy_config_dynamic_configuration_legacy_skeleton_new());
  }
  void TearDown() override {
    if (skeleton) g_object_unref(skeleton);
    if (peer) g_object_unref(peer);
  }
  bool exported() { return g_dbus_interface_skeleton_get_connection(skeleton) != nullptr; }

  GDBusConnection *peer = nullptr;
  std::string us;
  GDBusInterfaceSkeleton *skeleton = nullptr;
};

}  // namespace

// A dotted object name is exported with slashes; the declaration, the
// announcements and the events name that same path. Events carry the
// table's pairs, a NULL value as empty text.
TEST_F(LegacyConfigTest, DottedObjectUsesOnePathForExportDeclarationSignalsAndEvents) {
  SignalRecorder declarations(peer, us.c_str(), "com.brantel.ConfigurationEvent");
  SignalRecorder changes(peer, us.c_str(), "org.freedesktop.DBus.Properties", "PropertiesChanged");
  PTZLegacyConfigHandler *handler = ptz_legacy_config_setup(skeleton, "ptzconfig", "ptzd", "ptz.driver");
  ASSERT_NE(handler, nullptr);
  const std::string path = "/com/brantel/PTZ/ptz/driver";
  EXPECT_EQ(g_dbus_interface_skeleton_get_object_path(skeleton), path);

  GValue value = G_VALUE_INIT;
  g_value_set_int(g_value_init(&value, G_TYPE_INT), 1);
  ptz_legacy_config_prop_changed(handler, "zoom", &value);
  GHashTable *pairs = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(pairs, (gpointer) "a;b", (gpointer) "c=d");
  EXPECT_TRUE(ptz_legacy_config_send_event(handler, 5, 2, pairs));
  g_hash_table_remove_all(pairs);
  g_hash_table_insert(pairs, (gpointer) "name", nullptr);
  EXPECT_TRUE(ptz_legacy_config_send_event(handler, 6, -1, pairs));
  g_hash_table_unref(pairs);
  ASSERT_TRUE(changes.wait_for(1));
  EXPECT_EQ(changes.signals[0].path, path);
  ASSERT_TRUE(declarations.wait_for(3));
  const std::string prefix = "('ptzconfig', 'ptzd', '" + path + "', '" + kInterface + "'";
  EXPECT_EQ(declarations.signals[0].member, "Declared");
  EXPECT_EQ(declarations.printed(0), prefix + ")");
  EXPECT_EQ(declarations.printed(1), prefix + ", '" + path + "/2', 5, 'a\\\\;b=c\\\\=d')");
  EXPECT_EQ(declarations.printed(2), prefix + ", '" + path + "', 6, 'name=')");

  ptz_legacy_config_cleanup(handler);
  ASSERT_TRUE(declarations.wait_for(4));
  EXPECT_EQ(declarations.signals[3].member, "Undeclared");
  EXPECT_FALSE(exported());
  ptz_legacy_config_cleanup(nullptr);
}

TEST_F(LegacyConfigTest, OnePropertiesChangedPerConvertibleValue) {
  PTZLegacyConfigHandler *handler = ptz_legacy_config_setup(skeleton, "ptzconfig", "ptzd", "Driver");
  ASSERT_NE(handler, nullptr);
  SignalRecorder changes(peer, us.c_str(), "org.freedesktop.DBus.Properties", "PropertiesChanged",
                         "/com/brantel/PTZ/Driver");
  LogCapture log;
  auto send = [&](GType type, auto set, auto v, const char *key) {
    GValue value = G_VALUE_INIT;
    set(g_value_init(&value, type), v);
    ptz_legacy_config_prop_changed(handler, key, &value);
    g_value_unset(&value);
  };
  send(G_TYPE_INT, g_value_set_int, 7, "zoom");
  send(G_TYPE_BOOLEAN, g_value_set_boolean, TRUE, "auto");
  send(G_TYPE_STRING, g_value_set_string, "abc", "name");
  send(G_TYPE_DOUBLE, g_value_set_double, 1.5, "ratio");
  send(G_TYPE_STRING, g_value_set_string, nullptr, "empty");
  send(G_TYPE_INT, g_value_set_int, -1, "last");
  ASSERT_TRUE(changes.wait_for(5));
  iterate_for(100);
  // Strings go as byte strings with their terminating NUL (printed b'...').
  const char *dictionaries[] = {"{'zoom': <7>}", "{'auto': <true>}", "{'name': <b'abc'>}", "{'empty': <b''>}",
                                "{'last': <-1>}"};
  ASSERT_EQ(changes.signals.size(), 5u);
  for (size_t i = 0; i < 5; i++)
    EXPECT_EQ(changes.printed(i), std::string("('") + kInterface + "', " + dictionaries[i] + ", @as [])");
  EXPECT_TRUE(log.contains(LOG_ERR,
                           "ptz_legacy_config_prop_changed: Can not convert key ratio "
                           "type gdouble to GVariant!"));
  ptz_legacy_config_cleanup(handler);
}

TEST_F(LegacyConfigTest, FailuresAreLoggedAndSetupLeavesNothingExported) {
  LogCapture log;
  // The object is declared already by someone else in this process.
  ConfigurationEvent *other = configuration_event_new("other", 0, 0);
  ASSERT_TRUE(configuration_event_declare(other, "ptzd", "/com/brantel/PTZ/Driver", kInterface, nullptr));
  EXPECT_EQ(ptz_legacy_config_setup(skeleton, "ptzconfig", "ptzd", "Driver"), nullptr);
  EXPECT_EQ(log.count_containing("ptz_legacy_config_setup: Could not declare configuration event "
                                 "for /com/brantel/PTZ/Driver: "),
            1u);
  EXPECT_FALSE(exported());
  configuration_event_free(other);

  EXPECT_EQ(ptz_legacy_config_setup(skeleton, "ptzconfig", "ptzd", "bad-name"), nullptr);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_legacy_config_setup: Failed to register DBus object bad-name!"));
  EXPECT_EQ(ptz_legacy_config_setup(skeleton, "", "ptzd", "Driver"), nullptr);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_legacy_config_setup: Failed to create configuration event for !"));
  EXPECT_FALSE(exported());

  PTZLegacyConfigHandler *handler = ptz_legacy_config_setup(skeleton, "ptzconfig", "ptzd", "Driver");
  ASSERT_NE(handler, nullptr);
#ifdef VELMORA_PLATFORM_BUNDLED
  // Failed sends and undeclarations are logged and survived; a declaration
  // that fails without saying why is logged with an empty reason.
  quiral_testing_fail(QUIRAL_TESTING_SEND, TRUE);
  EXPECT_FALSE(ptz_legacy_config_send_event(handler, 1, -1, nullptr));
  EXPECT_TRUE(log.contains(LOG_WARNING, "Failed to send configuration event, message = injected failure"));
  quiral_testing_fail(QUIRAL_TESTING_UNDECLARE, TRUE);
  ptz_legacy_config_cleanup(handler);
  EXPECT_TRUE(log.contains(LOG_WARNING, "Could not undeclare injected failure"));
  quiral_testing_reset();
  quiral_testing_fail(QUIRAL_TESTING_DECLARE, FALSE);
  EXPECT_EQ(ptz_legacy_config_setup(skeleton, "ptzconfig", "ptzd", "Driver"), nullptr);
  EXPECT_TRUE(log.contains(LOG_ERR,
                           "ptz_legacy_config_setup: Could not declare configuration event "
                           "for /com/brantel/PTZ/Driver: "));
  quiral_testing_reset();
#else
  ptz_legacy_config_cleanup(handler);
#endif
  EXPECT_FALSE(exported());
}

TEST(LegacyConfigAssertions, NullArgumentsAreFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GValue value = G_VALUE_INIT;
  g_value_init(&value, G_TYPE_INT);
  auto *fake = reinterpret_cast<PTZLegacyConfigHandler *>(&value);  // never dereferenced
  EXPECT_DEATH(ptz_legacy_config_prop_changed(nullptr, "k", &value), "handler != NULL");
  EXPECT_DEATH(ptz_legacy_config_prop_changed(fake, nullptr, &value), "key != NULL");
  EXPECT_DEATH(ptz_legacy_config_prop_changed(fake, "k", nullptr), "value != NULL");
  EXPECT_DEATH(ptz_legacy_config_send_event(nullptr, 0, -1, nullptr), "handler != NULL");
}
