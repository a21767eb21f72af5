// The registered vocabulary is the contract between the framework's
// processes: every row is checked through GLib's own class lookups.
#include <string>
#include <thread>
#include <vector>

#include "expected_vocabulary.h"
#include "ptz_enum_types.h"
#include "velmora_test.h"

using velmora::testing::LogCapture;

// The registered rows in order, as "value\tname\tnick\n" lines, checking on
// the way that GLib finds each row again by value, name and nick.
template <typename Class, typename Value>
std::string registered_rows(Class *klass, Value *(*by_name)(Class *, const gchar *),
                            Value *(*by_nick)(Class *, const gchar *)) {
  std::string rows;
  for (guint i = 0; i < klass->n_values; i++) {
    const Value &v = klass->values[i];
    EXPECT_EQ(by_name(klass, v.value_name), &v) << v.value_name;
    EXPECT_EQ(by_nick(klass, v.value_nick), &v) << v.value_nick;
    rows += std::to_string(v.value) + "\t" + v.value_name + "\t" + v.value_nick + "\n";
  }
  return rows;
}

TEST(Vocabulary, EveryTypeHasItsNameKindAndRowsInRegistrationOrder) {
  auto types = expected_vocabulary();
  ASSERT_EQ(types.size(), 27u);
  for (const auto &t : types) {
    SCOPED_TRACE(t.type_name);
    GType type = t.get_type();
    ASSERT_NE(type, G_TYPE_INVALID);
    EXPECT_EQ(t.get_type(), type) << "a second call must return the same type";
    EXPECT_EQ(g_type_from_name(t.type_name), type);
    ASSERT_EQ(G_TYPE_IS_FLAGS(type), t.flags);
    std::string rows;
    gpointer klass = g_type_class_ref(type);
    if (t.flags) {
      auto *flags = static_cast<GFlagsClass *>(klass);
      EXPECT_EQ(flags->n_values, t.rows);
      rows = registered_rows(flags, g_flags_get_value_by_name, g_flags_get_value_by_nick);
    } else {
      auto *enums = static_cast<GEnumClass *>(klass);
      EXPECT_EQ(enums->n_values, t.rows);
      rows = registered_rows(enums, g_enum_get_value_by_name, g_enum_get_value_by_nick);
      for (guint i = 0; i < enums->n_values; i++)  // no two rows share a value
        EXPECT_EQ(g_enum_get_value(enums, enums->values[i].value), &enums->values[i]);
    }
    g_type_class_unref(klass);
    gchar *digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, rows.c_str(), -1);
    EXPECT_STREQ(digest, t.sha256) << rows;
    g_free(digest);
  }
}

static const GEnumValue *enum_value(GType type, gint value) {
  auto *klass = static_cast<GEnumClass *>(g_type_class_ref(type));
  const GEnumValue *v = g_enum_get_value(klass, value);
  g_type_class_unref(klass);  // static types keep their class
  return v;
}

TEST(Vocabulary, DocumentedQuirksAreRegisteredExactly) {
  EXPECT_STREQ(enum_value(PTZ_TYPE_COMMAND, 25)->value_nick, "set driver property");
  EXPECT_STREQ(enum_value(PTZ_TYPE_COMMAND, 25)->value_name, "Get driver property");
  EXPECT_STREQ(enum_value(PTZ_TYPE_COMMAND, 33)->value_nick, "End of record");
  for (gint missing : {29, 30, 31}) EXPECT_EQ(enum_value(PTZ_TYPE_COMMAND, missing), nullptr);
  EXPECT_EQ(enum_value(PTZ_TYPE_SC_PARAM, 58), nullptr);
  EXPECT_STREQ(enum_value(PTZ_TYPE_SC_PARAM, 29)->value_nick, "position_iris_status_idle_time");
  EXPECT_STREQ(enum_value(PTZ_TYPE_SC_PARAM, 31)->value_nick, "position_focus_status_idle_time");
  EXPECT_STREQ(enum_value(PTZ_TYPE_SC_PARAM, 13)->value_nick, "position focus");
  EXPECT_STREQ(enum_value(PTZ_TYPE_SC_PARAM, 0)->value_name, "Position pan");
  EXPECT_STREQ(enum_value(PTZ_TYPE_SC_PARAM, 33)->value_name, "Position bright status idle time");
  EXPECT_STREQ(enum_value(PTZ_TYPE_SC_PARAM, 56)->value_name, "Various backlight compensation");
  EXPECT_STREQ(enum_value(PTZ_TYPE_MOVE_CMD, 8)->value_name, "Home");
  // The C enumerators carry the registered numbers.
  EXPECT_EQ(PTZ_COMMAND_ERROR_REPLY, -1);
  EXPECT_EQ(PTZ_COMMAND_HOME_PRESET_UPDATED, 32);
  EXPECT_EQ(PTZ_SOCKET_COMMAND_SOCKET_COMMAND_QUEUE, 33);
  EXPECT_EQ(PTZ_SC_PARAM_POSITION_FOCUS_STATUS_IDLE_TIME, 31);
  EXPECT_EQ(PTZ_SC_PARAM_LIMIT_MIN_PAN, 59);
  EXPECT_EQ(PTZ_BAUD_RATE_460800, 460800);
  EXPECT_EQ(static_cast<guint32>(PTZ_DRIVER_MOVE_CAPABILITIES_ZOOM_MAG), 0x80000000u);
  EXPECT_EQ(PTZ_DRIVER_MOVE_CAPABILITIES_LOCKED, 0x20000000);
  EXPECT_EQ(PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_TYPE, 0x40000);
  EXPECT_EQ(sizeof(PTZDriverCapabilities), 8u);
}

TEST(Vocabulary, RacingFirstCallsRegisterOnce) {
  // Each test case runs in a fresh process, so these are first calls.
  std::vector<std::thread> threads;
  std::vector<GType> seen(8);
  for (int i = 0; i < 8; i++) threads.emplace_back([&seen, i] { seen[i] = ptz_sc_param_get_type(); });
  for (auto &t : threads) t.join();
  for (GType t : seen) EXPECT_EQ(t, seen[0]);
  EXPECT_NE(seen[0], G_TYPE_INVALID);
}

TEST(FlagsUtils, ListAllWritesValueNamesOfSetBitsBelowBit31) {
  LogCapture capture;
  PTZDriverCapabilities caps = {0x80000003u,
                                PTZ_DRIVER_EXTRA_CAPABILITIES_AUX | PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_TYPE};
  caps.move |= 0x08000000u | PTZ_DRIVER_MOVE_CAPABILITIES_LOCKED;  // bit 27 has no row
  ptz_flag_types_list_all(&caps);
  std::vector<std::string> texts;
  for (const auto &line : capture.lines()) {
    EXPECT_EQ(line.priority, LOG_INFO);
    texts.push_back(line.text);
  }
  const std::string dashes = "------------------";
  std::vector<std::string> expected = {"driver_cap->move:",  dashes, "Pan", "RelPan",     "Locked", dashes,
                                       "driver_cap->extra:", dashes, "Aux", "DeviceType", dashes};
  EXPECT_EQ(texts, expected);
}

TEST(FlagsUtils, ListAllWithEmptyWordsAndNull) {
  LogCapture capture;
  PTZDriverCapabilities caps = {0, 0};
  ptz_flag_types_list_all(&caps);
  EXPECT_EQ(capture.lines().size(), 6u);
  capture.clear();
  ptz_flag_types_list_all(nullptr);
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].text, "driver_cap == NULL");
}

TEST(FlagsUtils, UsableClearsDeviceTypeOnlyWhenMoveIsZero) {
  EXPECT_FALSE(ptz_flags_utils_ptz_usable(nullptr));
  PTZDriverCapabilities a = {0, 0x40000};
  EXPECT_FALSE(ptz_flags_utils_ptz_usable(&a));
  EXPECT_EQ(a.extra, 0u);
  PTZDriverCapabilities b = {0, 0x40001};
  EXPECT_TRUE(ptz_flags_utils_ptz_usable(&b));
  EXPECT_EQ(b.extra, 0x1u);
  PTZDriverCapabilities c = {1, 0x40000};
  EXPECT_TRUE(ptz_flags_utils_ptz_usable(&c));
  EXPECT_EQ(c.extra, 0x40000u);
}
