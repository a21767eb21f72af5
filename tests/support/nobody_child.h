// Hostile-user tests: attacks made by another local account. A test running
// as root forks children that give up root for the unprivileged account
// "nobody" before their body runs, and checks that the attack fails and that
// legitimate clients are still served. Without root such tests skip.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "velmora_test.h"

namespace velmora::testing {

struct Account {
  uid_t uid;
  gid_t gid;
};

// The account "nobody", when the machine has one.
inline std::optional<Account> nobody_account() {
  struct passwd *pw = getpwnam("nobody");
  if (pw == nullptr) return std::nullopt;
  return Account{pw->pw_uid, pw->pw_gid};
}

// Why attacks by another account cannot run in this process, or "" when they can.
inline std::string why_attacks_cannot_run() {
  if (geteuid() != 0) return "attacks by another account need root (their children switch to nobody)";
  if (!nobody_account()) return "there is no account named nobody to attack from";
  return "";
}

// Gives up root for good: the supplementary groups `groups` only, then
// nobody's group and user. False when any step fails.
inline bool become_nobody(const std::vector<gid_t> &groups = {}) {
  std::optional<Account> nobody = nobody_account();
  if (!nobody || setgroups(groups.size(), groups.data()) != 0 || setgid(nobody->gid) != 0 || setuid(nobody->uid) != 0 ||
      setuid(0) == 0)
    return false;
  // Changing the credentials cleared the parent-death signal.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  return true;
}

// A child process whose body runs as nobody (with the supplementary groups
// given); it exits with kSwitchFailed when it cannot give up root.
class NobodyChild : public Child {
 public:
  static constexpr int kSwitchFailed = 126;
  explicit NobodyChild(const std::function<int()> &body, std::vector<gid_t> groups = {})
      : Child([body, groups] { return become_nobody(groups) ? body() : kSwitchFailed; }) {}
};

// Runs `check` in a child process (as nobody when asked), so that a crash is
// seen as the child's signal and not as the test's; true when it passed.
inline bool passes_in_child(const std::function<bool()> &check, bool as_nobody = false) {
  auto body = [&] { return check() ? 0 : 1; };
  auto passed = [](Child &child) {
    int status = child.wait();
    EXPECT_EQ(child.signal(), 0) << "the client died of a signal";
    return status == 0;
  };
  if (as_nobody) {
    NobodyChild child(body);
    return passed(child);
  }
  Child child(body);
  return passed(child);
}

// One number sent from a child to the test, for an attacker that reports
// whether its attack took and then keeps holding what it got.
class ChildReport {
 public:
  ChildReport() {
    if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~ChildReport() {
    for (int fd : fds_)
      if (fd >= 0) close(fd);
  }
  ChildReport(const ChildReport &) = delete;
  ChildReport &operator=(const ChildReport &) = delete;

  // In the child.
  void send(int value) const {
    ssize_t n = write(fds_[1], &value, sizeof value);
    (void)n;
  }
  // In the test: the number, or nullopt when none came within timeout_ms.
  std::optional<int> receive(int timeout_ms = 30000) const {
    struct pollfd p = {fds_[0], POLLIN, 0};
    int value = 0;
    if (poll(&p, 1, timeout_ms) != 1 || read(fds_[0], &value, sizeof value) != sizeof value) return std::nullopt;
    return value;
  }

 private:
  int fds_[2];
};

// Gives a test directory `mode` (0755, or 01777 for a directory that every
// account may write, like /tmp); false when nobody could not reach it
// because a directory above it is closed to other accounts.
inline bool open_to_other_accounts(const std::string &path, mode_t mode) {
  if (chmod(path.c_str(), mode) != 0) return false;
  for (std::string dir = path; dir.size() > 1;) {
    dir = dir.substr(0, dir.rfind('/'));
    if (dir.empty()) dir = "/";
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

}  // namespace velmora::testing

// Skips the test when attacks by another account cannot run here.
#define VELMORA_SKIP_UNLESS_ATTACKS_CAN_RUN()                           \
  do {                                                                  \
    std::string why_not = ::velmora::testing::why_attacks_cannot_run(); \
    if (!why_not.empty()) GTEST_SKIP() << why_not;                      \
  } while (0)
