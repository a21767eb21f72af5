// ptzctl config: load configuration files into the settings store and show
// a group or a value as the library's queries return them.
#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include <ptz_settings.h>

#include "ptzctl.h"
#include "ptzctl_output.h"

namespace ptzctl {
namespace {

const Command kConfig = {"config",
                         "Usage: ptzctl config [--key-file|--parsed] [--json] FILE... [[--] GROUP [KEY]]\n"
                         "\n"
                         "Load the FILEs into the settings store, as a daemon does at start, and\n"
                         "print GROUP ('KEY = VALUE' lines, in the store's order) or the value of KEY.\n"
                         "Without GROUP, print every group of the key-file files.\n"
                         "\n"
                         "Options:\n"
                         "  --key-file   the FILEs that follow are key files (the default)\n"
                         "  --parsed     the FILEs that follow are in the structured format; values\n"
                         "               that are not UTF-8 are read as ISO-8859-1\n"
                         "  --typed      with KEY, also show how the boolean and integer queries\n"
                         "               read the value\n"
                         "  --json       print the same as one JSON document\n"
                         "\n"
                         "Both kinds may be given at once; queries look in the key files first.\n"
                         "A FILE is an argument that names an existing file or contains a '/'; the\n"
                         "first other argument (or whatever follows '--') is GROUP. GROUP is a full\n"
                         "group name; a leading 'root.' or 'ROOT.' is ignored, as by every query.\n"
                         "\n"
                         "Exit status: 0 shown, 1 a file did not load or the group or key does not\n"
                         "exist, 2 usage error.\n"};

struct Files {
  std::vector<std::string> key_files;
  std::vector<std::string> parsed_files;
  std::string group, key;
  bool has_group = false, has_key = false;
};

bool names_a_file(const std::string &word) {
  return word.find('/') != std::string::npos || g_file_test(word.c_str(), G_FILE_TEST_EXISTS);
}

// Sorts the command line into files of each kind, GROUP and KEY.
int sort_arguments(const std::vector<Argument> &arguments, Files *files) {
  bool parsed = false, files_done = false;
  std::vector<std::string> query;
  for (const Argument &argument : arguments) {
    if (argument.name == "key-file" || argument.name == "parsed") {
      if (files_done) return usage_error(kConfig, "--%s after GROUP", argument.name.c_str());
      parsed = argument.name == "parsed";
      continue;
    }
    if (argument.name == "--") files_done = true;
    if (argument.is_option()) continue;
    if (!files_done && names_a_file(argument.value)) {
      (parsed ? files->parsed_files : files->key_files).push_back(argument.value);
      continue;
    }
    files_done = true;
    query.push_back(argument.value);
  }
  if (files->key_files.empty() && files->parsed_files.empty()) {
    if (query.empty()) return usage_error(kConfig, "no FILE given");
    return usage_error(kConfig, "no FILE given ('%s' is not a file)", query[0].c_str());
  }
  if (query.size() > 2) return usage_error(kConfig, "too many arguments after GROUP and KEY");
  if (!query.empty()) {
    files->group = query[0];
    files->has_group = true;
  }
  if (query.size() == 2) {
    files->key = query[1];
    files->has_key = true;
  }
  return kExitOk;
}

// Every file must be there and readable; the loaders would otherwise only
// say so in the system log.
int check_readable(const std::vector<std::string> &names) {
  for (const std::string &name : names) {
    if (g_file_test(name.c_str(), G_FILE_TEST_IS_DIR)) return fail(kConfig, "'%s' is a directory", name.c_str());
    if (access(name.c_str(), R_OK) != 0) return fail(kConfig, "cannot read '%s': %s", name.c_str(), g_strerror(errno));
  }
  return kExitOk;
}

int load(const Files &files) {
  int code = kExitOk;
  if ((code = check_readable(files.key_files)) || (code = check_readable(files.parsed_files))) return code;
  if (!files.key_files.empty()) {
    std::vector<PTZSettingsFile> list;
    for (const std::string &name : files.key_files) list.push_back({name.c_str(), TRUE});
    list.push_back({nullptr, FALSE});
    if (!ptz_settings_load_config_gkf(list.data(), nullptr))
      return fail(kConfig, "the key files did not load (the reason is above)");
  }
  if (!files.parsed_files.empty()) {
    std::vector<PTZSettingsFile> list;
    for (const std::string &name : files.parsed_files) list.push_back({name.c_str(), TRUE});
    list.push_back({nullptr, FALSE});
    if (!ptz_settings_load_config(list.data(), nullptr))
      return fail(kConfig, "the structured files did not load (the reason is above)");
  }
  return kExitOk;
}

// Prints the group's keys with their values, or adds them to `out` as an
// object; false when no store holds it.
bool print_group(const std::string &group, JsonWriter *out) {
  gchar **keys = ptz_settings_get_custom_group(group.c_str());
  if (keys == nullptr) return false;
  if (out != nullptr) out->begin_object();
  for (gchar **key = keys; *key != nullptr; key++) {
    gchar *value = ptz_settings_get_custom_string(group.c_str(), *key);
    if (out != nullptr) {
      out->key(*key);
      value != nullptr ? out->string(value) : out->null();
    } else if (value != nullptr) {
      printf("%s = %s\n", *key, value);
    } else {
      printf("%s (no readable value)\n", *key);
    }
    g_free(value);
  }
  if (out != nullptr) out->end_object();
  g_strfreev(keys);
  return true;
}

// The groups of the key files, in the order the key-file loader sees them:
// all files as one document.
int print_key_file_groups(const Files &files, bool json) {
  std::string text;
  for (const std::string &name : files.key_files) {
    gchar *contents = nullptr;
    if (!g_file_get_contents(name.c_str(), &contents, nullptr, nullptr)) continue;
    text += contents;
    text += '\n';
    g_free(contents);
  }
  GKeyFile *document = g_key_file_new();
  gchar **groups = nullptr;
  if (g_key_file_load_from_data(document, text.data(), text.size(), G_KEY_FILE_NONE, nullptr))
    groups = g_key_file_get_groups(document, nullptr);
  JsonWriter out;
  out.begin_object().key("groups").begin_object();
  for (gchar **group = groups; group != nullptr && *group != nullptr; group++) {
    if (json) {
      out.key(*group);
      if (!print_group(*group, &out)) out.null();
      continue;
    }
    printf("[%s]\n", *group);
    if (!print_group(*group, nullptr)) printf("(not reachable by this name: queries drop a leading 'root.')\n");
  }
  if (json) out.end_object().end_object().print();
  g_strfreev(groups);
  g_key_file_free(document);
  if (!files.parsed_files.empty())
    fprintf(stderr, "ptzctl config: the groups of structured files cannot be listed; name a GROUP\n");
  return kExitOk;
}

// How the typed queries read the value: as text lines, or as members of
// `out` (null where a query fails).
void print_typed(const std::string &group, const std::string &key, JsonWriter *out) {
  gboolean flag = FALSE;
  gint64 wide = 0;
  gint narrow = 0;
  bool has_flag = ptz_settings_get_custom_boolean(group.c_str(), key.c_str(), &flag);
  bool has_wide = ptz_settings_get_custom_int64(group.c_str(), key.c_str(), &wide);
  bool has_narrow = ptz_settings_get_custom_int(group.c_str(), key.c_str(), &narrow);
  if (out != nullptr) {
    out->key("boolean");
    has_flag ? out->boolean(flag) : out->null();
    out->key("int64");
    has_wide ? out->integer(wide) : out->null();
    out->key("int");
    has_narrow ? out->integer(narrow) : out->null();
    return;
  }
  printf("boolean: %s\n", has_flag ? (flag ? "true" : "false") : "(fails)");
  printf("int64: %s\n", has_wide ? std::to_string(wide).c_str() : "(fails)");
  printf("int: %s\n", has_narrow ? std::to_string(narrow).c_str() : "(fails)");
}

}  // namespace

int run_config(int argc, char **argv, int first) {
  std::vector<Argument> arguments;
  int code = kExitOk;
  if (!parse_arguments(kConfig, argc, argv, first,
                       {{"key-file", 0, false}, {"parsed", 0, false}, {"typed", 0, false}, kJsonOption}, &arguments,
                       &code))
    return code;
  Files files;
  if ((code = sort_arguments(arguments, &files)) != kExitOk) return code;
  bool typed = last_option(arguments, "typed") != nullptr;
  if (typed && !files.has_key) return usage_error(kConfig, "--typed needs a KEY");
  if ((code = load(files)) != kExitOk) return code;
  bool json = wants_json(arguments);
  if (!files.has_group) return print_key_file_groups(files, json);
  if (!ptz_settings_has_custom_group(files.group.c_str()))
    return fail(kConfig, "no group '%s' in the loaded files%s", files.group.c_str(),
                g_file_test(files.group.c_str(), G_FILE_TEST_EXISTS) ? "" : " (and no file of that name)");
  JsonWriter out;
  out.begin_object().member("group", files.group);
  if (!files.has_key) {
    if (json) out.key("values");
    print_group(files.group, json ? &out : nullptr);
    if (json) out.end_object().print();
    return kExitOk;
  }
  gchar *value = ptz_settings_get_custom_string(files.group.c_str(), files.key.c_str());
  if (value == nullptr)
    return fail(kConfig, "group '%s' has no readable value for '%s'", files.group.c_str(), files.key.c_str());
  if (json) {
    out.member("key", files.key).member("value", value);
    if (typed) print_typed(files.group, files.key, &out);
    out.end_object().print();
  } else {
    if (typed)
      printf("string: %s\n", value);
    else
      puts(value);
    if (typed) print_typed(files.group, files.key, nullptr);
  }
  g_free(value);
  return kExitOk;
}

}  // namespace ptzctl
