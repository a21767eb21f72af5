// ptzctl: a command-line tool for driver developers. It inspects the
// framework's vocabulary, status-cache groups, parameters, command sockets
// and configuration files through the library, as a driver would see them.
#include <stdio.h>
#include <string.h>
#include <syslog.h>

#include <ptz_logging.h>

#include "ptzctl.h"

namespace {

const char kHelp[] =
    "Usage: ptzctl [-v|-q] COMMAND [ARGUMENTS]\n"
    "\n"
    "Inspect what the PTZ framework's processes share.\n"
    "\n"
    "Commands:\n"
    "  vocab [TYPE [VALUE|NICK]]        list the vocabulary, a type, or look a value up\n"
    "  cache dump GROUP                 print a status-cache group, decoded by type\n"
    "  cache watch GROUP                print a group, then its changes\n"
    "  param get PATH                   read a parameter of the parameter service\n"
    "  param set PATH VALUE             write a parameter\n"
    "  send SOCKET --hex HEX|--file F   send a framed command and print the reply\n"
    "  config FILE... [GROUP [KEY]]     load configuration files and query them\n"
    "\n"
    "Options:\n"
    "  -v, --verbose   also show the library's informational messages\n"
    "  -q, --quiet     do not show the library's own messages on stderr\n"
    "  -h, --help      show this help; 'ptzctl COMMAND --help' for a command\n"
    "\n"
    "The library's error and warning lines are shown on stderr as well as sent\n"
    "to the system log. Exit status: 0 success, 1 failure, 2 usage error.\n";

struct Entry {
  const char *name;
  int (*run)(int argc, char **argv, int first);
};

constexpr Entry kCommands[] = {
    {"vocab", ptzctl::run_vocab}, {"cache", ptzctl::run_cache},   {"param", ptzctl::run_param},
    {"send", ptzctl::run_send},   {"config", ptzctl::run_config},
};

// Shows the library's lines up to the chosen priority on stderr and keeps
// every one in the system log.
void show_library_line(int priority, const gchar *line, gpointer max_priority) {
  if (priority <= GPOINTER_TO_INT(max_priority)) fprintf(stderr, "ptzctl: %s\n", line);
  ptz_log_default_handler(priority, line, nullptr);
}

}  // namespace

int main(int argc, char **argv) {
  int shown = LOG_WARNING;  // the library's lines shown on stderr, up to this priority
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; i++) {
    if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
      fputs(kHelp, stdout);
      return ptzctl::kExitOk;
    }
    if (strcmp(argv[i], "-v") == 0 || strcmp(argv[i], "--verbose") == 0) {
      shown = LOG_INFO;
    } else if (strcmp(argv[i], "-q") == 0 || strcmp(argv[i], "--quiet") == 0) {
      shown = -1;
    } else {
      fprintf(stderr, "ptzctl: unknown option '%s'\nTry 'ptzctl --help'.\n", argv[i]);
      return ptzctl::kExitUsage;
    }
  }
  if (i >= argc) {
    fprintf(stderr, "ptzctl: no command given\nTry 'ptzctl --help'.\n");
    return ptzctl::kExitUsage;
  }
  // The library reports through the system log; show its lines on stderr
  // too, so that the reason for a failure is in front of the user.
  ptz_log_set_handler(show_library_line, GINT_TO_POINTER(shown), nullptr);
  for (const auto &command : kCommands)
    if (strcmp(argv[i], command.name) == 0) return command.run(argc, argv, i + 1);
  fprintf(stderr, "ptzctl: unknown command '%s'\nTry 'ptzctl --help'.\n", argv[i]);
  return ptzctl::kExitUsage;
}
