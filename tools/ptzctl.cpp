// ptzctl: a command-line tool for driver developers. It inspects the
// framework's vocabulary, status-cache groups, parameters, command sockets
// and configuration files through the library, as a driver would see them.
#include <stdio.h>
#include <string.h>
#include <syslog.h>

#include <ptz_logging.h>
#include <ptz_version.h>

#include "ptzctl.h"
#include "ptzctl_output.h"

namespace {

const char kHelp[] =
    "Usage: ptzctl [-v|-q] [--json] COMMAND [ARGUMENTS]\n"
    "\n"
    "Inspect what the PTZ framework's processes share.\n"
    "\n"
    "Commands:\n"
    "  vocab [TYPE [VALUE|NICK]]        list the vocabulary, a type, or look a value up\n"
    "  cache list                       list the status-cache groups\n"
    "  cache dump GROUP                 print a status-cache group, decoded by type\n"
    "  cache watch GROUP                wait for a group, print it, then its changes\n"
    "  param get PATH                   read a parameter of the parameter service\n"
    "  param set PATH VALUE             write a parameter\n"
    "  send SOCKET PIECE...             send a framed command and print the reply\n"
    "  config FILE... [GROUP [KEY]]     load configuration files and query them\n"
    "\n"
    "Options:\n"
    "  -v, --verbose   also show the library's informational messages\n"
    "  -q, --quiet     do not show the library's own messages on stderr\n"
    "  -j, --json      print data as JSON (also an option of each command)\n"
    "  -V, --version   show the versions of ptzctl and of the library\n"
    "  -h, --help      show this help; 'ptzctl COMMAND --help' for a command\n"
    "\n"
    "The library's error and warning lines are shown on stderr as well as sent\n"
    "to the system log. Exit status: 0 success, 1 failure, 2 usage error.\n";

// The tool's version is that of the headers it was built with; the
// library's is that of the library it runs with.
int print_version(bool json) {
  g_autofree gchar *library =
      g_strdup_printf("%u.%u.%u", ptz_get_major_version(), ptz_get_minor_version(), ptz_get_micro_version());
  if (json) {
    ptzctl::JsonWriter out;
    out.begin_object().member("ptzctl", PTZ_VERSION_STRING).member("library", library).end_object();
    out.print();
  } else {
    printf("ptzctl %s\nlibvelmora_common %s\n", PTZ_VERSION_STRING, library);
  }
  return ptzctl::kExitOk;
}

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
  bool json = false, version = false;
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
    } else if (strcmp(argv[i], "-j") == 0 || strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (strcmp(argv[i], "-V") == 0 || strcmp(argv[i], "--version") == 0) {
      version = true;
    } else {
      fprintf(stderr, "ptzctl: unknown option '%s'\nTry 'ptzctl --help'.\n", argv[i]);
      return ptzctl::kExitUsage;
    }
  }
  if (version) return print_version(json);
  ptzctl::set_json_default(json);
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
