// Who may do what with a status-cache group: the settings this process reads
// from its environment (the object name prefix, the writer group) and the
// judgements on an object's owner and mode.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

// Internal to the library: none of it is exported.
#pragma GCC visibility push(hidden)
namespace durnik {

// Read once per process from the environment: the object name prefix
// (DURNIK_PREFIX) and the writer group (DURNIK_GROUP, a name or a number).
struct Settings {
  std::string prefix = "/durnik.";
  std::optional<gid_t> writers;
  bool writers_known = true;  // false when DURNIK_GROUP names no group
};

const Settings &settings();

// The shared-memory object of the group `name`; false for a name that is
// empty, too long or holds a "/".
bool object_name(const char *name, std::string *out);

// Whether an object was published by an account this process believes: only
// root, this process's account and the writer group can have written it (it
// is writable by no other account or group), and one of them owns it.
bool trusted(const struct stat &st);

// Whether the object belongs to this process's account or, written by the
// group, to the writer group: the objects it may reclaim.
bool belongs_to_us(const struct stat &st);

// Whether this process may write into the object.
bool writable_by_us(const struct stat &st);

}  // namespace durnik
#pragma GCC visibility pop
