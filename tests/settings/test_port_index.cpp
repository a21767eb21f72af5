// Serial port index mapping. The mapping files live at fixed system paths, so
// every case runs in a child process with a private mount namespace and a
// tmpfs over /usr/share: the real /usr/share is never touched.
// test-labels: threaded
#include <errno.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ptz_port_index.h"
#include "velmora_test.h"

using velmora::testing::Child;
using velmora::testing::LogCapture;

namespace {

constexpr const char *kPortmanagerFile = "/usr/share/portmanager/port_mapping.conf";
constexpr const char *kSerialFile = "/usr/share/serial/port_mapping.conf";
constexpr int kNoIsolation = 77;

void write_mapping(const char *path, const std::string &text) {
  GError *error = nullptr;
  if (!g_file_set_contents(path, text.data(), static_cast<gssize>(text.size()), &error)) {
    ADD_FAILURE() << "cannot write " << path << ": " << error->message;
    g_error_free(error);
  }
}

// Runs `body` in a child whose /usr/share is a private, empty tmpfs holding
// the two mapping directories; the test fails when the body fails there.
void in_private_usr_share(const std::function<void()> &body) {
  Child child([&] {
    if (unshare(CLONE_NEWNS) != 0) return kNoIsolation;
    // Keep every mount made below out of the parent's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kNoIsolation;
    if (mount("tmpfs", "/usr/share", "tmpfs", 0, "mode=0755") != 0) return kNoIsolation;
    if (mkdir("/usr/share/portmanager", 0755) != 0 || mkdir("/usr/share/serial", 0755) != 0) return 2;
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  int status = child.wait(120000);
  if (status == kNoIsolation) GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";
  EXPECT_EQ(status, 0) << "the checks in the isolated child failed (see above)";
}

}  // namespace

TEST(PortIndex, TranslationsUntranslatedGroupsAndSilentMisses) {
  in_private_usr_share([] {
    write_mapping(kPortmanagerFile,
                  "[Comport2Portmanager]\n0=3\n1=4\n2=abc\n"
                  "[Portmanager2Comport]\n3=0\nNoManagers=yes\n"
                  "[PortType2Comport]\nRS485=2\n");
    write_mapping(kSerialFile, "[Serialport2Comport]\n0=6\n5=-2\n");
    LogCapture log;
    EXPECT_EQ(ptz_port_index_comport2portmanager(1), 4);
    EXPECT_EQ(ptz_port_index_comport2portmanager(7), -1);
    EXPECT_EQ(ptz_port_index_comport2portmanager(-1), -1);
    EXPECT_EQ(ptz_port_index_comport2portmanager(2), -1);  // not an integer
    // A "NoManagers" group gives every index back, whatever else it holds.
    for (int index : {3, 9, -5}) EXPECT_EQ(ptz_port_index_portmanager2comport(index), index);
    EXPECT_EQ(ptz_port_index_porttype2comport("RS485"), 2);
    EXPECT_EQ(ptz_port_index_porttype2comport("RS232"), -1);
    EXPECT_EQ(ptz_port_index_porttype2comport(nullptr), -1);
    EXPECT_EQ(ptz_port_index_serialport2comport(0), 6);
    EXPECT_EQ(ptz_port_index_serialport2comport(5), 5);  // a mapped -2 reads as untranslated
    // A group missing from a file that loads is a silent miss.
    EXPECT_EQ(ptz_port_index_comport2serialport(0), -1);
    EXPECT_TRUE(log.lines().empty());

    // An untranslated port-type group has no mapping for any name.
    write_mapping(kPortmanagerFile, "[PortType2Comport]\nRS485=2\nNoManagers=\n");
    EXPECT_EQ(ptz_port_index_porttype2comport("RS485"), -1);
  });
}

TEST(PortIndex, CacheHoldsOneFileAndUnloadableFilesAreLoggedEveryTime) {
  in_private_usr_share([] {
    write_mapping(kPortmanagerFile, "[Comport2Portmanager]\n0=3\n");
    LogCapture log;
    const std::string line = std::string("ptz_port_index_load_mapping_file: Failed to load mappings file ") +
                             kSerialFile + ": " + g_strerror(ENOENT);
    EXPECT_EQ(ptz_port_index_comport2serialport(0), -1);
    EXPECT_EQ(ptz_port_index_serialport2comport(0), -1);
    EXPECT_EQ(log.count(LOG_ERR, line), 2u);
    // Not key-file text: logged with the parser's message.
    write_mapping(kSerialFile, "this is not a mapping\n");
    EXPECT_EQ(ptz_port_index_comport2serialport(0), -1);
    EXPECT_EQ(log.count_containing(std::string("Failed to load mappings file ") + kSerialFile + ": "), 3u);

    EXPECT_EQ(ptz_port_index_comport2portmanager(0), 3);
    write_mapping(kPortmanagerFile, "[Comport2Portmanager]\n0=30\n");
    write_mapping(kSerialFile, "[Comport2Serialport]\n0=7\n");
    // Still cached: a change on disk is not seen.
    EXPECT_EQ(ptz_port_index_comport2portmanager(0), 3);
    EXPECT_EQ(ptz_port_index_comport2serialport(0), 7);
    // The serial file replaced the cache, so the portmanager file is read again.
    EXPECT_EQ(ptz_port_index_comport2portmanager(0), 30);
    // A group that its file lacks is looked for again on every call.
    EXPECT_EQ(ptz_port_index_serialport2comport(1), -1);
    write_mapping(kSerialFile, "[Serialport2Comport]\n1=2\n");
    EXPECT_EQ(ptz_port_index_serialport2comport(1), 2);
  });
}

TEST(PortIndex, ConcurrentLookupsAcrossBothFiles) {
  in_private_usr_share([] {
    write_mapping(kPortmanagerFile, "[Comport2Portmanager]\n0=3\n1=4\n[PortType2Comport]\nRS485=1\n");
    write_mapping(kSerialFile, "[Comport2Serialport]\n0=5\n1=6\n");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
      threads.emplace_back([&wrong, t] {
        // Every thread alternates between the files, so the cache is dropped
        // and reloaded while the others read it.
        for (int i = 0; i < 300; i++) {
          int index = (i + t) % 2;
          if (ptz_port_index_comport2portmanager(index) != 3 + index) wrong++;
          if (ptz_port_index_comport2serialport(index) != 5 + index) wrong++;
          if (ptz_port_index_porttype2comport("RS485") != 1) wrong++;
        }
      });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
  });
}
