// Run-time properties: change detection, announcements, freezing, text forms.
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/ptz_raii.h"
#include "ptz_dynamical_properties.h"
#include "velmora_test.h"

using namespace velmora::testing;
using Names = std::vector<std::string>;

namespace {

GValue *heap_value(GType type) { return g_value_init(g_new0(GValue, 1), type); }

void set_int(PTZDynamicalProperties *self, const char *name, gint v) {
  GValue *value = heap_value(G_TYPE_INT);
  g_value_set_int(value, v);
  ptz_dynamical_properties_set(self, name, value);
}

void set_from_string(PTZDynamicalProperties *self, const char *formatted) {
  g_free(ptz_dynamical_properties_set_from_string(self, formatted));
}

void record(gpointer, const gchar *name, gpointer names) { static_cast<Names *>(names)->push_back(name); }

class DynamicalProperties : public ::testing::Test {
 protected:
  void SetUp() override { g_signal_connect(props, "notify_change", G_CALLBACK(record), &names); }
  void TearDown() override { g_object_unref(props); }

  PTZDynamicalProperties *props = ptz_dynamical_properties_new();
  Names names;
};

}  // namespace

TEST_F(DynamicalProperties, AnnouncesChangesOnly) {
  set_int(props, "zoom", 5);
  set_int(props, "zoom", 5);
  EXPECT_EQ(names, Names{"zoom"});
  GValue probe = G_VALUE_INIT;
  g_value_set_int(g_value_init(&probe, G_TYPE_INT), 5);
  EXPECT_EQ(ptz_dynamical_properties_compare(props, "zoom", &probe), 0);
  EXPECT_EQ(ptz_dynamical_properties_compare(props, "missing", &probe), 1);
  g_value_unset(&probe);

  // Strings compare ignoring case, but the latest text is kept.
  set_from_string(props, "s:string:abc");
  set_from_string(props, "s:string:Abc");
  EXPECT_STREQ(g_value_get_string(ptz_dynamical_properties_get(props, "s")), "Abc");
  g_value_set_string(g_value_init(&probe, G_TYPE_STRING), "ABD");
  EXPECT_LT(ptz_dynamical_properties_compare(props, "s", &probe), 0);
  g_value_unset(&probe);

  // A type change is a change; names are case-sensitive.
  set_int(props, "s", 1);
  set_int(props, "S", 1);
  EXPECT_EQ(names, (Names{"zoom", "s", "s", "S"}));

  // Types the change test does not know never count as changed.
  LogCapture log;
  ptz_dynamical_properties_set(props, "f", heap_value(G_TYPE_FLOAT));
  GValue *other = heap_value(G_TYPE_FLOAT);
  g_value_set_float(other, 2.f);
  ptz_dynamical_properties_set(props, "f", other);
  EXPECT_EQ(log.count(LOG_ERR, "_ptz_dynamical_properties_cmp: Unknown type for dynamic property"), 1u);
  EXPECT_EQ(g_value_get_float(ptz_dynamical_properties_get(props, "f")), 2.f);
  set_int(props, "f", 2);
  EXPECT_EQ(names, (Names{"zoom", "s", "s", "S", "f", "f"}));
}

// Changes queue in order until the last of the (at most 65535) freezes is
// released.
TEST_F(DynamicalProperties, FreezeQueuesInOrderUntilLastThaw) {
  GLibLogCapture criticals;
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_EQ(criticals.count_containing(
                "ptz_dynamical_properties_thaw_notify: assertion 'self->nqueue.freeze_count > 0' failed"),
            1u);

  for (int i = 0; i < 65536; i++) ptz_dynamical_properties_freeze_notify(props);
  EXPECT_EQ(props->nqueue.freeze_count, 65535);
  EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 2u);
  EXPECT_EQ(criticals.count_containing("Free queue for PTZDynamicalProperties ("), 1u);

  set_int(props, "a", 1);
  set_int(props, "b", 1);
  set_int(props, "a", 2);
  for (int i = 0; i < 65534; i++) ptz_dynamical_properties_thaw_notify(props);
  EXPECT_TRUE(names.empty());
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_EQ(names, (Names{"a", "b", "a"}));
}

TEST_F(DynamicalProperties, TextForms) {
  velmora::GCharPtr name(ptz_dynamical_properties_set_from_string(props, "tilt:int32:10"));
  EXPECT_STREQ(name.get(), "tilt");
  EXPECT_EQ(g_value_get_int(ptz_dynamical_properties_get(props, "tilt")), 10);

  GLibLogCapture criticals;
  EXPECT_EQ(ptz_dynamical_properties_set_from_string(props, "pan:int32"), nullptr);
  EXPECT_EQ(ptz_dynamical_properties_set_from_string(props, "pan::3"), nullptr);
  EXPECT_EQ(ptz_dynamical_properties_get(props, "pan"), nullptr);
  EXPECT_EQ(names, Names{"tilt"});

  GValue *value = nullptr;
  name.reset(ptz_dynamical_properties_string_to_gvalue(props, &value, "on:bool:true"));
  EXPECT_STREQ(name.get(), "on");
  velmora::GCharPtr text(ptz_dynamical_properties_gvalue_to_string(props, "on", value));
  EXPECT_STREQ(text.get(), "on:boolean:true");
  g_value_unset(value);
  g_free(value);
}

// Queued names stay valid after the entries they name are removed; a corrupt
// value is released, not stored (the sanitizer build's leak check sees it).
TEST_F(DynamicalProperties, ClearAndCorruptValuesAreSafe) {
  set_int(props, "a", 1);
  ptz_dynamical_properties_freeze_notify(props);
  set_int(props, "b", 1);
  ptz_dynamical_properties_clear(props);
  EXPECT_EQ(ptz_dynamical_properties_get(props, "a"), nullptr);
  ptz_dynamical_properties_thaw_notify(props);
  EXPECT_EQ(names, (Names{"a", "b"}));

  LogCapture log;
  ptz_dynamical_properties_set(props, "bad", g_new0(GValue, 1));
  EXPECT_TRUE(log.contains(LOG_ERR, "GValue corrupt for bad\n"));
  EXPECT_EQ(ptz_dynamical_properties_get(props, "bad"), nullptr);
  EXPECT_EQ(names.size(), 2u);

  PTZDynamicalProperties *other = ptz_dynamical_properties_new();
  ptz_dynamical_properties_freeze_notify(other);
  set_int(other, "x", 1);
  g_object_unref(other);  // discards the queue
}

// A handler that changes properties or releases the last freeze gets its own
// announcements after the current one instead of blocking on the emission lock.
TEST_F(DynamicalProperties, HandlerMayChangePropertiesAndThaw) {
  PTZDynamicalProperties *other = ptz_dynamical_properties_new();
  ptz_dynamical_properties_freeze_notify(other);
  set_int(other, "other", 1);
  g_signal_connect(other, "notify_change", G_CALLBACK(record), &names);
  struct Ctx {
    PTZDynamicalProperties *self, *other;
  } ctx{props, other};
  auto on_change = +[](PTZDynamicalProperties *, const gchar *name, Ctx *c) {
    if (!g_str_equal(name, "a")) return;
    set_int(c->self, "b", 1);
    ptz_dynamical_properties_thaw_notify(c->other);
    set_int(c->self, "c", 1);
  };
  g_signal_connect(props, "notify_change", G_CALLBACK(on_change), &ctx);

  std::promise<void> done;
  std::thread worker([&] {
    set_int(props, "a", 1);
    done.set_value();
  });
  if (done.get_future().wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    worker.detach();
    FAIL() << "a handler's own change deadlocked";
  }
  worker.join();
  EXPECT_EQ(names, (Names{"a", "b", "other", "c"}));
  g_object_unref(other);
}
