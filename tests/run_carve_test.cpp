// The container: the trailer read, the carve-out and its progress values.
#include <gtest/gtest.h>

#include <cmath>

#include "package/trailer.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "run/container.h"
#include "run/mdl_main.h"
#include "run/run_texts.h"
#include "run/setup_host.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"
#include "ui/Setup.h"

namespace {

using namespace std::string_literals;

using pkgbuild::JoinPackage;
using pkgbuild::RunWorld;

// Per-byte progress values of a carve-out, by the pure function.
std::vector<int> ProgressValues(int32_t archiveStart, int32_t L) {
  std::vector<int> values;
  for (int32_t i = archiveStart; i <= L - 4; ++i)
    values.push_back(mdl_main::CarveProgress(i, archiveStart, L));
  return values;
}

TEST(CarveProgress, EightBytesRoundHalvesToEven) {
  // L - ArchiveStart = 8: five bytes, 12.5 -> 12 and 37.5 -> 38.
  EXPECT_EQ(ProgressValues(45056, 45064),
            (std::vector<int>{0, 12, 25, 38, 50}));
  EXPECT_EQ(ProgressValues(1, 9), (std::vector<int>{0, 12, 25, 38, 50}));
}

TEST(CarveProgress, TwoHundredBytes) {
  const std::vector<int> v = ProgressValues(100, 300);
  ASSERT_EQ(v.size(), 197u);
  const std::vector<int> first(v.begin(), v.begin() + 6);
  EXPECT_EQ(first, (std::vector<int>{0, 0, 1, 2, 2, 2}));
  EXPECT_EQ(v.back(), 98);
  for (size_t k = 1; k < v.size(); ++k)
    EXPECT_LE(v[k - 1], v[k]);
}

TEST(CarveProgress, LastValueReachesOneHundredFrom800BytesOn) {
  // The last value is 100 - 400 / (L - ArchiveStart) before rounding.
  EXPECT_EQ(ProgressValues(1, 1 + 799).back(), 99);  // 99.499...
  EXPECT_EQ(ProgressValues(1, 1 + 800).back(), 100); // 99.5, to even
  EXPECT_EQ(ProgressValues(1, 1 + 801).back(), 100);
  EXPECT_EQ(ProgressValues(1, 1 + 8).back(), 50);
}

TEST(CarveProgress, ShippedPackageRunsFromZeroToOneHundred) {
  const std::vector<int> v = ProgressValues(45056, 1275954);
  ASSERT_EQ(v.size(), 1230895u);
  EXPECT_EQ(v.front(), 0);
  EXPECT_EQ(v.back(), 100);
}

TEST(CarveProgress, SingleByteShowsZero) {
  EXPECT_EQ(ProgressValues(96, 100), (std::vector<int>{0}));
}

TEST(CarveProgress, DegenerateInputsStayDefined) {
  EXPECT_EQ(mdl_main::CarveProgress(5, 5, 5), 0);
  EXPECT_EQ(mdl_main::CarveProgress(5, 10, 5), 0);
  EXPECT_EQ(mdl_main::CarveProgress(INT32_MAX, INT32_MIN, INT32_MAX), 100);
  EXPECT_EQ(mdl_main::CarveProgress(INT32_MAX, 0, 1), INT16_MAX);
}

TEST(ContainerTrailer, DecodesSignedLittleEndian) {
  const struct {
    uint8_t bytes[4];
    int32_t value;
  } cases[] = {
      {{0x00, 0xB0, 0x00, 0x00}, 45056},
      {{0x01, 0x00, 0x00, 0x00}, 1},
      {{0x00, 0x00, 0x00, 0x00}, 0},
      {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {{0x00, 0x00, 0x00, 0x80}, INT32_MIN},
      {{0xFF, 0xFF, 0xFF, 0x7F}, INT32_MAX},
      {{0x78, 0x56, 0x34, 0x12}, 0x12345678},
  };
  for (const auto &c : cases)
    EXPECT_EQ(package::DecodeTrailer(c.bytes), c.value);
  for (const auto &c : cases)
    EXPECT_EQ(pkgbuild::Trailer(c.value),
              std::string(reinterpret_cast<const char *>(c.bytes), 4));
}

class CarveOutTest : public ::testing::Test {
protected:
  // Runs the trailer read and the carve-out on package as the executable.
  // The run's steps 5, 6 and 8: the pack file is made anew each time.
  void Carve(const std::string &package) {
    world.InstallPackage(package);
    mdl_main::LoadSetup(form);
    exe = mdl_main::ReadTrailer();
    platform::fs::RemoveFileOrLink(world.packFile);
    mdl_main::CarveOut(exe, world.packFile, form);
  }

  RunWorld world;
  testsupport::ScriptedUi backend;
  ui::Setup form;
  mdl_main::Container exe;
};

TEST_F(CarveOutTest, ExePathIsProgramFolderBaseNameDotExe) {
  platform::SetProgramPath(world.prog + "/Update.Tool.bin");
  EXPECT_EQ(mdl_main::ProgramExePath(), world.prog + "\\Update.Tool.exe");
}

TEST_F(CarveOutTest, CopiesArchiveStartToLMinusFourAndClosesBoth) {
  const std::string stub = "MZ-stub-bytes";
  const std::string payload = "PACK1-and-some-bytes\x00\x01\x00"s;
  Carve(JoinPackage(stub, payload));
  EXPECT_EQ(exe.ArchiveStart, static_cast<int32_t>(stub.size()) + 1);
  EXPECT_EQ(exe.L, static_cast<int32_t>(stub.size() + payload.size() + 4));
  EXPECT_EQ(testsupport::ReadFile(world.packFile), payload);
  EXPECT_EQ(platform::files::FreeFile(), 1); // both files closed
  EXPECT_EQ(backend.yields, static_cast<int64_t>(payload.size()));
}

TEST_F(CarveOutTest, ArchiveOverlappingTheImageIsCopiedFromItsStart) {
  // As shipped: the archive's first byte takes the image's last byte.
  const std::string package = JoinPackage("ABCDE", "XYZ", {}, 5);
  Carve(package);
  EXPECT_EQ(testsupport::ReadFile(world.packFile), "EXYZ");
}

TEST_F(CarveOutTest, EightByteProgressSequence) {
  Carve(JoinPackage("0123456789", "abcd", std::string_view("\0", 1)));
  EXPECT_EQ(exe.L - exe.ArchiveStart, 8);
  EXPECT_EQ(backend.LabelTexts(1),
            (std::vector<std::string>{"Выполнено 0%", "Выполнено 12%",
                                      "Выполнено 25%", "Выполнено 38%",
                                      "Выполнено 50%"}));
  EXPECT_EQ(backend.yields, 5);
}

TEST_F(CarveOutTest, TwoHundredByteProgressSequence) {
  Carve(JoinPackage(std::string(50, 'M'), std::string(197, 'a')));
  EXPECT_EQ(exe.L - exe.ArchiveStart, 200);
  const std::vector<std::string> texts = backend.LabelTexts(1);
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Выполнено 0%");
  EXPECT_EQ(texts[1], "Выполнено 1%");
  EXPECT_EQ(texts[2], "Выполнено 2%");
  EXPECT_EQ(texts.back(), "Выполнено 98%");
  EXPECT_EQ(texts.size(), 99u); // half a percent a byte: every value 0 .. 98
  EXPECT_EQ(backend.yields, 197);
}

TEST_F(CarveOutTest, GatedYieldsSeeWhatPerByteYieldsWouldShow) {
  // A production backend lets thousands of yields pass between two pumps;
  // the carve-out then moves those bytes at once. At every pump the pack
  // file and the progress line must be what a byte-by-byte copy shows.
  std::string payload(300000, '\0');
  for (size_t k = 0; k < payload.size(); ++k)
    payload[k] = static_cast<char>(k * 7 + k / 251);
  const std::string stub(1000, 'M');
  const std::string package = JoinPackage(stub, payload);
  for (int32_t interval : {2, 37, 4096}) {
    backend.yieldInterval = interval;
    backend.yields = 0;
    int64_t pumps = 0, wrong = 0;
    backend.onEveryYield = [&] {
      ++pumps;
      // The pump comes after byte number pumps * interval (the first after
      // the first byte: the countdown starts at 1).
      const int64_t copied = pumps == 1 ? 1 : 1 + (pumps - 1) * interval;
      const int32_t i = exe.ArchiveStart + static_cast<int32_t>(copied) - 1;
      wrong +=
          backend.label[1] !=
          ui::ProgressText(mdl_main::CurrentText(package::Text::Progress),
                           mdl_main::CarveProgress(i, exe.ArchiveStart, exe.L));
      wrong += platform::files::Lof(2) != copied;
    };
    platform::SetUi(&backend);
    Carve(package);
    EXPECT_EQ(wrong, 0) << "interval " << interval;
    EXPECT_GT(pumps, 1) << "interval " << interval;
    EXPECT_EQ(testsupport::ReadFile(world.packFile), payload);
    EXPECT_EQ(backend.label[1], "Выполнено 100%");
    backend.onEveryYield = nullptr;
  }
}

TEST_F(CarveOutTest, OneByte) {
  Carve(JoinPackage("stub", "Q"));
  EXPECT_EQ(testsupport::ReadFile(world.packFile), "Q");
  EXPECT_EQ(backend.LabelTexts(1), (std::vector<std::string>{"Выполнено 0%"}));
}

TEST_F(CarveOutTest, NothingToCopyLeavesAnEmptyPackFile) {
  for (int32_t beyond : {1, 2, 100, INT32_MAX}) {
    // ArchiveStart = L - 3 and further.
    const std::string stub = "stub";
    const int32_t L = static_cast<int32_t>(stub.size()) + 4;
    const int32_t start = beyond == INT32_MAX ? INT32_MAX : L - 4 + beyond;
    Carve(JoinPackage(stub, "", {}, start));
    EXPECT_TRUE(testsupport::FileExists(world.packFile)) << beyond;
    EXPECT_EQ(testsupport::ReadFile(world.packFile), "") << beyond;
    EXPECT_EQ(backend.yields, 0) << beyond;
    EXPECT_EQ(platform::files::FreeFile(), 1);
  }
}

TEST_F(CarveOutTest, ArchiveStartBelowOneFailsBeforeAnyByte) {
  for (int32_t start : {0, -1, -45056, INT32_MIN}) {
    world.InstallPackage(JoinPackage("stub-bytes", "archive", {}, start));
    mdl_main::LoadSetup(form);
    exe = mdl_main::ReadTrailer();
    EXPECT_EQ(exe.ArchiveStart, start);
    platform::fs::RemoveFileOrLink(world.packFile);
    try {
      mdl_main::CarveOut(exe, world.packFile, form);
      ADD_FAILURE() << "no error for ArchiveStart " << start;
    } catch (const platform::Error &e) {
      EXPECT_EQ(e.Number(), platform::err::kBadRecordNumber) << start;
    }
    platform::files::CloseAllQuietly();
    EXPECT_EQ(testsupport::ReadFile(world.packFile), "") << start;
    EXPECT_EQ(backend.yields, 0);
  }
}

TEST_F(CarveOutTest, ExecutableShorterThanTheTrailerFails) {
  for (const char *content : {"", "a", "abc"}) {
    world.InstallPackage(content);
    EXPECT_THROW(mdl_main::ReadTrailer(), platform::Error) << content;
    platform::files::CloseAllQuietly();
  }
  world.InstallPackage(pkgbuild::Trailer(1)); // exactly four bytes
  exe = mdl_main::ReadTrailer();
  EXPECT_EQ(exe.L, 4);
  EXPECT_EQ(exe.ArchiveStart, 1);
}

TEST_F(CarveOutTest, MissingExecutableFails) {
  platform::SetProgramPath(world.prog + "/update.bin");
  testsupport::WriteFile(world.prog + "/update.bin",
                         JoinPackage("stub", "abc"));
  try {
    mdl_main::ReadTrailer();
    ADD_FAILURE() << "opened a missing update.exe";
  } catch (const platform::Error &e) {
    EXPECT_EQ(e.Number(), platform::err::kFileNotFound);
    EXPECT_NE(e.Description().find("update.exe"), std::string::npos);
  }
}

// The same cases through the whole run: each ends with the critical error.
class CarveRunTest : public ::testing::Test {
protected:
  int Run() {
    backend.QueueAnswer(platform::MsgAnswer::Yes);
    return testsupport::RunProgram(mdl_main::Main);
  }
  void ExpectCriticalError() {
    ASSERT_EQ(backend.messages.size(), 2u);
    const testsupport::MessageRecord &m = backend.messages[1];
    const std::string prefix = "Произошла критическая ошибка:\r\n";
    EXPECT_EQ(m.text.compare(0, prefix.size(), prefix), 0) << m.text;
    EXPECT_GT(m.text.size(), prefix.size()) << "no description";
    EXPECT_EQ(m.icon, platform::MsgIcon::Error);
    EXPECT_EQ(m.buttons, platform::MsgButtons::Ok);
    EXPECT_EQ(m.title, "Dravell");
  }

  RunWorld world;
  testsupport::ScriptedUi backend;
};

TEST_F(CarveRunTest, ArchiveStartZeroEndsWithCriticalErrorAndEmptyPackFile) {
  world.InstallPackage(JoinPackage("stub", "PACK1\x00\x01\x01", {}, 0));
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ExpectCriticalError();
  EXPECT_TRUE(backend.formShown);
  EXPECT_EQ(testsupport::ReadFile(world.packFile), "");
  EXPECT_TRUE(testsupport::FolderExists(world.tempFolder));
}

TEST_F(CarveRunTest, ShortExecutableEndsBeforeTheWindowIsShown) {
  world.InstallPackage("ab");
  // The trailer is read before an earlier run's pack file is deleted.
  testsupport::WriteFile(world.packFile, "earlier pack");
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ExpectCriticalError();
  EXPECT_TRUE(backend.formCreated);
  EXPECT_FALSE(backend.formShown);
  EXPECT_EQ(testsupport::ReadFile(world.packFile), "earlier pack");
  EXPECT_TRUE(testsupport::FolderExists(world.tempFolder)); // made, empty
  EXPECT_TRUE(pkgbuild::ListNames(world.tempFolder).empty());
}

TEST_F(CarveRunTest, NoExeFileEndsWithCriticalError) {
  platform::SetProgramPath(world.prog + "/update.com");
  testsupport::WriteFile(world.prog + "/update.com",
                         JoinPackage("stub", "abc"));
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ExpectCriticalError();
  EXPECT_NE(backend.messages[1].text.find("update.exe"), std::string::npos);
  EXPECT_FALSE(backend.formShown);
}

TEST_F(CarveRunTest, EmptyPackFileIsRejectedByTheExtraction) {
  world.InstallPackage(JoinPackage("stub", "", {}, 1000));
  EXPECT_EQ(Run(), platform::exitcode::kFailed);
  ASSERT_EQ(backend.messages.size(), 2u); // Extract's own box, nothing more
  EXPECT_EQ(backend.messages[1].icon, platform::MsgIcon::Error);
  EXPECT_EQ(backend.messages[1].text,
            "Файл не является архивом Kestrova PACK.");
  EXPECT_EQ(testsupport::ReadFile(world.packFile), "");
}

} // namespace
