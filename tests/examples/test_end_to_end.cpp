// The example driver and commander as real processes: a whole commanded run
// across a crash and restart of the driver, what the driver leaves in the
// status cache and on disk, its handling of malformed and hostile requests,
// its settings over D-Bus, and how both programs fail on a bad setup.
// test-needs: system-bus
#include <fcntl.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "durnik.h"
#include "nobody_child.h"
#include "ptz_enum_types.h"
#include "ptz_serialize.h"
#include "ptz_socket_client.h"
#include "ptz_socket_server.h"
#include "ptz_status_cache.h"
#include "tests/socket/raw_peer.h"
#include "velmora_test.h"
#ifdef VELMORA_PLATFORM_BUNDLED
#include "tests/parameters/durnik_isolation.h"
#endif

namespace {

using velmora::testing::TempDir;

#if defined(SIM_DRIVER_PATH) && defined(COMMANDER_PATH)
const char *const kDriver = SIM_DRIVER_PATH;
const char *const kCommander = COMMANDER_PATH;
#else
const char *const kDriver = nullptr;
const char *const kCommander = nullptr;
#endif

// Reply status codes of the example protocol (examples/ptz_sim_protocol.h).
enum {
  kOk = 0,
  kMalformed = 1,
  kUnsupported = 2,
  kNoSuchPreset = 3,
  kBadArgument = 4,
  kStorage = 5
};

// A file's text, empty while it does not exist.
std::string read_file(const std::string &path) { return velmora::testing::read_file(path, ""); }

// A program running with its output in a file.
class Process {
 public:
  Process(const std::vector<std::string> &argv, const std::string &log) {
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      std::vector<char *> args;
      for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Process() {
    if (running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  // True while the process runs; once it ended, status() tells how.
  bool running() {
    if (done_) return false;
    if (waitpid(pid_, &status_, WNOHANG) != pid_) return true;
    done_ = true;
    return false;
  }
  // Exit status, or -signal when a signal ended it; -1000 on timeout.
  int wait(int timeout_ms = 30000) {
    gint64 end = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (running() && g_get_monotonic_time() < end) g_usleep(20000);
    if (!done_) return -1000;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -WTERMSIG(status_);
  }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool done_ = false;
};

class ExamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kDriver == nullptr) GTEST_SKIP() << "the examples are not built (VELMORA_BUILD_EXAMPLES=OFF)";
    setenv("TAMSEL_STORE", dir_.file("parameters").c_str(), 1);
    service_ = "E2E" + std::to_string(getpid());
  }

  bool have_bus() const { return g_getenv("DBUS_SYSTEM_BUS_ADDRESS") != nullptr; }

  // Writes the driver's configuration; `extra` adds lines to its group.
  std::string write_config(const std::string &extra, bool on_bus) {
    return dir_.write("driver.conf", "[PTZSimDriver]\nSocket=" + socket() +
                                         "\nPresetFile=" + dir_.file("presets/presets.conf") +
                                         "\nPidFile=" + dir_.file("driver.pid") + "\nService=" + service_ +
                                         "\nStatusIndex=3\nPublishOnBus=" + (on_bus ? "true" : "false") + "\n" + extra +
                                         "\n[PTZDriverManager]\nNbrOfDrivers=1\n");
  }

  Process *start_driver(const std::string &config) {
    unlink(dir_.file("driver.pid").c_str());
    drivers_.emplace_back(new Process({kDriver, "--config", config}, dir_.file("driver.log")));
    // Serving once the pid file is there.
    velmora::testing::iterate_until([&] { return !read_file(dir_.file("driver.pid")).empty(); }, 10000);
    return drivers_.back().get();
  }

  std::string socket() const { return dir_.file("driver.sock"); }

  // A call of the driver's configuration interface on the system bus; the
  // reply, or NULL with the error's text in *error_text.
  GVariant *dbus_call(const char *method, GVariant *args, std::string *error_text = nullptr) {
    if (bus_ == nullptr) bus_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    EXPECT_NE(bus_, nullptr);
    if (bus_ == nullptr) return nullptr;
    GError *error = nullptr;
    GVariant *reply = g_dbus_connection_call_sync(
        bus_, ("com.brantel.PTZ." + service_).c_str(), ("/com/brantel/PTZ/" + service_).c_str(),
        "com.brantel.Configuration.Legacy", method, args, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (error_text != nullptr) *error_text = error != nullptr ? error->message : "";
    g_clear_error(&error);
    return reply;
  }
  bool dbus_set(const char *key, GVariant *value, std::string *error_text = nullptr) {
    GVariant *reply = dbus_call("SetConfigurationEntry", g_variant_new("(isv)", 0, key, value), error_text);
    if (reply != nullptr) g_variant_unref(reply);
    return reply != nullptr;
  }
  // Every setting as GetConfigurations prints it.
  std::string dbus_settings() {
    GVariant *all = dbus_call("GetConfigurations", nullptr);
    if (all == nullptr) return "<no reply>";
    gchar *text = g_variant_print(all, FALSE);
    std::string result = text;
    g_free(text);
    g_variant_unref(all);
    return result;
  }

  void connect() { client_ = ptz_socket_client_command_new(socket().c_str(), -1, SOCK_STREAM); }
  void TearDown() override {
    if (client_ != nullptr) g_object_unref(client_);
    client_ = nullptr;
    if (bus_ != nullptr) g_object_unref(bus_);
    bus_ = nullptr;
  }

  // Sends raw payload bytes; returns the reply's (command, status) and body.
  std::pair<guint32, guint32> send(const std::vector<guint8> &payload, std::vector<guint8> *body = nullptr) {
    guint8 reply[PTZ_SOCKET_MESSAGE_MAX];
    gsize length = 0;
    bool ok = false;
    for (int attempt = 0; attempt < 30 && !ok; attempt++) {
      ok = ptz_socket_client_command_sync_send(client_, payload.data(), payload.size(), reply, &length);
      if (!ok) velmora::testing::iterate_for(200);
    }
    EXPECT_TRUE(ok);
    if (!ok || length < 8) return {0xdead, 0xdead};
    guint32 command, status;
    memcpy(&command, reply, 4);
    memcpy(&status, reply + 4, 4);
    if (body != nullptr) body->assign(reply + 8, reply + length);
    return {command, status};
  }

  static std::vector<guint8> payload(const std::function<void(GArray *)> &fill) {
    GArray *array = ptz_serialize_create_array();
    fill(array);
    std::vector<guint8> bytes(array->data, array->data + array->len);
    g_array_free(array, TRUE);
    return bytes;
  }
  static std::vector<guint8> move(guint32 mode, gint32 pan, gint32 tilt, gint32 zoom) {
    return payload([=](GArray *a) {
      ptz_serialize_32bit(a, PTZ_COMMAND_MOVE);
      ptz_serialize_32bit(a, mode);
      ptz_serialize_32bit(a, guint32(pan));
      ptz_serialize_32bit(a, guint32(tilt));
      ptz_serialize_32bit(a, guint32(zoom));
    });
  }
  static std::vector<guint8> preset(PTZCommand command, const char *name) {
    return payload([=](GArray *a) {
      ptz_serialize_32bit(a, command);
      ptz_serialize_string(a, name);
    });
  }

#ifdef VELMORA_PLATFORM_BUNDLED
  velmora::testing::DurnikIsolation durnik_;
#endif
  TempDir dir_;
  std::string service_;
  std::vector<std::unique_ptr<Process>> drivers_;
  PTZSocketClientCommand *client_ = nullptr;
  GDBusConnection *bus_ = nullptr;
};

struct Position {
  float pan = NAN, tilt = NAN, zoom = NAN;
  gint32 pan_status = 99, tilt_status = 99;
};

Position read_position(guint32 index) {
  Position p;
  PTZStatusCacheGroup *g = ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, index, 5);
  ptz_status_cache_add_param(g, PTZ_SC_PARAM_POSITION_PAN, &p.pan);
  ptz_status_cache_add_param(g, PTZ_SC_PARAM_POSITION_TILT, &p.tilt);
  ptz_status_cache_add_param(g, PTZ_SC_PARAM_POSITION_MZOOM, &p.zoom);
  ptz_status_cache_add_param(g, PTZ_SC_PARAM_POSITION_PAN_STATUS, &p.pan_status);
  ptz_status_cache_add_param(g, PTZ_SC_PARAM_POSITION_TILT_STATUS, &p.tilt_status);
  EXPECT_TRUE(ptz_status_cache_fetch_group(g));
  ptz_status_cache_free_group(g);
  return p;
}

std::vector<gint32> read_ints(PTZSCGroup group, guint32 index, const std::vector<guint32> &params) {
  std::vector<gint32> values(params.size(), -12345);
  PTZStatusCacheGroup *g = ptz_status_cache_setup_group(group, index, guint32(params.size()));
  for (size_t i = 0; i < params.size(); i++) ptz_status_cache_add_param(g, params[i], &values[i]);
  EXPECT_TRUE(ptz_status_cache_fetch_group(g));
  ptz_status_cache_free_group(g);
  return values;
}

size_t count_lines(const std::string &text, const std::string &a, const std::string &b) {
  size_t count = 0, start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) count++;
    start = end + 1;
  }
  return count;
}

// ---- a whole run ------------------------------------------------------

TEST_F(ExamplesTest, CommanderCarriesOnAcrossADriverCrashAndTheCacheShowsTheOutcome) {
  if (!have_bus())
    GTEST_SKIP() << "DBUS_SYSTEM_BUS_ADDRESS is unset: run through ctest, or under scripts/with-private-bus.sh";
  std::string config = write_config(
      "Speed=90\nPanFlipped=true\nAutoFlip=true\nMaxZoom=8\nStateFile=" + dir_.file("state/driver.state"), true);
  Process *first = start_driver(config);
  ASSERT_TRUE(first->running()) << read_file(dir_.file("driver.log"));

  // The hook crashes the driver; this test restarts it, as a driver manager would.
  std::string hook = "kill -KILL $(cat '" + dir_.file("driver.pid") + "')";
  Process commander({kCommander, "--socket", socket(), "--index", "3", "--service", service_, "--restart-hook", hook,
                     "--wait-ms", "15000"},
                    dir_.file("commander.log"));
  int restarts = 0;
  gint64 end = g_get_monotonic_time() + 90 * G_USEC_PER_SEC;
  while (commander.running() && g_get_monotonic_time() < end) {
    if (!drivers_.back()->running() && restarts++ < 3) {
      EXPECT_EQ(drivers_.back()->wait(0), -SIGKILL);
      start_driver(config);
    }
    g_usleep(20000);
  }
  int status = commander.wait(0);
  std::string transcript = read_file(dir_.file("commander.log"));
  ASSERT_EQ(status, 0) << transcript << read_file(dir_.file("driver.log"));
  EXPECT_EQ(restarts, 1);
  Process *second = drivers_.back().get();
  ASSERT_TRUE(second->running());

  // Positions were read back while the head moved; the setting went over
  // D-Bus and was announced; the restart was ridden over.
  EXPECT_GE(count_lines(transcript, "status cache: pan", "moving"), 5u) << transcript;
  EXPECT_NE(transcript.find("D-Bus: speed is 90"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("D-Bus: PropertiesChanged speed = 180"), std::string::npos) << transcript;
  // The speed was written to the state file at once, so not even a crash
  // loses it.
  EXPECT_NE(transcript.find("D-Bus: the speed set before the restart was kept"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("refused as expected"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("driver is back after"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("< goto preset door: ok"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find(", 0 failures"), std::string::npos) << transcript;

  // The restarted driver took the preset from its file and left the head there.
  Position p = read_position(3);
  EXPECT_NEAR(p.pan, 90.0, 0.01);
  EXPECT_NEAR(p.tilt, -30.0, 0.01);
  EXPECT_NEAR(p.zoom, 3.0, 0.01);
  EXPECT_EQ(p.pan_status, PTZ_MOVE_STATUS_IDLE);
  EXPECT_EQ(p.tilt_status, PTZ_MOVE_STATUS_IDLE);
  EXPECT_EQ(read_ints(PTZ_SC_GROUP_LIMIT, 3,
                      {PTZ_SC_PARAM_LIMIT_MIN_PAN, PTZ_SC_PARAM_LIMIT_MAX_PAN, PTZ_SC_PARAM_LIMIT_MIN_TILT,
                       PTZ_SC_PARAM_LIMIT_MAX_TILT, PTZ_SC_PARAM_LIMIT_MIN_ZOOM, PTZ_SC_PARAM_LIMIT_MAX_ZOOM}),
            (std::vector<gint32>{-180, 180, -90, 90, 1, 8}));
  EXPECT_EQ(read_ints(PTZ_SC_GROUP_VARIOUS, 3,
                      {PTZ_SC_PARAM_VARIOUS_PAN_FLIPPED, PTZ_SC_PARAM_VARIOUS_TILT_FLIPPED,
                       PTZ_SC_PARAM_VARIOUS_AUTO_FLIPPING, PTZ_SC_PARAM_VARIOUS_PT_PRESET_MOVE}),
            (std::vector<gint32>{1, 0, 1, 0}));

  // The move to the preset was timed, and the restarted driver owns the
  // request counter.
  velmora::testing::TimeValue16 start, stop;
  sc_entry times[] = {{"start_time", 16, &start, 5}, {"stop_time", 16, &stop, 5}};
  sc_entry *time_list[] = {&times[0], &times[1], nullptr};
  ASSERT_EQ(sc_get_group("ptzdt_driver_move_d1", time_list, SC_GET_ALL), 2);
  EXPECT_NE(start.nanoseconds, 0);
  EXPECT_GT(stop.ns(), start.ns());
  guint32 served = 0;
  gint32 owner = 0;
  sc_entry counter[] = {{"counter_value", 4, &served, 1}, {"counter_pid", 4, &owner, 1}};
  sc_entry *counter_list[] = {&counter[0], &counter[1], nullptr};
  ASSERT_EQ(sc_get_group("ptzsim_requests1", counter_list, SC_GET_ALL), 2);
  EXPECT_EQ(owner, second->pid());
  EXPECT_GE(served, 3u);

  // The preset file is a versioned key file holding the preset.
  GKeyFile *presets = g_key_file_new();
  ASSERT_TRUE(g_key_file_load_from_file(presets, dir_.file("presets/presets.conf").c_str(), G_KEY_FILE_NONE, nullptr));
  EXPECT_EQ(g_key_file_get_integer(presets, "Header", "VersionMajor", nullptr), 1);
  EXPECT_DOUBLE_EQ(g_key_file_get_double(presets, "Preset:door", "Pan", nullptr), 90.0);
  g_key_file_free(presets);

  kill(second->pid(), SIGTERM);
  EXPECT_EQ(second->wait(), 0);
  EXPECT_FALSE(g_file_test(socket().c_str(), G_FILE_TEST_EXISTS)) << "the socket file outlives the driver";
}

// ---- the driver against malformed and hostile requests ------------------

class DriverRequestsTest : public ExamplesTest {
 protected:
  void SetUp() override {
    ExamplesTest::SetUp();
    if (IsSkipped()) return;
    // The preset file's directory is a plain file, so presets cannot be stored.
    dir_.write("blocked", "");
    write_config("Speed=360\nPresetFile=" + dir_.file("blocked/presets.conf"), false);
    driver_ = start_driver(dir_.file("driver.conf"));
    ASSERT_TRUE(driver_->running()) << read_file(dir_.file("driver.log"));
    connect();
  }
  void TearDown() override {
    ExamplesTest::TearDown();
    // An orderly stop after the abuse: no crash, no leak (in sanitizer builds).
    if (driver_ != nullptr && driver_->running()) {
      kill(driver_->pid(), SIGTERM);
      EXPECT_EQ(driver_->wait(), 0) << read_file(dir_.file("driver.log"));
    }
  }

  Process *driver_ = nullptr;
};

TEST_F(DriverRequestsTest, RefusesMalformedRequestsAndKeepsServing) {
  const guint32 kErrorReply = guint32(PTZ_COMMAND_ERROR_REPLY);
  // Too short to hold a command.
  EXPECT_EQ(send({0x05}), std::make_pair(kErrorReply, guint32(kMalformed)));
  // Arguments missing, or more bytes than the command takes.
  EXPECT_EQ(send(payload([](GArray *a) {
              ptz_serialize_32bit(a, PTZ_COMMAND_MOVE);
              ptz_serialize_32bit(a, PTZ_MOVE_ABSOLUTE);
            })),
            std::make_pair(guint32(PTZ_COMMAND_MOVE), guint32(kMalformed)));
  std::vector<guint8> trailing = move(PTZ_MOVE_ABSOLUTE, 0, 0, 100);
  trailing.push_back(0);
  EXPECT_EQ(send(trailing).second, guint32(kMalformed));
  // A string whose length field runs past the payload.
  EXPECT_EQ(send(payload([](GArray *a) {
              ptz_serialize_32bit(a, PTZ_COMMAND_GOTO_PRESET);
              ptz_serialize_16bit(a, 0xffff);
              ptz_serialize_blob(a, "abc", 3);
            })).second,
            guint32(kMalformed));
  // Unknown commands and move modes, out-of-range speeds, hostile names.
  EXPECT_EQ(send(payload([](GArray *a) { ptz_serialize_32bit(a, 999); })),
            std::make_pair(guint32(999), guint32(kUnsupported)));
  EXPECT_EQ(send(move(7, 0, 0, 0)).second, guint32(kUnsupported));
  EXPECT_EQ(send(move(PTZ_MOVE_CONTINUOUS, 15000, 0, 0)).second, guint32(kBadArgument));
  EXPECT_EQ(send(preset(PTZ_COMMAND_GOTO_PRESET, "../etc")).second, guint32(kBadArgument));
  EXPECT_EQ(send(preset(PTZ_COMMAND_SET_PRESET, "")).second, guint32(kBadArgument));
  EXPECT_EQ(send(preset(PTZ_COMMAND_GOTO_PRESET, "nothere")).second, guint32(kNoSuchPreset));
  EXPECT_TRUE(driver_->running());
}

TEST_F(DriverRequestsTest, ClampsMovesToTheLimitsAndReportsFailedPresetStorage) {
  // A target far outside the limits ends at the limits.
  EXPECT_EQ(send(move(PTZ_MOVE_ABSOLUTE, G_MAXINT32, G_MININT32, 100)).second, guint32(kOk));
  std::vector<guint8> body;
  bool at_rest = velmora::testing::iterate_until(
      [&] {
        EXPECT_EQ(send(payload([](GArray *a) { ptz_serialize_32bit(a, PTZ_COMMAND_QUERY_POSITION); }), &body).second,
                  guint32(kOk));
        gint32 v[6] = {};
        if (body.size() == sizeof v) memcpy(v, body.data(), sizeof v);
        return v[3] == PTZ_MOVE_STATUS_IDLE && v[4] == PTZ_MOVE_STATUS_IDLE && v[0] == 18000;
      },
      15000);
  ASSERT_TRUE(at_rest);
  gint32 v[6];
  memcpy(v, body.data(), sizeof v);
  EXPECT_EQ(v[0], 18000);
  EXPECT_EQ(v[1], -9000);

  // The preset file cannot be written: the failure is reported and the
  // preset does not exist afterwards.
  EXPECT_EQ(send(preset(PTZ_COMMAND_SET_PRESET, "corner")).second, guint32(kStorage));
  EXPECT_EQ(send(preset(PTZ_COMMAND_GOTO_PRESET, "corner")).second, guint32(kNoSuchPreset));
  EXPECT_TRUE(driver_->running());
}

TEST_F(ExamplesTest, UnusablePresetFilesAreSetAsideNotOverwritten) {
  struct Case {
    const char *contents;
    bool set_aside;  // the whole file is unusable, not just one preset
  } const cases[] = {
      {"\x01not a key file [[[", true},
      {"[Header]\nVersionMajor=2\nVersionMinor=0\n[Preset:door]\nPan=1\nTilt=2\nZoom=1\n", true},
      {"[Header]\nVersionMajor=1\nVersionMinor=0\n[Preset:door]\nPan=nan\nTilt=up\nZoom=1\n", false},
  };
  std::string config = write_config("", false);
  std::string aside = dir_.file("presets/presets.conf.unusable");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.contents);
    unlink(aside.c_str());
    dir_.write("presets/presets.conf", c.contents);
    Process *driver = start_driver(config);
    connect();
    EXPECT_EQ(send(preset(PTZ_COMMAND_GOTO_PRESET, "door")).second, guint32(kNoSuchPreset));
    EXPECT_EQ(send(preset(PTZ_COMMAND_SET_PRESET, "door")).second, guint32(kOk));
    GKeyFile *stored = g_key_file_new();
    EXPECT_TRUE(g_key_file_load_from_file(stored, dir_.file("presets/presets.conf").c_str(), G_KEY_FILE_NONE, nullptr));
    EXPECT_EQ(g_key_file_get_integer(stored, "Header", "VersionMajor", nullptr), 1);
    EXPECT_DOUBLE_EQ(g_key_file_get_double(stored, "Preset:door", "Pan", nullptr), 0.0);
    g_key_file_free(stored);
    EXPECT_EQ(read_file(aside), c.set_aside ? c.contents : "");
    TearDown();
    kill(driver->pid(), SIGTERM);
    EXPECT_EQ(driver->wait(), 0) << read_file(dir_.file("driver.log"));
  }
}

// ---- settings over D-Bus -----------------------------------------------

TEST_F(ExamplesTest, SettingsOverDBusAreCheckedAppliedAndPublished) {
  if (!have_bus())
    GTEST_SKIP() << "DBUS_SYSTEM_BUS_ADDRESS is unset: run through ctest, or under scripts/with-private-bus.sh";
  Process *driver = start_driver(write_config("Speed=360", true));
  ASSERT_TRUE(driver->running()) << read_file(dir_.file("driver.log"));
  auto set = [&](const char *key, GVariant *value, std::string *error_text = nullptr) {
    return dbus_set(key, value, error_text);
  };
  auto call = [&](const char *method, GVariant *args) { return dbus_call(method, args); };

  // Park the head at pan -90 through the command channel.
  PTZSocketClientCommand *client = ptz_socket_client_command_new(socket().c_str(), -1, SOCK_STREAM);
  GArray *request = ptz_serialize_create_array();
  for (guint32 v : {guint32(PTZ_COMMAND_MOVE), guint32(PTZ_MOVE_ABSOLUTE), guint32(-9000), 0u, 100u})
    ptz_serialize_32bit(request, v);
  guint8 reply[PTZ_SOCKET_MESSAGE_MAX];
  gsize length = 0;
  ASSERT_TRUE(velmora::testing::iterate_until(
      [&] { return ptz_socket_client_command_sync_send(client, request->data, request->len, reply, &length); }));
  g_array_free(request, TRUE);
  ASSERT_TRUE(velmora::testing::iterate_until([&] {
    Position p = read_position(3);
    return p.pan == -90.0f && p.pan_status == PTZ_MOVE_STATUS_IDLE;
  }));

  // Refusals: out of range, inverted range, wrong type, unknown name or index.
  std::string error;
  EXPECT_FALSE(set("speed", g_variant_new_int32(0), &error));
  EXPECT_NE(error.find("outside 1..360"), std::string::npos) << error;
  EXPECT_FALSE(set("min_pan", g_variant_new_int32(180), &error));
  EXPECT_FALSE(set("speed", g_variant_new_string("fast"), &error));
  EXPECT_FALSE(set("colour", g_variant_new_int32(1), &error));
  GVariant *refused = call("SetConfigurationEntry", g_variant_new("(isv)", 1, "speed", g_variant_new_int32(5)));
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(call("AddConfiguration", g_variant_new("(i)", 1)), nullptr);

  // A narrower pan range pulls the head in and reaches the Limit group.
  EXPECT_TRUE(set("min_pan", g_variant_new_int32(-45), &error)) << error;
  EXPECT_TRUE(velmora::testing::iterate_until([&] {
    return read_ints(PTZ_SC_GROUP_LIMIT, 3, {PTZ_SC_PARAM_LIMIT_MIN_PAN})[0] == -45 && read_position(3).pan == -45.0f;
  }));
  EXPECT_TRUE(set("name", g_variant_new_string("lobby"), &error)) << error;

  std::string settings = dbus_settings();
  EXPECT_NE(settings.find("'min_pan': <-45>"), std::string::npos) << settings;
  EXPECT_NE(settings.find("'name': <'lobby'>"), std::string::npos) << settings;
  EXPECT_NE(settings.find("'speed': <360>"), std::string::npos) << settings;
  g_object_unref(client);
}

// Settings changed over D-Bus are written to the state file as they change
// and read back over the configuration when the driver starts again; values
// in the file that the driver would refuse over D-Bus are refused there too.
TEST_F(ExamplesTest, SettingsChangedOverDBusSurviveARestart) {
  if (!have_bus())
    GTEST_SKIP() << "DBUS_SYSTEM_BUS_ADDRESS is unset: run through ctest, or under scripts/with-private-bus.sh";
  std::string state = dir_.file("state/driver.state");
  std::string config = write_config("Speed=60\nMinPan=-180\nMaxPan=-100\nStateFile=" + state, true);
  Process *driver = start_driver(config);
  ASSERT_TRUE(driver->running()) << read_file(dir_.file("driver.log"));
  EXPECT_EQ(read_file(state), "");  // nothing changed yet, nothing written
  std::string error;
  EXPECT_TRUE(dbus_set("speed", g_variant_new_int32(200), &error)) << error;
  EXPECT_TRUE(dbus_set("name", g_variant_new_string("lobby \"west\""), &error)) << error;
  EXPECT_TRUE(dbus_set("max_pan", g_variant_new_int32(150), &error)) << error;
  EXPECT_TRUE(dbus_set("min_pan", g_variant_new_int32(100), &error)) << error;
  EXPECT_FALSE(dbus_set("speed", g_variant_new_int32(0), &error));  // refused: not kept either

  GKeyFile *kept = g_key_file_new();
  ASSERT_TRUE(g_key_file_load_from_file(kept, state.c_str(), G_KEY_FILE_NONE, nullptr)) << read_file(state);
  EXPECT_EQ(g_key_file_get_integer(kept, "Header", "VersionMajor", nullptr), 1);
  EXPECT_EQ(g_key_file_get_integer(kept, "Settings", "speed", nullptr), 200);
  gchar *name = g_key_file_get_string(kept, "Settings", "name", nullptr);
  EXPECT_STREQ(name, "lobby \"west\"");
  g_free(name);
  g_key_file_free(kept);

  kill(driver->pid(), SIGTERM);
  ASSERT_EQ(driver->wait(), 0);
  driver = start_driver(config);
  ASSERT_TRUE(driver->running()) << read_file(dir_.file("driver.log"));
  std::string settings = dbus_settings();
  for (const char *kept_value :
       {"'speed': <200>", "'name': <'lobby \"west\"'>", "'min_pan': <100>", "'max_pan': <150>"})
    EXPECT_NE(settings.find(kept_value), std::string::npos) << kept_value << " in " << settings;
  // The restored limits are applied and published like any change.
  EXPECT_TRUE(velmora::testing::iterate_until([&] {
    return read_ints(PTZ_SC_GROUP_LIMIT, 3, {PTZ_SC_PARAM_LIMIT_MIN_PAN, PTZ_SC_PARAM_LIMIT_MAX_PAN}) ==
           std::vector<gint32>{100, 150};
  }));
  EXPECT_NE(read_file(dir_.file("driver.log")).find("state: 4 settings restored from"), std::string::npos);
  kill(driver->pid(), SIGTERM);
  ASSERT_EQ(driver->wait(), 0);

  // A file edited by hand: values the driver refuses keep the configuration's.
  dir_.write("state/driver.state",
             "[Header]\nVersionMajor=1\nVersionMinor=0\n[Settings]\nspeed=9999\nname=\nmin_pan=-100\n"
             "max_tilt=fast\nmin_tilt=-30\ncolour=red\n");
  driver = start_driver(config);
  ASSERT_TRUE(driver->running()) << read_file(dir_.file("driver.log"));
  settings = dbus_settings();
  for (const char *value : {"'speed': <60>", "'min_pan': <-180>", "'max_tilt': <90>", "'min_tilt': <-30>"})
    EXPECT_NE(settings.find(value), std::string::npos) << value << " in " << settings;
  std::string log = read_file(dir_.file("driver.log"));
  EXPECT_NE(log.find("speed is refused (speed 9999 is outside 1..360)"), std::string::npos) << log;
  EXPECT_NE(log.find("min_pan is refused"), std::string::npos) << log;  // -100 is no minimum below -100
  EXPECT_NE(log.find("max_tilt is not a gint"), std::string::npos) << log;
  EXPECT_NE(log.find("name is refused"), std::string::npos) << log;
}

// ---- bad setups ------------------------------------------------------------

TEST_F(ExamplesTest, BadSetupsEndWithAClearStatus) {
  auto driver_status = [&](const std::string &config_text) {
    Process p({kDriver, "--config", dir_.write("bad.conf", config_text)}, dir_.file("bad.log"));
    return p.wait();
  };
  EXPECT_EQ(driver_status("[PTZSimDriver]\nPresetFile=/tmp/x\n"), 2);  // no socket
  EXPECT_EQ(driver_status("[PTZSimDriver]\nSocket=" + socket() + "\nPresetFile=/tmp/x\nSpeed=0\n"), 2);
  EXPECT_EQ(driver_status("[PTZSimDriver]\nSocket=" + socket() + "\nPresetFile=/tmp/x\nMinPan=10\nMaxPan=0\n"), 2);
  EXPECT_EQ(driver_status("[PTZSimDriver]\nSocket=" + socket() + "\nPresetFile=/tmp/x\nService=a.b\n"), 2);
  EXPECT_EQ(Process({kDriver, "--config", dir_.file("missing.conf")}, dir_.file("bad.log")).wait(), 2);
  // The library's reason for a failure reaches stderr through the log hook.
  EXPECT_EQ(driver_status("[PTZSimDriver]\nSocket=" + dir_.file("no/such/dir.sock") +
                          "\nPresetFile=" + dir_.file("p.conf") + "\nPublishOnBus=false\n"),
            1);
  EXPECT_NE(
      read_file(dir_.file("bad.log"))
          .find("ptz_sim_driver: open_server_socket: Unable to bind to path '" + dir_.file("no/such/dir.sock") + "'"),
      std::string::npos)
      << read_file(dir_.file("bad.log"));

  // No driver at all: the commander gives up after its wait.
  EXPECT_EQ(Process({kCommander}, dir_.file("commander.log")).wait(), 2);
  Process lonely({kCommander, "--socket", socket(), "--wait-ms", "1500"}, dir_.file("commander.log"));
  EXPECT_EQ(lonely.wait(), 1);
  EXPECT_NE(read_file(dir_.file("commander.log")).find("the driver did not answer within 1500 ms"), std::string::npos);
}

}  // namespace

// ---- the peer policy from the configuration ------------------------------

// The driver lets in only the accounts its configuration names (and root):
// another local account is refused at once, however it tries, and a name
// that does not exist is a configuration error.
TEST_F(ExamplesTest, PeerPolicyRefusesAccountsTheConfigurationDoesNotName) {
  VELMORA_SKIP_UNLESS_ATTACKS_CAN_RUN();
  chmod(dir_.path().c_str(), 0755);
  Process *driver = start_driver(write_config("AllowedUsers=daemon; 12345\nAllowedGroups=root", false));
  ASSERT_TRUE(driver->running()) << read_file(dir_.file("driver.log"));
  // The file's mode would let every account in: the policy alone decides.
  chmod(socket().c_str(), 0666);
  auto refused = std::make_unique<velmora::testing::NobodyChild>([&] {
    int fd = velmora::testing::connect_raw(socket());
    if (fd < 0) return 1;  // the socket must be reachable for the check to mean anything
    std::vector<guint8> stop = payload([](GArray *a) { ptz_serialize_32bit(a, PTZ_COMMAND_STOP); });
    velmora::testing::send_all(fd, velmora::testing::frame(1, std::string(stop.begin(), stop.end())));
    // Closed without a reply.
    return velmora::testing::read_bytes(fd, 1, 10000, false).empty() ? 0 : 2;
  });
  EXPECT_EQ(refused->wait(), 0);
  connect();
  EXPECT_EQ(send(payload([](GArray *a) { ptz_serialize_32bit(a, PTZ_COMMAND_STOP); })).second, guint32(kOk));
  EXPECT_NE(read_file(dir_.file("driver.log")).find("peer policy: 2 accounts and 1 groups"), std::string::npos);
  kill(driver->pid(), SIGTERM);
  EXPECT_EQ(driver->wait(), 0);

  Process unknown({kDriver, "--config", write_config("AllowedUsers=no-such-account-here", false)},
                  dir_.file("unknown.log"));
  EXPECT_EQ(unknown.wait(), 2);
  EXPECT_NE(read_file(dir_.file("unknown.log")).find("unknown account 'no-such-account-here'"), std::string::npos);
}
