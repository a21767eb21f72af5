// Structured configuration parser. A file is read whole and parsed at open
// time into a list of records, so a file that does not follow the grammar
// fails to open and never delivers part of its contents. The parser works on
// (pointer, end) ranges only and never relies on a terminating NUL, so any
// byte sequence is safe to feed it.

#include "qenta.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/ptz_unique_fd.h"
#include "qenta_testing.h"

namespace {

constexpr size_t kMaxFileSize = 16 * 1024 * 1024;
constexpr size_t kMaxDepth = 64;

struct Entry {
  std::string group;
  std::string key;
  std::string value;
  bool has_value;
};

// The open file: its entries and the records handed out, which point into them.
struct OpenFile {
  std::vector<Entry> entries;
  std::vector<qenta_record> records;
  size_t next = 0;
};

OpenFile *open_file = nullptr;
QentaTestingLogHook log_hook = nullptr;
void *log_hook_data = nullptr;

bool is_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool is_name_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Control characters other than the tab may not appear in values.
bool is_forbidden(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }

int hex_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct OpenGroup {
  std::string name;
  unsigned line;
};

class Parser {
 public:
  Parser(const char *data, size_t size) : p_(reinterpret_cast<const unsigned char *>(data)), end_(p_ + size) {}

  // Parses the whole text into `out`; on failure line() and reason() tell why.
  bool run(std::vector<Entry> &out) {
    out_ = &out;
    if (const void *nul = memchr(p_, '\0', end_ - p_)) {
      for (const unsigned char *q = p_; q < static_cast<const unsigned char *>(nul); q++)
        if (*q == '\n') line_++;
      return fail("NUL byte in file");
    }
    while (p_ < end_) {
      const unsigned char *eol = static_cast<const unsigned char *>(memchr(p_, '\n', end_ - p_));
      const unsigned char *line_end = eol ? eol : end_;
      if (!parse_line(p_, line_end)) return false;
      p_ = eol ? eol + 1 : end_;
      if (eol) line_++;
    }
    if (!groups_.empty()) {
      line_ = groups_.back().line;
      reason_ = "group '" + groups_.back().name + "' is not closed";
      return false;
    }
    return true;
  }

  unsigned line() const { return line_; }
  const std::string &reason() const { return reason_; }

 private:
  bool fail(const char *reason) {
    reason_ = reason;
    return false;
  }

  static const unsigned char *skip_blanks(const unsigned char *i, const unsigned char *end) {
    while (i < end && is_blank(*i)) i++;
    return i;
  }

  // True when only blanks and an optional comment remain.
  static bool at_line_end(const unsigned char *i, const unsigned char *end) {
    i = skip_blanks(i, end);
    return i == end || *i == '#';
  }

  // A dotted name: names of [A-Za-z0-9_-] joined by single dots.
  bool parse_name(const unsigned char *&i, const unsigned char *end, std::string &name) {
    const unsigned char *start = i;
    while (i < end && (is_name_char(*i) || *i == '.')) i++;
    if (i == start) return fail("expected a group name or a key");
    name.assign(reinterpret_cast<const char *>(start), i - start);
    if (name.front() == '.' || name.back() == '.' || name.find("..") != std::string::npos)
      return fail("empty name between dots");
    return true;
  }

  bool parse_line(const unsigned char *i, const unsigned char *end) {
    i = skip_blanks(i, end);
    if (i == end || *i == '#') return true;
    if (*i == '}') {
      if (!at_line_end(i + 1, end)) return fail("unexpected text after '}'");
      if (groups_.empty()) return fail("'}' without an open group");
      groups_.pop_back();
      return true;
    }
    std::string name;
    if (!parse_name(i, end, name)) return false;
    i = skip_blanks(i, end);
    if (i < end && *i == '{') {
      if (!at_line_end(i + 1, end)) return fail("unexpected text after '{'");
      if (groups_.size() >= kMaxDepth) return fail("groups nested too deeply");
      std::string full = groups_.empty() ? name : groups_.back().name + "." + name;
      groups_.push_back({std::move(full), line_});
      return true;
    }
    if (groups_.empty()) return fail("entry outside of any group");
    Entry entry{groups_.back().name, std::move(name), std::string(), false};
    if (i == end || *i == '#') {
      out_->push_back(std::move(entry));
      return true;
    }
    if (*i != '=') return fail("expected '=', '{' or the end of the line");
    i = skip_blanks(i + 1, end);
    entry.has_value = true;
    bool ok = (i < end && *i == '"') ? parse_quoted(i + 1, end, entry.value) : parse_plain(i, end, entry.value);
    if (!ok) return false;
    out_->push_back(std::move(entry));
    return true;
  }

  // A value up to a comment or the end of the line, trailing blanks removed.
  bool parse_plain(const unsigned char *i, const unsigned char *end, std::string &value) {
    const unsigned char *stop = i;
    while (stop < end && *stop != '#') stop++;
    while (stop > i && is_blank(stop[-1])) stop--;
    for (const unsigned char *c = i; c < stop; c++)
      if (is_forbidden(*c)) return fail("control character in value");
    value.assign(reinterpret_cast<const char *>(i), stop - i);
    return true;
  }

  // A value between double quotes; `i` points just past the opening quote.
  bool parse_quoted(const unsigned char *i, const unsigned char *end, std::string &value) {
    for (;;) {
      if (i == end) return fail("unterminated quoted value");
      unsigned char c = *i++;
      if (c == '"') break;
      if (is_forbidden(c)) return fail("control character in value");
      if (c != '\\') {
        value.push_back(static_cast<char>(c));
        continue;
      }
      if (i == end) return fail("unterminated quoted value");
      switch (unsigned char e = *i++) {
        case 'n':
          value.push_back('\n');
          break;
        case 't':
          value.push_back('\t');
          break;
        case 'r':
          value.push_back('\r');
          break;
        case '\\':
        case '"':
        case '\'':
          value.push_back(static_cast<char>(e));
          break;
        case 'x': {
          int high = i < end ? hex_digit(i[0]) : -1;
          int low = end - i >= 2 ? hex_digit(i[1]) : -1;
          if (high < 0 || low < 0) return fail("\\x needs two hexadecimal digits");
          if (high == 0 && low == 0) return fail("\\x00 is not allowed");
          value.push_back(static_cast<char>(high * 16 + low));
          i += 2;
          break;
        }
        default:
          return fail("unknown escape sequence");
      }
    }
    if (!at_line_end(i, end)) return fail("unexpected text after quoted value");
    return true;
  }

  const unsigned char *p_;
  const unsigned char *end_;
  unsigned line_ = 1;
  std::string reason_;
  std::vector<OpenGroup> groups_;
  std::vector<Entry> *out_ = nullptr;
};

void report(const char *name, unsigned line, const std::string &reason) {
  char message[512];
  snprintf(message, sizeof message, "qenta: %s:%u: %s", name, line, reason.c_str());
  syslog(LOG_ERR, "%s", message);
  if (log_hook) log_hook(message, log_hook_data);
}

int open_text(const char *name, const char *data, size_t size) {
  qenta_closecfg();
  auto *file = new OpenFile();
  Parser parser(data, size);
  if (!parser.run(file->entries)) {
    report(name, parser.line(), parser.reason());
    delete file;
    errno = EINVAL;
    return 0;
  }
  file->records.reserve(file->entries.size());
  for (const Entry &e : file->entries)
    file->records.push_back({e.group.c_str(), e.key.c_str(), e.has_value ? e.value.c_str() : nullptr});
  open_file = file;
  return 1;
}

// Reads a whole regular file; false with errno set on failure.
bool read_file(const char *path, std::string &text) {
  velmora::UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (text.size() + static_cast<size_t>(n) > kMaxFileSize) {
      errno = EFBIG;
      return false;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

extern "C" {

int qenta_opencfg(const char *path) {
  if (path == nullptr) {
    errno = EINVAL;
    return 0;
  }
  std::string text;
  if (!read_file(path, text)) {
    int saved = errno;
    qenta_closecfg();
    errno = saved;
    return 0;
  }
  return open_text(path, text.data(), text.size());
}

const qenta_record *qenta_getcfg(void) {
  if (open_file == nullptr || open_file->next >= open_file->records.size()) return nullptr;
  return &open_file->records[open_file->next++];
}

void qenta_closecfg(void) {
  delete open_file;
  open_file = nullptr;
}

void qenta_testing_set_log_hook(QentaTestingLogHook hook, void *user_data) {
  log_hook = hook;
  log_hook_data = user_data;
}

int qenta_testing_open_buffer(const char *name, const char *data, size_t size) {
  if (name == nullptr || (data == nullptr && size > 0)) {
    errno = EINVAL;
    return 0;
  }
  return open_text(name, data ? data : "", size);
}

}  // extern "C"
