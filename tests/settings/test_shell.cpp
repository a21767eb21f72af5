// The shell-style store: KEY=VALUE files, quotes, encodings, and the lines
// that make a load fail.
// test-labels: threaded
#include <atomic>
#include <thread>

#include "ptz_shell_settings.h"
#include "settings_test.h"

using namespace velmora::testing;

namespace {

std::string get(const char *key) { return take(ptz_settings_shell_get_string("%s", key)); }

bool load(const FileList &files) { return ptz_settings_shell_load_config(files); }

// TRUE or FALSE; -1 when the query fails and leaves its output untouched
// (-2 when it fails but writes).
int boolean(const char *key) {
  gboolean value = 42;
  bool ok = ptz_settings_shell_get_boolean(&value, "%s", key);
  return ok ? value : (value == 42 ? -1 : -2);
}

}  // namespace

TEST(ShellSettings, QuotedValuesBooleansAndFormattedKeys) {
  EXPECT_EQ(get("NAME"), "<NULL>");  // before any load
  EXPECT_EQ(boolean("ENABLED"), -1);
  TempDir dir;
  ASSERT_TRUE(load({{dir.write("net.conf",
                               "# network settings\n\nNAME=\"abc def\"\nTITLE='single quoted'\nHALF=\"open\n"
                               "ENABLED=yes\nDISABLED=no\nEMPTY=\nPORT2_MODE=rs485\n"),
                     TRUE}}));
  EXPECT_EQ(get("NAME"), "abc def");
  EXPECT_EQ(get("TITLE"), "single quoted");
  EXPECT_EQ(get("HALF"), "\"open");
  EXPECT_EQ(get("MISSING"), "<NULL>");
  EXPECT_EQ(take(ptz_settings_shell_get_string("PORT%d_MODE", 2)), "rs485");

  gboolean value = FALSE;
  EXPECT_TRUE(ptz_settings_shell_get_boolean(&value, "DIS%s", "ABLED"));
  EXPECT_FALSE(value);
  EXPECT_EQ(boolean("ENABLED"), TRUE);
  EXPECT_EQ(boolean("EMPTY"), -1);
  EXPECT_EQ(boolean("MISSING"), -1);
}

TEST(ShellSettings, FilesInOrderLaterWinsOptionalMissingSkipped) {
  TempDir dir;
  std::string base = dir.write("base.conf", "A=1\nB=base");
  std::string local = dir.write("local.conf", "B=local\n");
  std::string missing = dir.file("missing.conf");
  LogCapture log;
  // The first file lacks a final newline: its last line must not run into
  // the next file's first.
  ASSERT_TRUE(load({{base, FALSE}, {missing, FALSE}, {local, TRUE}}));
  EXPECT_EQ(get("A"), "1");
  EXPECT_EQ(get("B"), "local");
  EXPECT_TRUE(log.lines().empty());

  // A required file that is missing fails the load and leaves no store.
  EXPECT_FALSE(load({{base, TRUE}, {missing, TRUE}}));
  EXPECT_EQ(log.count_containing("could not open file '" + missing + "': "), 1u);
  EXPECT_EQ(get("A"), "<NULL>");

  // A directory opens but cannot be read.
  ASSERT_TRUE(load({{base, TRUE}}));
  EXPECT_FALSE(load({{dir.path(), FALSE}}));
  EXPECT_EQ(log.count_containing("failed reading file '" + dir.path() + "': "), 1u);
  EXPECT_EQ(get("A"), "<NULL>");

  // Each load replaces the store, an empty list gives an empty one.
  ASSERT_TRUE(load({{base, TRUE}}));
  EXPECT_TRUE(load({}));
  EXPECT_EQ(get("A"), "<NULL>");
}

TEST(ShellSettings, Latin1FilesAreConvertedUtf8FilesAreNot) {
  TempDir dir;
  ASSERT_TRUE(load({{dir.write("latin1.conf", "CITY=Z\xfcrich\n"), TRUE},
                    {dir.write("utf8.conf",
                               "STREET=Stra\xc3\x9f"
                               "e\n"),
                     TRUE}}));
  EXPECT_EQ(get("CITY"), "Z\xc3\xbcrich");
  EXPECT_EQ(get("STREET"),
            "Stra\xc3\x9f"
            "e");
}

TEST(ShellSettings, LinesThatAreNotKeyValueFailTheLoad) {
  TempDir dir;
  LogCapture log;
  EXPECT_FALSE(load({{dir.write("script.conf", "BEFORE=1\nif [ -f /etc/x ]; then\nAFTER=2\nfi\n"), TRUE}}));
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0].priority, LOG_ERR);
  EXPECT_EQ(log.lines()[0].text.rfind("could not load settings: ", 0), 0u) << log.lines()[0].text;
  // The store keeps what the parser took before the bad line.
  EXPECT_EQ(get("BEFORE"), "1");
  EXPECT_EQ(get("AFTER"), "<NULL>");

  // A group header hides the keys that follow it.
  ASSERT_TRUE(load({{dir.write("grouped.conf", "TOP=1\n[Other]\nHIDDEN=2\n"), TRUE}}));
  EXPECT_EQ(get("TOP"), "1");
  EXPECT_EQ(get("HIDDEN"), "<NULL>");
}

TEST(ShellSettings, QueriesDuringReloadsSeeOneWholeStore) {
  TempDir dir;
  std::string a = dir.write("a.conf", "K=a\n"), b = dir.write("b.conf", "K='b'\n");
  ASSERT_TRUE(load({{a, TRUE}}));
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
  for (int i = 0; i < 200; i++)
    if (!load({{i % 2 ? a : b, TRUE}})) wrong++;
  stop = true;
  for (auto &reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
}
