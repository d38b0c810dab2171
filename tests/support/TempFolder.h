// A fresh folder under the system's temporary folder, removed with everything in it at the end,
// even where a test took the permissions away; path() ends with "/" (like ExeFolder) and is ""
// when the folder could not be made.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "trevalind") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    path_ = ::mkdtemp(pattern.data()) ? pattern + "/" : std::string();
  }
  ~TempFolder() {
    if (path_.empty()) return;
    MakeRemovable(path_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);  // never follows links
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }
  std::string File(const std::string& name) const { return path_ + name; }

  // Writes a file, creating its folders.
  void Write(const std::string& name, const std::string& bytes) const {
    std::filesystem::path file = std::filesystem::path(path_) / name;
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream(file, std::ios::binary) << bytes;
  }
  // A small file whose content does not matter.
  void Touch(const std::string& name) const { Write(name, "x"); }
  std::string Read(const std::string& name) const { return ReadWholeFile(path_ + name); }
  bool Exists(const std::string& name) const { return std::ifstream(path_ + name).good(); }

 private:
  // Gives the owner every right on each folder below `folder` (links are not followed), so
  // that a folder a test made unreadable or unwritable can still be emptied.
  static void MakeRemovable(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error))) return;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, error);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
      MakeRemovable(it->path());
  }

  std::string path_;
};
