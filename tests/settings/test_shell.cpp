// The shell-style store: KEY=VALUE files, quotes, encodings, and the lines
// that make a load fail.
// test-labels: threaded
#include <atomic>
#include <thread>
#include <string>

#include "common/ptz_raii.h"
#include "ptz_shell_settings.h"
#include "velmora_test.h"

using velmora::testing::LogCapture;
using velmora::testing::TempDir;

namespace {

std::string get(const char *key) {
  velmora::GCharPtr value(ptz_settings_shell_get_string("%s", key));
  return value ? std::string(value.get()) : std::string("<null>");
}

bool load(std::initializer_list<PTZSettingsFile> entries) {
  std::vector<PTZSettingsFile> files(entries);
  files.push_back({nullptr, FALSE});
  return ptz_settings_shell_load_config(files.data());
}

}  // namespace

TEST(ShellSettings, QuotedValuesBooleansAndFormattedKeys) {
  TempDir dir;
  std::string path = dir.write("net.conf",
                               "# network settings\n\n"
                               "NAME=\"abc def\"\n"
                               "TITLE='single quoted'\n"
                               "HALF=\"open\n"
                               "ENABLED=yes\n"
                               "DISABLED=no\n"
                               "EMPTY=\n"
                               "PORT2_MODE=rs485\n");
  ASSERT_TRUE(load({{path.c_str(), TRUE}}));
  EXPECT_EQ(get("NAME"), "abc def");
  EXPECT_EQ(get("TITLE"), "single quoted");
  EXPECT_EQ(get("HALF"), "\"open");
  EXPECT_EQ(get("MISSING"), "<null>");
  velmora::GCharPtr mode(ptz_settings_shell_get_string("PORT%d_MODE", 2));
  EXPECT_STREQ(mode.get(), "rs485");

  gboolean value = FALSE;
  EXPECT_TRUE(ptz_settings_shell_get_boolean(&value, "ENABLED"));
  EXPECT_TRUE(value);
  EXPECT_TRUE(ptz_settings_shell_get_boolean(&value, "DIS%s", "ABLED"));
  EXPECT_FALSE(value);
  value = 42;
  EXPECT_FALSE(ptz_settings_shell_get_boolean(&value, "EMPTY"));
  EXPECT_FALSE(ptz_settings_shell_get_boolean(&value, "MISSING"));
  EXPECT_EQ(value, 42);
}

TEST(ShellSettings, FilesInOrderLaterWinsOptionalMissingSkipped) {
  TempDir dir;
  std::string base = dir.write("base.conf", "A=1\nB=base");
  std::string local = dir.write("local.conf", "B=local\n");
  std::string missing = dir.file("missing.conf");
  LogCapture log;
  // The first file lacks a final newline: its last line must not run into
  // the next file's first.
  ASSERT_TRUE(load({{base.c_str(), FALSE}, {missing.c_str(), FALSE}, {local.c_str(), TRUE}}));
  EXPECT_EQ(get("A"), "1");
  EXPECT_EQ(get("B"), "local");
  EXPECT_TRUE(log.lines().empty());

  // A required file that is missing fails the load and leaves no store.
  EXPECT_FALSE(load({{base.c_str(), TRUE}, {missing.c_str(), TRUE}}));
  EXPECT_EQ(log.count_containing("could not open file '" + missing + "': "), 1u);
  EXPECT_EQ(get("A"), "<null>");

  // A directory opens but cannot be read.
  log.clear();
  EXPECT_FALSE(load({{dir.path().c_str(), FALSE}}));
  EXPECT_EQ(log.count_containing("failed reading file '" + dir.path() + "': "), 1u);
  EXPECT_EQ(get("A"), "<null>");
}

TEST(ShellSettings, Latin1FilesAreConvertedUtf8FilesAreNot) {
  TempDir dir;
  std::string latin1 = dir.write("latin1.conf", "CITY=Z\xfcrich\n");
  std::string utf8 = dir.write("utf8.conf", "STREET=Stra\xc3\x9f" "e\n");
  ASSERT_TRUE(load({{latin1.c_str(), TRUE}, {utf8.c_str(), TRUE}}));
  EXPECT_EQ(get("CITY"), "Z\xc3\xbcrich");
  EXPECT_EQ(get("STREET"), "Stra\xc3\x9f" "e");
}

TEST(ShellSettings, LinesThatAreNotKeyValueFailTheLoad) {
  TempDir dir;
  std::string script = dir.write("script.conf", "BEFORE=1\nif [ -f /etc/x ]; then\nAFTER=2\nfi\n");
  LogCapture log;
  EXPECT_FALSE(load({{script.c_str(), TRUE}}));
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0].priority, LOG_ERR);
  EXPECT_EQ(log.lines()[0].text.rfind("could not load settings: ", 0), 0u) << log.lines()[0].text;
  // The store keeps what the parser took before the bad line.
  EXPECT_EQ(get("BEFORE"), "1");
  EXPECT_EQ(get("AFTER"), "<null>");

  // A group header hides the keys that follow it.
  std::string grouped = dir.write("grouped.conf", "TOP=1\n[Other]\nHIDDEN=2\n");
  ASSERT_TRUE(load({{grouped.c_str(), TRUE}}));
  EXPECT_EQ(get("TOP"), "1");
  EXPECT_EQ(get("HIDDEN"), "<null>");
}

TEST(ShellSettings, QueriesBeforeLoadAndAfterAnEmptyLoadFindNothing) {
  gboolean value = 42;
  EXPECT_EQ(get("A"), "<null>");
  EXPECT_FALSE(ptz_settings_shell_get_boolean(&value, "A"));

  TempDir dir;
  std::string file = dir.write("a.conf", "A=yes\n");
  ASSERT_TRUE(load({{file.c_str(), TRUE}}));
  EXPECT_EQ(get("A"), "yes");
  // Each load replaces the store.
  EXPECT_TRUE(load({}));
  EXPECT_EQ(get("A"), "<null>");
  EXPECT_FALSE(ptz_settings_shell_get_boolean(&value, "A"));
  EXPECT_EQ(value, 42);
}

TEST(ShellSettings, QueriesDuringReloadsSeeOneWholeStore) {
  TempDir dir;
  std::string a = dir.write("a.conf", "K=a\n");
  std::string b = dir.write("b.conf", "K='b'\n");
  ASSERT_TRUE(load({{a.c_str(), TRUE}}));
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; t++)
    readers.emplace_back([&] {
      while (!stop) {
        std::string value = get("K");
        if (value != "a" && value != "b") wrong++;
      }
    });
  for (int i = 0; i < 200; i++) {
    if (!load({{i % 2 ? a.c_str() : b.c_str(), TRUE}})) wrong++;
  }
  stop = true;
  for (auto &reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
}
