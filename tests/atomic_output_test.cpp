// Output files put into place only when complete.
#include "tools/atomic_output.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "tools/cli.h"

namespace {

using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(AtomicOutput, TheFinalFileChangesOnlyAtCommit) {
  const struct {
    const char *what;
    bool older; // an older file at the final path
    bool commit;
    const char *finalBytes; // nullptr: no file
  } cases[] = {
      {"new file committed", false, true, "new"},
      {"new file abandoned", false, false, nullptr},
      {"replaced", true, true, "new"},
      {"abandoned keeps the older", true, false, "old"},
  };
  for (const auto &c : cases) {
    testsupport::TempFolder box;
    const std::string path = box / "out.pack";
    if (c.older)
      WriteFile(path, "old");
    {
      tools::AtomicOutput output(path);
      output.File().WriteAt(0, "new", 3);
      // Until the commit the final path keeps what it held.
      if (c.older)
        EXPECT_EQ(ReadFile(path), "old") << c.what;
      else
        EXPECT_FALSE(Exists(path)) << c.what;
      if (c.commit)
        output.Commit();
    }
    if (c.finalBytes)
      EXPECT_EQ(ReadFile(path), c.finalBytes) << c.what;
    else
      EXPECT_FALSE(Exists(path)) << c.what;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(box.Path()),
                            std::filesystem::directory_iterator()),
              c.finalBytes ? 1 : 0)
        << c.what << ": the temporary file is gone";
  }
}

TEST(AtomicOutput, RefusesAFolderAndAMissingFolder) {
  testsupport::TempFolder box;
  EXPECT_THROW(tools::AtomicOutput(box.Path()), tools::ToolError);
  EXPECT_THROW(tools::AtomicOutput(box / "none/x"), tools::ToolError);
}

} // namespace
