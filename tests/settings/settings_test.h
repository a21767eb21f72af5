// Helpers shared by the settings tests: owned strings and file lists.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ptz_settings.h"
#include "velmora_test.h"

namespace velmora::testing {

// The text of a returned string (freed here), "<NULL>" for NULL.
inline std::string take(gchar *text) {
  std::string result = text ? text : "<NULL>";
  g_free(text);
  return result;
}

// A NULL-terminated PTZSettingsFile list over names it owns.
class FileList {
 public:
  FileList(std::initializer_list<std::pair<std::string, gboolean>> list) : names_(list) {
    for (const auto &[name, required] : names_) entries_.push_back({name.c_str(), required});
    entries_.push_back({nullptr, FALSE});
  }
  operator const PTZSettingsFile *() const { return entries_.data(); }

 private:
  std::vector<std::pair<std::string, gboolean>> names_;
  std::vector<PTZSettingsFile> entries_;
};

}  // namespace velmora::testing
