#include "durnik_accounts.h"

#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace durnik {
namespace {

constexpr size_t kNameMax = 200;

// A group given by name or by number.
std::optional<gid_t> group_id(const char *text) {
  std::vector<char> buffer(16384);
  struct group entry, *found = nullptr;
  if (getgrnam_r(text, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return found->gr_gid;
  char *end = nullptr;
  errno = 0;
  unsigned long number = strtoul(text, &end, 10);
  if (text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || number >= gid_t(-1)) return std::nullopt;
  return gid_t(number);
}

bool writer_group_owns(const struct stat &st) {
  const std::optional<gid_t> &writers = settings().writers;
  return writers && st.st_gid == *writers;
}

}  // namespace

const Settings &settings() {
  static const Settings value = [] {
    Settings s;
    const char *prefix = getenv("DURNIK_PREFIX");
    if (prefix != nullptr && prefix[0] == '/' && strchr(prefix + 1, '/') == nullptr && strlen(prefix) <= 100)
      s.prefix = prefix;
    const char *group = getenv("DURNIK_GROUP");
    if (group != nullptr && group[0] != '\0') {
      s.writers = group_id(group);
      s.writers_known = s.writers.has_value();
    }
    return s;
  }();
  return value;
}

bool object_name(const char *name, std::string *out) {
  if (name == nullptr) return false;
  size_t length = strnlen(name, kNameMax + 1);
  if (length == 0 || length > kNameMax || memchr(name, '/', length) != nullptr) return false;
  *out = settings().prefix;
  out->append(name, length);
  return true;
}

bool trusted(const struct stat &st) {
  if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWOTH) != 0 || ((st.st_mode & S_IWGRP) != 0 && !writer_group_owns(st)))
    return false;
  return st.st_uid == 0 || st.st_uid == geteuid() || writer_group_owns(st);
}

bool belongs_to_us(const struct stat &st) {
  return S_ISREG(st.st_mode) && (st.st_uid == geteuid() || (writer_group_owns(st) && (st.st_mode & S_IWGRP) != 0));
}

bool writable_by_us(const struct stat &st) { return trusted(st) && belongs_to_us(st); }

}  // namespace durnik
