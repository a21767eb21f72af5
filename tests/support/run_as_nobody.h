// Child processes that act as an unprivileged local user: the account
// "nobody", with no supplementary groups. Only a process running as root can
// switch to it; attack tests skip without root.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "velmora_test.h"

namespace velmora::testing {

// The numeric account and group of "nobody"; false when there is none.
inline bool nobody_ids(uid_t *uid, gid_t *gid) {
  const passwd *entry = getpwnam("nobody");
  if (entry == nullptr) return false;
  *uid = entry->pw_uid;
  *gid = entry->pw_gid;
  return true;
}

// Why attack tests cannot run here, or NULL when they can.
inline const char *run_as_nobody_unavailable() {
  uid_t uid;
  gid_t gid;
  if (geteuid() != 0) return "attack tests switch to the account nobody, which needs root";
  if (!nobody_ids(&uid, &gid)) return "there is no account nobody";
  return nullptr;
}

// A child process that drops to nobody (groups, group, then account, so it
// cannot switch back) and runs `body`; its result is the exit status. A
// child that fails to drop exits with 120 before running anything.
inline std::unique_ptr<Child> run_as_nobody(const std::function<int()> &body) {
  return std::make_unique<Child>([body] {
    uid_t uid;
    gid_t gid;
    if (!nobody_ids(&uid, &gid) || setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0 || setuid(0) == 0)
      return 120;
    return body();
  });
}

}  // namespace velmora::testing
