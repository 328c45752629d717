// The tool's walk down a folder tree over open folders (tools/tool_os.h).
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "tests/support/temp_folder.h"
#include "tools/cli.h"
#include "tools/tool_os.h"

namespace {

using testsupport::MakeFolder;
using testsupport::WriteFile;
using tools::os::FolderTrail;

// The descriptors this process holds now.
size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto &entry :
       std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

std::string ReadAll(FolderTrail &trail, const std::string &name) {
  const tools::os::OpenedFile opened = trail.Open(name);
  std::string bytes(64, '\0');
  bytes.resize(opened.file.ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

// A chain of kDepth folders "d", each holding the file "level" with its
// depth.
constexpr size_t kDepth = 300;

void MakeChain(const std::string &root) {
  std::string path = root;
  for (size_t level = 0; level <= kDepth; ++level) {
    MakeFolder(path);
    WriteFile(path + "/level", std::to_string(level));
    path += "/d";
  }
}

TEST(FolderTrail, ADeepWalkHoldsFewFoldersAndFindsEachAgainOnItsWayUp) {
  testsupport::TempFolder box;
  MakeChain(box / "t");
  const size_t before = OpenDescriptors();
  FolderTrail trail(box / "t");
  for (size_t level = 0; level < kDepth; ++level)
    trail.Enter("d");
  // The nearest kNear folders and every kNear-th above them, the root's
  // included; one descriptor each.
  EXPECT_LE(OpenDescriptors() - before,
            kDepth / FolderTrail::kNear + FolderTrail::kNear + 1);
  std::string deepest = box / "t";
  for (size_t level = 0; level < kDepth; ++level)
    deepest += "/d";
  EXPECT_EQ(trail.PathOf("x"), deepest + "/x");
  for (size_t level = kDepth;; --level) {
    ASSERT_EQ(ReadAll(trail, "level"), std::to_string(level));
    if (level == 0)
      break;
    trail.Leave();
  }
}

TEST(FolderTrail, AFolderPutInThePlaceOfOneClosedOrALinkIsNotFollowed) {
  const struct {
    const char *what;
    bool link; // else another folder under the same name
  } rows[] = {{"another folder", false}, {"a link to the folder", true}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    testsupport::TempFolder box;
    MakeChain(box / "t");
    FolderTrail trail(box / "t");
    for (size_t level = 0; level < kDepth; ++level)
      trail.Enter("d");
    // The first folder below the root is closed by now.
    const std::string first = box / "t/d";
    std::filesystem::rename(first, box / "t/moved");
    if (row.link) {
      std::filesystem::create_directory_symlink(box / "t/moved", first);
    } else {
      MakeFolder(first);
      WriteFile(first + "/level", "1");
    }
    for (size_t level = kDepth; level > 1; --level)
      trail.Leave();
    EXPECT_THROW(ReadAll(trail, "level"), tools::ToolError);
  }
}

TEST(FolderTrail, ALinkIsNeitherEnteredNorOpened) {
  testsupport::TempFolder box;
  MakeFolder(box / "t/real");
  WriteFile(box / "t/real/file", "x");
  std::filesystem::create_directory_symlink(box / "t/real", box / "t/folder");
  std::filesystem::create_symlink(box / "t/real/file", box / "t/file");
  FolderTrail trail(box / "t");
  EXPECT_THROW(trail.Enter("folder"), tools::ToolError);
  EXPECT_THROW(trail.Open("file"), tools::ToolError);
  trail.Enter("real");
  EXPECT_EQ(ReadAll(trail, "file"), "x");
}

} // namespace
