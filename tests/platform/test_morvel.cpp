// The durable file writer: complete replacement, no partial file for
// readers, and a failure leaves the old file as it was.
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>

#include "morvel.h"
#include "velmora_test.h"
#ifdef VELMORA_PLATFORM_BUNDLED
#include "morvel_testing.h"
#endif

using velmora::testing::Child;
using velmora::testing::read_file;
using velmora::testing::TempDir;

namespace {

std::set<std::string> entries(const std::string &dir) {
  std::set<std::string> names;
  if (GDir *d = g_dir_open(dir.c_str(), 0, nullptr)) {
    while (const gchar *name = g_dir_read_name(d)) names.insert(name);
    g_dir_close(d);
  }
  return names;
}

bool write(const std::string &path, const std::string &data, GError **error = nullptr) {
  return morvel_set_file_contents_with_sync(path.c_str(), data.data(), static_cast<gssize>(data.size()), error);
}

}  // namespace

TEST(DurableWrite, ReplacesWholeContentsLeavesNothingBehindKeepsWhatBlocks) {
  TempDir dir;
  std::string path = dir.file("f.conf");
  ASSERT_TRUE(write(path, "first version, rather long\n"));
  EXPECT_EQ(read_file(path), "first version, rather long\n");
  ASSERT_TRUE(write(path, std::string("bin\0ary", 7)));
  EXPECT_EQ(read_file(path), std::string("bin\0ary", 7));
  ASSERT_TRUE(morvel_set_file_contents_with_sync(path.c_str(), "text\0tail", -1, nullptr));
  EXPECT_EQ(read_file(path), "text");
  EXPECT_EQ(entries(dir.path()), std::set<std::string>{"f.conf"});

  mode_t mask = umask(0);
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

  // A directory in the way cannot be replaced by a file.
  dir.write("busy/inside", "kept");
  GError *error = nullptr;
  EXPECT_FALSE(write(dir.file("busy"), "x", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, G_FILE_ERROR);
  g_clear_error(&error);
  EXPECT_EQ(read_file(dir.file("busy/inside")), "kept");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"busy", "f.conf"}));
}

#ifdef VELMORA_PLATFORM_BUNDLED
TEST(DurableWrite, InjectedFaultsAtEveryStepKeepTheOldFile) {
  TempDir dir;
  std::string path = dir.file("f.conf");
  ASSERT_TRUE(write(path, "old"));
  const std::tuple<MorvelTestingStage, int, GFileError> cases[] = {
      {MORVEL_TESTING_FAIL_CREATE, EMFILE, G_FILE_ERROR_MFILE},
      {MORVEL_TESTING_FAIL_WRITE, ENOSPC, G_FILE_ERROR_NOSPC},
      {MORVEL_TESTING_FAIL_SYNC, EIO, G_FILE_ERROR_IO},
      {MORVEL_TESTING_FAIL_RENAME, EACCES, G_FILE_ERROR_ACCES}};
  for (const auto &[stage, errno_value, code] : cases) {
    SCOPED_TRACE(testing::Message() << "stage " << stage);
    morvel_testing_fail_next(stage, errno_value, 1);
    GError *error = nullptr;
    EXPECT_FALSE(write(path, "new contents", &error));
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error, G_FILE_ERROR, code)) << error->message;
    EXPECT_NE(std::string(error->message).find(path), std::string::npos) << error->message;
    g_clear_error(&error);
    EXPECT_EQ(read_file(path), "old");
    EXPECT_EQ(entries(dir.path()), std::set<std::string>{"f.conf"});
  }
  EXPECT_TRUE(write(path, "new"));  // one fault each
}
#endif

TEST(DurableWrite, ReadersSeeOnlyWholeVersions) {
  TempDir dir;
  std::string path = dir.file("big.dat");
  const size_t size = 256 * 1024;
  ASSERT_TRUE(write(path, std::string(size, 'a')));
  std::string done = dir.file("done");
  Child writer([&] {
    for (int i = 0; i < 40; i++)
      if (!write(path, std::string(size, i % 2 ? 'a' : 'b'))) return 1;
    return write(done, "") ? 0 : 1;
  });
  int torn = 0, reads = 0;
  gint64 deadline = g_get_monotonic_time() + 120 * G_USEC_PER_SEC;
  while (!g_file_test(done.c_str(), G_FILE_TEST_EXISTS) && g_get_monotonic_time() < deadline) {
    std::string seen = read_file(path);
    reads++;
    auto all = [&](char c) { return std::all_of(seen.begin(), seen.end(), [c](char x) { return x == c; }); };
    if (seen.size() != size || !(all('a') || all('b'))) torn++;
  }
  EXPECT_EQ(writer.wait(), 0);
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"big.dat", "done"}));
  EXPECT_GT(reads, 0);
  EXPECT_EQ(torn, 0);
}
