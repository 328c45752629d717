// The tool's packer writes the very bytes of the engine's Pack.
#include "tools/pack_folder.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/cls_arch.h"
#include "tests/support/temp_folder.h"
#include "tools/cli.h"
#include "tools/source_listing.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(PackFolder, WritesTheBytesOfTheEnginesPack) {
  testsupport::TempFolder box;
  const std::string src = box / "src";
  testsupport::MakeFolder(src);
  // Names in and out of order, with blanks and Cyrillic; small files that
  // fill the gathering buffer more than once, files just beyond small, and
  // one beyond a copy step.
  const struct {
    const char *name;
    size_t size;
    int copies;
  } files[] = {{"b.txt", 3, 1},         {"A.txt", 5, 1},
               {"a.TXT", 1, 1},         {"Привет мир.dat", 7, 1},
               {"empty", 0, 1},         {"s", 60000, 20},
               {"я.bin", 65537, 1},     {"mid.bin", 3u << 20, 1},
               {"big.bin", 9u << 20, 1}};
  for (const auto &f : files)
    for (int n = 0; n < f.copies; ++n) {
      std::string bytes(f.size, '\0');
      for (size_t k = 0; k < f.size; ++k)
        bytes[k] = static_cast<char>(k * 7 + f.size + n);
      WriteFile(src + "/" + f.name + (f.copies > 1 ? std::to_string(n) : ""),
                bytes);
    }

  archive::cls_arch arch;
  arch.FileName(box / "engine.pack");
  arch.Compression(9);
  arch.Pack(src);

  std::vector<tools::PackItem> items;
  for (const auto &file : tools::ListSource(src).files)
    items.push_back(
        {file.name, file.name, {}, file.stamp.size, {}, file.stamp});
  tools::OsFile out(box / "tool.pack", platform::OpenMode::Output);
  tools::InstalledConsole console;
  tools::PackItems(tools::os::RootFolder(src, "src"), items, 9, out,
                   console.ui());
  out.Close();
  EXPECT_TRUE(ReadFile(box / "tool.pack") == ReadFile(box / "engine.pack"));
}

// A file that changes between the listing and the end of its read fails
// the packing, naming it: the archive would hold bytes that were never the
// file's, or another file's under its time.
TEST(PackFolder, RefusesAFileThatChangedSinceItWasListed) {
  const struct {
    const char *what;
    void (*change)(const std::string &path);
  } cases[] = {
      {"grew", [](const std::string &p) { WriteFile(p, "0123456789+"); }},
      {"shrank", [](const std::string &p) { WriteFile(p, "012"); }},
      {"gone", [](const std::string &p) { std::remove(p.c_str()); }},
      {"replaced by a file of its length",
       [](const std::string &p) {
         WriteFile(p + ".new", "abcdefghij");
         std::rename((p + ".new").c_str(), p.c_str());
       }},
      {"written in place",
       [](const std::string &p) {
         std::FILE *file = std::fopen(p.c_str(), "r+b");
         std::fputs("abc", file);
         std::fclose(file);
         // A later time than the listing's, as a later clock tick gives.
         const timespec times[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
         utimensat(AT_FDCWD, p.c_str(), times, 0);
       }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempFolder box;
    const std::string src = box / "src";
    testsupport::MakeFolder(src);
    WriteFile(src + "/a.txt", "0123456789");
    std::vector<tools::PackItem> items;
    for (const auto &file : tools::ListSource(src).files)
      items.push_back(
          {file.name, file.name, {}, file.stamp.size, {}, file.stamp});
    c.change(src + "/a.txt");
    tools::OsFile out(box / "tool.pack", platform::OpenMode::Output);
    tools::InstalledConsole console;
    try {
      tools::PackItems(tools::os::RootFolder(src, "src"), items, 0, out,
                       console.ui());
      ADD_FAILURE() << "packed";
    } catch (const tools::ToolError &e) {
      EXPECT_NE(std::string(e.what()).find("a.txt"), std::string::npos)
          << e.what();
    }
  }
}

} // namespace
