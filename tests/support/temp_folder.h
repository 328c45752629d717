// A fresh temporary folder of a test's own, and whole-file reads and writes,
// for the native tests.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// A fresh, empty folder under $TMPDIR (or /tmp), removed with everything in
// it when the object goes. Owner permissions come back first, so that
// read-only files and folders a test made go too; links are not followed.
// Throws std::runtime_error when the folder cannot be made, so that no test
// runs on an empty path.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  const std::string &Path() const { return path_; }
  // Path() + "/" + relative.
  std::string operator/(const std::string &relative) const;

private:
  std::string path_;
};

// Whole files; each fails the test when the file cannot be written or read.
void WriteFile(const std::string &path, std::string_view bytes);
std::string ReadFile(const std::string &path); // empty after a failure
bool Exists(const std::string &path);          // anything, a dangling link too
bool FileExists(const std::string &path);      // an ordinary file, via links
bool FolderExists(const std::string &path);    // a folder, via links
// Makes the folder and any missing parents; fails the test when there is no
// folder at path afterwards.
void MakeFolder(const std::string &path);

} // namespace testsupport
