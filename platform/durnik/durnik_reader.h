// Reading a status-cache group without a lock and without a mapping: the
// header, the directory and the values asked for are copied with pread while
// the writers' sequence counter stays the same, and copied again when it
// moved. So no reader delays a writer, sees half a write, or dies of SIGBUS
// on an object that shrank under it.
#pragma once

#include <memory>
#include <string>

#include "durnik_layout.h"

// Internal to the library: none of it is exported.
#pragma GCC visibility push(hidden)
namespace durnik {

// One process's read-only descriptor of one group, of an object published by
// a trusted account.
struct Reader {
  UniqueFd fd;
  uint64_t object_bytes = 0;
};
using ReaderPtr = std::shared_ptr<Reader>;

// Opens a group for reading; NULL with errno (EACCES for an object whose
// publisher is not believed).
ReaderPtr open_reader(const std::string &object);

// Reads the request's values (flag SC_GET_ALL or SC_GET_PRESENT) from a
// consistent copy of the group, and tells its header when asked. Returns the
// number of values read, or -1 with errno (EAGAIN when writers kept changing
// the group for a second, ESTALE when it was removed).
int read_values(const Reader &reader, const Request &request, int flag, Header *seen = nullptr);

}  // namespace durnik
#pragma GCC visibility pop
