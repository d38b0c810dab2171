// A locale whose numbers use a decimal comma (de_DE.UTF-8), for the tests that check that
// parsing and formatting never follow the process locale. Under "C" such a test would pass
// whatever the code does, so a test that needs the comma fails when it cannot be had instead
// of falling back.
//
// The system's de_DE.UTF-8 is used when it is installed (the test set-up generates it);
// otherwise the locale is compiled with localedef into a folder of this process, reached through
// LOCPATH and removed when the process ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

inline constexpr char kCommaLocale[] = "de_DE.UTF-8";

namespace comma_locale_detail {

inline bool CommaInEffect() {
  char probe[8];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  return std::string(probe) == "0,5";
}

// The folder holding a locale built by localedef; empty when the build failed.
class BuiltLocale {
 public:
  BuiltLocale() {
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("comma-locale-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder, error);
    if (error) return;
    folder_ = folder.string();
    // localedef reports warnings through its exit status too: the locale is judged by setlocale.
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + folder_ + "/" + kCommaLocale + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());
  }
  ~BuiltLocale() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
};

}  // namespace comma_locale_detail

// Puts de_DE.UTF-8 in effect for the whole process (LC_ALL) and checks that "%.1f" really
// writes a comma. On success LOCPATH may point at the built locale, so a QApplication started
// afterwards with LC_ALL=de_DE.UTF-8 finds it too.
inline ::testing::AssertionResult UseCommaLocale() {
  if (std::setlocale(LC_ALL, kCommaLocale) && comma_locale_detail::CommaInEffect()) {
    return ::testing::AssertionSuccess();
  }
  static const comma_locale_detail::BuiltLocale built;
  if (!built.Folder().empty()) {
    setenv("LOCPATH", built.Folder().c_str(), 1);
    if (std::setlocale(LC_ALL, kCommaLocale) && comma_locale_detail::CommaInEffect()) {
      return ::testing::AssertionSuccess();
    }
    unsetenv("LOCPATH");
  }
  std::setlocale(LC_ALL, "C");
  return ::testing::AssertionFailure()
         << "no de_DE.UTF-8 locale with a decimal comma: neither installed (locale-gen) nor "
            "buildable with localedef (package locales)";
}
