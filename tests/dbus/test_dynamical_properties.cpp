// Run-time properties: change detection, announcements, freezing, text forms.
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/ptz_raii.h"
#include "ptz_dynamical_properties.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

GValue *int_value(gint v) {
  GValue *value = g_new0(GValue, 1);
  g_value_set_int(g_value_init(value, G_TYPE_INT), v);
  return value;
}

GValue *string_value(const char *s) {
  GValue *value = g_new0(GValue, 1);
  g_value_set_string(g_value_init(value, G_TYPE_STRING), s);
  return value;
}

GValue *float_value(gfloat v) {
  GValue *value = g_new0(GValue, 1);
  g_value_set_float(g_value_init(value, G_TYPE_FLOAT), v);
  return value;
}

class DynamicalProperties : public ::testing::Test {
 protected:
  void SetUp() override {
    g_signal_connect(props, "notify_change", G_CALLBACK(+[](PTZDynamicalProperties *, const gchar *name, gpointer data) {
                       static_cast<std::vector<std::string> *>(data)->push_back(name);
                     }),
                     &names);
  }
  void TearDown() override { g_object_unref(props); }

  PTZDynamicalProperties *props = ptz_dynamical_properties_new();
  std::vector<std::string> names;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(DynamicalProperties, AnnouncesChangesOnly) {
  ptz_dynamical_properties_set(props, "zoom", int_value(5));
  ptz_dynamical_properties_set(props, "zoom", int_value(5));
  EXPECT_EQ(names, Names{"zoom"});
  EXPECT_EQ(g_value_get_int(ptz_dynamical_properties_get(props, "zoom")), 5);
  GValue five = G_VALUE_INIT;
  g_value_set_int(g_value_init(&five, G_TYPE_INT), 5);
  EXPECT_EQ(ptz_dynamical_properties_compare(props, "zoom", &five), 0);

  // Strings compare ignoring case, but the latest text is kept.
  ptz_dynamical_properties_set(props, "s", string_value("abc"));
  ptz_dynamical_properties_set(props, "s", string_value("Abc"));
  EXPECT_STREQ(g_value_get_string(ptz_dynamical_properties_get(props, "s")), "Abc");
  GValue probe = G_VALUE_INIT;
  g_value_set_string(g_value_init(&probe, G_TYPE_STRING), "ABD");
  EXPECT_LT(ptz_dynamical_properties_compare(props, "s", &probe), 0);
  EXPECT_EQ(ptz_dynamical_properties_compare(props, "missing", &probe), 1);
  g_value_unset(&probe);

  // A type change is a change; names are case-sensitive.
  ptz_dynamical_properties_set(props, "s", int_value(1));
  ptz_dynamical_properties_set(props, "S", int_value(1));
  EXPECT_EQ(names, (Names{"zoom", "s", "s", "S"}));
}

TEST_F(DynamicalProperties, UnknownTypesNeverCountAsChanged) {
  LogCapture log;
  ptz_dynamical_properties_set(props, "f", float_value(1.f));
  ptz_dynamical_properties_set(props, "f", float_value(2.f));
  EXPECT_EQ(log.count(LOG_ERR, "_ptz_dynamical_properties_cmp: Unknown type for dynamic property"), 1u);
  EXPECT_EQ(g_value_get_float(ptz_dynamical_properties_get(props, "f")), 2.f);
  ptz_dynamical_properties_set(props, "f", int_value(2));
  EXPECT_EQ(names, (Names{"f", "f"}));
}

TEST_F(DynamicalProperties, FreezeQueuesInOrderUntilLastThaw) {
  ptz_dynamical_properties_freeze_notify(props);
  ptz_dynamical_properties_freeze_notify(props);
  ptz_dynamical_properties_set(props, "a", int_value(1));
  ptz_dynamical_properties_set(props, "b", int_value(1));
  ptz_dynamical_properties_set(props, "a", int_value(2));
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_TRUE(names.empty());
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_EQ(names, (Names{"a", "b", "a"}));
  EXPECT_EQ(props->nqueue.names, nullptr);
}

TEST_F(DynamicalProperties, FreezeLimitAndThawWithoutFreeze) {
  GLibLogCapture criticals;
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_EQ(criticals.count_containing("ptz_dynamical_properties_thaw_notify: assertion 'self->nqueue.freeze_count > 0' failed"), 1u);

  for (int i = 0; i < 65535; i++) ptz_dynamical_properties_freeze_notify(props);
  EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 1u);
  ptz_dynamical_properties_freeze_notify(props);
  EXPECT_EQ(props->nqueue.freeze_count, 65535);
  EXPECT_EQ(criticals.count_containing("Free queue for PTZDynamicalProperties ("), 1u);
  EXPECT_EQ(criticals.count_containing("is larger than 65535"), 1u);

  ptz_dynamical_properties_set(props, "a", int_value(1));
  for (int i = 0; i < 65534; i++) ptz_dynamical_properties_thaw_notify(props);
  EXPECT_TRUE(names.empty());
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_EQ(names, Names{"a"});
}

TEST_F(DynamicalProperties, SetFromString) {
  velmora::GCharPtr name(ptz_dynamical_properties_set_from_string(props, "tilt:int32:10"));
  EXPECT_STREQ(name.get(), "tilt");
  EXPECT_EQ(g_value_get_int(ptz_dynamical_properties_get(props, "tilt")), 10);
  EXPECT_EQ(names, Names{"tilt"});

  GLibLogCapture criticals;
  EXPECT_EQ(ptz_dynamical_properties_set_from_string(props, "pan:int32"), nullptr);
  EXPECT_EQ(ptz_dynamical_properties_set_from_string(props, "pan::3"), nullptr);
  EXPECT_EQ(ptz_dynamical_properties_get(props, "pan"), nullptr);
  EXPECT_EQ(names.size(), 1u);

  GValue *value = nullptr;
  name.reset(ptz_dynamical_properties_string_to_gvalue(props, &value, "on:bool:true"));
  EXPECT_STREQ(name.get(), "on");
  velmora::GCharPtr text(ptz_dynamical_properties_gvalue_to_string(props, "on", value));
  EXPECT_STREQ(text.get(), "on:boolean:true");
  g_value_unset(value);
  g_free(value);
}

// Queued names stay valid after the entries they name are removed.
TEST_F(DynamicalProperties, ClearAnnouncesNothingAndKeepsQueueSafe) {
  ptz_dynamical_properties_set(props, "a", int_value(1));
  ptz_dynamical_properties_freeze_notify(props);
  ptz_dynamical_properties_set(props, "b", int_value(1));
  ptz_dynamical_properties_clear(props);
  EXPECT_EQ(ptz_dynamical_properties_get(props, "a"), nullptr);
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_EQ(names, (Names{"a", "b"}));

  // Discarded unannounced at finalization, without leaking.
  PTZDynamicalProperties *other = ptz_dynamical_properties_new();
  ptz_dynamical_properties_freeze_notify(other);
  ptz_dynamical_properties_set(other, "x", int_value(1));
  g_object_unref(other);
}

// The instance took the value: a corrupt one is released, not stored (the
// leak checker of the sanitizer build sees the release).
TEST_F(DynamicalProperties, CorruptValueIsReleasedNotStored) {
  LogCapture log;
  ptz_dynamical_properties_set(props, "bad", g_new0(GValue, 1));
  EXPECT_TRUE(log.contains(LOG_ERR, "GValue corrupt for bad\n"));
  EXPECT_EQ(ptz_dynamical_properties_get(props, "bad"), nullptr);
  EXPECT_TRUE(names.empty());

  GLibLogCapture criticals;
  ptz_dynamical_properties_set(props, nullptr, nullptr);
  EXPECT_EQ(criticals.count_containing("ptz_dynamical_properties_set: assertion 'name' failed"), 1u);
}

// A handler that changes properties, or releases the last freeze, gets its own
// announcements after the current one instead of blocking on the emission lock.
TEST_F(DynamicalProperties, HandlerMayChangePropertiesAndThaw) {
  PTZDynamicalProperties *other = ptz_dynamical_properties_new();
  ptz_dynamical_properties_freeze_notify(other);
  ptz_dynamical_properties_set(other, "queued", int_value(1));
  g_signal_connect(other, "notify_change", G_CALLBACK(+[](PTZDynamicalProperties *, const gchar *name, gpointer data) {
                     static_cast<std::vector<std::string> *>(data)->push_back(std::string("other.") + name);
                   }),
                   &names);
  struct Ctx {
    PTZDynamicalProperties *self, *other;
  } ctx{props, other};
  g_signal_connect(props, "notify_change", G_CALLBACK(+[](PTZDynamicalProperties *, const gchar *name, gpointer data) {
                     auto *c = static_cast<Ctx *>(data);
                     if (g_str_equal(name, "a")) {
                       ptz_dynamical_properties_set(c->self, "b", int_value(1));
                       ptz_dynamical_properties_thaw_notify(c->other);
                       ptz_dynamical_properties_set(c->self, "c", int_value(1));
                     }
                   }),
                   &ctx);

  std::promise<void> done;
  std::thread worker([&] {
    ptz_dynamical_properties_set(props, "a", int_value(1));
    done.set_value();
  });
  bool finished = done.get_future().wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  if (!finished) {
    worker.detach();
    FAIL() << "a handler's own change deadlocked";
  }
  worker.join();
  EXPECT_EQ(names, (Names{"a", "b", "other.queued", "c"}));
  g_object_unref(other);
}

namespace {
struct Recording {
  PTZDynamicalProperties parent;
};
struct RecordingClass {
  PTZDynamicalPropertiesClass parent_class;
};
G_DEFINE_TYPE(Recording, recording, PTZ_TYPE_DYNAMICAL_PROPERTIES)
int recorded_sets = 0;
void recording_set(PTZDynamicalProperties *self, const gchar *name, GValue *value) {
  recorded_sets++;
  PTZ_DYNAMICAL_PROPERTIES_CLASS(recording_parent_class)->set(self, name, value);
}
void recording_class_init(RecordingClass *klass) {
  PTZ_DYNAMICAL_PROPERTIES_CLASS(klass)->set = recording_set;
}
void recording_init(Recording *) {}
}  // namespace

// Operations go through the class slots, so a subclass sees text sets too.
TEST(DynamicalPropertiesSubclass, SlotsAreUsed) {
  auto *self = PTZ_DYNAMICAL_PROPERTIES(g_object_new(recording_get_type(), nullptr));
  ptz_dynamical_properties_set(self, "a", int_value(1));
  g_free(ptz_dynamical_properties_set_from_string(self, "b:int:2"));
  EXPECT_EQ(recorded_sets, 2);
  EXPECT_EQ(g_value_get_int(ptz_dynamical_properties_get(self, "b")), 2);
  g_object_unref(self);
}
