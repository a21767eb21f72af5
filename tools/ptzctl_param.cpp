// ptzctl param: read and write parameters of the device's parameter service.
#include <stdio.h>

#include <ptz_tamsel.h>

#include "ptzctl.h"
#include "ptzctl_output.h"

namespace ptzctl {
namespace {

const Command kGet = {"param get",
                      "Usage: ptzctl param get [--int|--bool] [--json] PATH\n"
                      "\n"
                      "Print the value of the parameter PATH (for example root.PTZ.Driver.D0.Name)\n"
                      "as UTF-8; values stored in ISO-8859-1 are converted.\n"
                      "\n"
                      "Options:\n"
                      "  --int    read it as a decimal integer, as drivers do\n"
                      "  --bool   read it as a boolean (true for \"true\" or \"yes\"), as drivers do\n"
                      "  --json   print {\"path\": PATH, \"value\": VALUE} (a number with --int,\n"
                      "           a boolean with --bool)\n"
                      "\n"
                      "Exit status: 0 read, 1 no value (or not a number with --int), 2 usage.\n"};

const Command kSet = {"param set",
                      "Usage: ptzctl param set [--mode N] [--opt-value N] PATH VALUE\n"
                      "\n"
                      "Write VALUE to the parameter PATH (created when new), then read it back.\n"
                      "\n"
                      "Options:\n"
                      "  --mode N        write mode, 9 to 12 (default 9)\n"
                      "  --opt-value N   the service's optional value, passed when above 0\n"
                      "\n"
                      "Exit status: 0 written, 1 the service refused it or it reads back\n"
                      "otherwise, 2 usage.\n"};

const Command kParam = {"param",
                        "Usage: ptzctl param get [--int|--bool] [--json] PATH\n"
                        "       ptzctl param set [--mode N] [--opt-value N] PATH VALUE\n"
                        "\n"
                        "See 'ptzctl param get --help' and 'ptzctl param set --help'.\n"};

// The reads of the library take paths of up to PTZ_TAMSEL_PATH_MAX - 1
// characters; a longer one could never be read back.
int check_path(const Command &command, const std::string &path) {
  if (path.empty()) return usage_error(command, "empty PATH");
  if (path.size() >= PTZ_TAMSEL_PATH_MAX)
    return usage_error(command, "PATH is %zu characters long; at most %d are allowed", path.size(),
                       PTZ_TAMSEL_PATH_MAX - 1);
  return kExitOk;
}

int get(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  if (!parse_arguments(kGet, argc, argv, first, {{"int", 0, false}, {"bool", 0, false}, kJsonOption}, &arguments,
                       &code))
    return code;
  std::vector<std::string> words = operands(arguments);
  if (words.size() != 1) return usage_error(kGet, words.empty() ? "no PATH given" : "too many arguments");
  bool as_int = last_option(arguments, "int") != nullptr;
  bool as_bool = last_option(arguments, "bool") != nullptr;
  if (as_int && as_bool) return usage_error(kGet, "--int and --bool exclude each other");
  const std::string &path = words[0];
  if ((code = check_path(kGet, path)) != kExitOk) return code;
  JsonWriter out;
  out.begin_object().member("path", path).key("value");
  std::string text;
  if (as_int) {
    gint32 value = 0;
    if (!ptz_tamsel_get_int(&value, "%s", path.c_str()))
      return fail(kGet, "'%s' has no value that reads as an integer", path.c_str());
    out.integer(value);
    text = std::to_string(value);
  } else if (as_bool) {
    gboolean value = FALSE;
    if (!ptz_tamsel_get_bool(&value, "%s", path.c_str())) return fail(kGet, "'%s' has no value", path.c_str());
    out.boolean(value);
    text = value ? "true" : "false";
  } else {
    gchar *value = ptz_tamsel_get("%s", path.c_str());
    if (value == nullptr) return fail(kGet, "'%s' has no value", path.c_str());
    out.string(value);
    text = value;
    g_free(value);
  }
  if (wants_json(arguments))
    out.end_object().print();
  else
    puts(text.c_str());
  return kExitOk;
}

int set(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  if (!parse_arguments(kSet, argc, argv, first, {{"mode", 'm', true}, {"opt-value", 0, true}}, &arguments, &code))
    return code;
  int64_t mode = 9, opt_value = 0;
  if ((code = option_integer(kSet, last_option(arguments, "mode"), 9, 12, &mode)) ||
      (code = option_integer(kSet, last_option(arguments, "opt-value"), G_MININT32, G_MAXINT32, &opt_value)))
    return code;
  std::vector<std::string> words = operands(arguments);
  if (words.size() != 2)
    return usage_error(kSet, words.size() < 2 ? "PATH and VALUE are needed" : "too many arguments");
  const std::string &path = words[0], &value = words[1];
  if ((code = check_path(kSet, path)) != kExitOk) return code;
  gint err = ptz_tamsel_set_vp(gint32(opt_value), guint32(mode), value.c_str(), "%s", path.c_str());
  if (err != 0) return fail(kSet, "the parameter service refused '%s' (error %d)", path.c_str(), err);
  // What readers will see: the service may store something else than it was
  // given, or report success for a write that did not happen.
  gchar *back = ptz_tamsel_get("%s", path.c_str());
  // Reads convert ISO-8859-1 to UTF-8, so such a value reads back converted.
  std::string expected = value;
  if (!g_utf8_validate(value.data(), gssize(value.size()), nullptr)) {
    gchar *converted = g_convert(value.data(), gssize(value.size()), "UTF-8", "ISO-8859-1", nullptr, nullptr, nullptr);
    if (converted != nullptr) expected = converted;
    g_free(converted);
  }
  code = kExitOk;
  if (back == nullptr)
    code = fail(kSet, "'%s' was written but reads back without a value", path.c_str());
  else if (expected != back)
    code = fail(kSet, "'%s' was written but reads back as '%s'", path.c_str(), back);
  g_free(back);
  return code;
}

}  // namespace

int run_param(int argc, char **argv, int first) {
  return dispatch(kParam, argc, argv, first, {{"get", get}, {"set", set}});
}

}  // namespace ptzctl
