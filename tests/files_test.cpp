// The numbered-file table: numbers, open modes, buffered per-byte access at
// 1-based positions across window boundaries, and its errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "tests/support/caught.h"
#include "tests/support/temp_folder.h"

namespace {

namespace files = platform::files;
namespace err = platform::err;
using platform::OpenMode;
using testsupport::Caught;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace stdfs = std::filesystem;

constexpr int64_t kWindow = platform::BufferedFile::kWindowSize;

// A fresh folder of this test's own; every file of the table is closed
// before the test and before the folder goes.
class FilesTest : public ::testing::Test {
protected:
  void SetUp() override { files::CloseAllQuietly(); }
  void TearDown() override { files::CloseAllQuietly(); }

  std::string Path(const std::string &name) const { return dir_ / name; }

  testsupport::TempFolder dir_;
};

uint8_t PatternByte(int64_t position) {
  return static_cast<uint8_t>((position * 7 + position / 251) & 0xFF);
}

TEST_F(FilesTest, FreeFileIsLowestFreeNumberAndReusedAfterClose) {
  EXPECT_EQ(files::FreeFile(), 1);
  files::Open(1, Path("a"), OpenMode::ReadWrite);
  files::Open(2, Path("b"), OpenMode::ReadWrite);
  files::Open(3, Path("c"), OpenMode::ReadWrite);
  EXPECT_EQ(files::FreeFile(), 4);
  files::Close(2);
  EXPECT_EQ(files::FreeFile(), 2);
  files::Open(files::FreeFile(), Path("d"), OpenMode::ReadWrite);
  EXPECT_EQ(files::FreeFile(), 4);
  files::CloseAll();
  EXPECT_EQ(files::FreeFile(), 1);
}

TEST_F(FilesTest, FreeFileRaisesWhenEveryNumberIsTaken) {
  for (int16_t n = 1; n <= files::kMaxFileNumber; ++n)
    files::Open(n, Path("f"), OpenMode::ReadWrite);
  EXPECT_EQ(Caught([] { files::FreeFile(); }).Number(), err::kTooManyFiles);
}

TEST_F(FilesTest, OpenModes) {
  // ReadWrite creates a missing file and keeps an existing one.
  files::Open(1, Path("new"), OpenMode::ReadWrite);
  EXPECT_EQ(files::Lof(1), 0);
  files::Close(1);
  EXPECT_TRUE(stdfs::exists(Path("new")));

  WriteFile(Path("old"), "keep me");
  files::Open(1, Path("old"), OpenMode::ReadWrite);
  EXPECT_EQ(files::Lof(1), 7);
  EXPECT_EQ(files::Get(1), 'k');
  files::Close(1);
  EXPECT_EQ(ReadFile(Path("old")), "keep me");

  // ReadOnly reads an existing file.
  files::Open(1, Path("old"), OpenMode::ReadOnly);
  EXPECT_EQ(files::GetAt(1, 6), 'm');
  files::Close(1);

  // Output replaces an existing file with an empty one.
  files::Open(1, Path("old"), OpenMode::Output);
  EXPECT_EQ(files::Lof(1), 0);
  files::Put(1, 'x');
  files::Close(1);
  EXPECT_EQ(ReadFile(Path("old")), "x");
}

TEST_F(FilesTest, OpenFailuresNameThePathAndLeaveTheNumberFree) {
  struct Case {
    std::string path;
    OpenMode mode;
    int32_t number;
  };
  ASSERT_EQ(mkdir(Path("folder").c_str(), 0777), 0);
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0666), 0);
  const Case cases[] = {
      {Path("missing"), OpenMode::ReadOnly, err::kFileNotFound},
      {Path("nofolder/x"), OpenMode::ReadOnly, err::kPathNotFound},
      {Path("nofolder/x"), OpenMode::ReadWrite, err::kPathNotFound},
      {Path("nofolder/x"), OpenMode::Output, err::kPathNotFound},
      {Path("folder"), OpenMode::ReadOnly, err::kPathFileAccess},
      {Path("folder"), OpenMode::ReadWrite, err::kPathFileAccess},
      {Path("folder"), OpenMode::Output, err::kPathFileAccess},
      // A fifo is refused at once instead of waiting for a writer.
      {Path("fifo"), OpenMode::ReadOnly, err::kPathFileAccess},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    const platform::Error e = Caught([&] { files::Open(1, c.path, c.mode); });
    EXPECT_EQ(e.Number(), c.number);
    EXPECT_NE(e.Description().find(c.path), std::string::npos)
        << e.Description();
    EXPECT_EQ(files::FreeFile(), 1);
  }
  EXPECT_TRUE(stdfs::is_directory(Path("folder")));
}

TEST_F(FilesTest, NumberErrors) {
  files::Open(1, Path("a"), OpenMode::ReadWrite);
  EXPECT_EQ(
      Caught([&] { files::Open(1, Path("b"), OpenMode::ReadWrite); }).Number(),
      err::kFileAlreadyOpen);
  EXPECT_FALSE(stdfs::exists(Path("b")));
  for (int16_t n : {0, -1, 2, 256}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(Caught([&] { files::Get(n); }).Number(), err::kBadFileNumber);
    EXPECT_EQ(Caught([&] { files::Put(n, 1); }).Number(), err::kBadFileNumber);
    EXPECT_EQ(Caught([&] { files::Lof(n); }).Number(), err::kBadFileNumber);
    EXPECT_EQ(Caught([&] { files::Seek(n); }).Number(), err::kBadFileNumber);
  }
  EXPECT_EQ(
      Caught([&] { files::Open(0, Path("c"), OpenMode::ReadWrite); }).Number(),
      err::kBadFileNumber);
  EXPECT_EQ(Caught([&] { files::Open(1, "", OpenMode::ReadWrite); }).Number(),
            err::kFileAlreadyOpen);
  EXPECT_EQ(Caught([&] { files::Open(2, "", OpenMode::ReadWrite); }).Number(),
            err::kBadFileName);
}

TEST_F(FilesTest, CloseOfNothingOpenIsNoFailure) {
  EXPECT_NO_THROW(files::Close(1));
  EXPECT_NO_THROW(files::Close(0));
  EXPECT_NO_THROW(files::Close(-5));
  EXPECT_NO_THROW(files::Close(999));
  files::Open(1, Path("a"), OpenMode::ReadWrite);
  files::Close(1);
  EXPECT_NO_THROW(files::Close(1));
  EXPECT_NO_THROW(files::CloseAll());
}

TEST_F(FilesTest, CloseAllWritesAndClosesEveryFile) {
  for (int16_t n = 1; n <= 3; ++n) {
    files::Open(n, Path("f" + std::to_string(n)), OpenMode::Output);
    files::Put(n, static_cast<uint8_t>('0' + n));
  }
  files::CloseAll();
  EXPECT_EQ(files::FreeFile(), 1);
  for (int n = 1; n <= 3; ++n)
    EXPECT_EQ(ReadFile(Path("f") + std::to_string(n)), std::to_string(n));
}

TEST_F(FilesTest, LargeFileSequentialWriteThenRead) {
  const int64_t size = 2 * kWindow + 1234;
  files::Open(1, Path("big"), OpenMode::Output);
  for (int64_t p = 1; p <= size; ++p)
    files::Put(1, PatternByte(p));
  EXPECT_EQ(files::Seek(1), size + 1);
  EXPECT_EQ(files::Lof(1), size);
  files::Close(1);
  ASSERT_EQ(static_cast<int64_t>(stdfs::file_size(Path("big"))), size);

  files::Open(2, Path("big"), OpenMode::ReadOnly);
  for (int64_t p = 1; p <= size; ++p)
    ASSERT_EQ(files::Get(2), PatternByte(p)) << "position " << p;
  EXPECT_EQ(files::Seek(2), size + 1);
  EXPECT_EQ(Caught([] { files::Get(2); }).Number(), err::kPastEnd);
}

TEST_F(FilesTest, GetAtAroundWindowBoundaries) {
  const int64_t size = 3 * kWindow;
  std::string bytes(static_cast<size_t>(size), '\0');
  for (int64_t p = 1; p <= size; ++p)
    bytes[p - 1] = static_cast<char>(PatternByte(p));
  WriteFile(Path("big"), bytes);
  files::Open(1, Path("big"), OpenMode::ReadOnly);
  const int64_t positions[] = {kWindow,    kWindow + 1, 1, 2 * kWindow + 1,
                               kWindow,    size,        2, size - 1,
                               2 * kWindow};
  for (int64_t p : positions) {
    EXPECT_EQ(files::GetAt(1, static_cast<int32_t>(p)), PatternByte(p))
        << "position " << p;
    EXPECT_EQ(files::Seek(1), p + 1);
  }
  // Backwards, byte by byte, across a boundary.
  for (int64_t p = kWindow + 3; p >= kWindow - 3; --p)
    EXPECT_EQ(files::GetAt(1, static_cast<int32_t>(p)), PatternByte(p));
}

TEST_F(FilesTest, ReadingAWholeFileBackwardsLoadsEachWindowOnce) {
  // A window that started at the byte asked for reloaded a whole window for
  // every byte read backwards: minutes for this file instead of milliseconds.
  const int64_t size = 2 * kWindow + 17;
  std::string bytes(static_cast<size_t>(size), '\0');
  for (int64_t p = 1; p <= size; ++p)
    bytes[p - 1] = static_cast<char>(PatternByte(p));
  WriteFile(Path("big"), bytes);
  files::Open(1, Path("big"), OpenMode::ReadOnly);
  int64_t wrong = 0;
  for (int64_t p = size; p >= 1; --p)
    wrong += files::GetAt(1, static_cast<int32_t>(p)) != PatternByte(p);
  EXPECT_EQ(wrong, 0);
}

TEST_F(FilesTest, ReadsSeeEarlierWritesInTheSameFile) {
  files::Open(1, Path("rw"), OpenMode::ReadWrite);
  const int64_t size = kWindow + 100;
  for (int64_t p = 1; p <= size; ++p)
    files::Put(1, PatternByte(p));
  // Back at the start (another window) and forward again.
  EXPECT_EQ(files::GetAt(1, 1), PatternByte(1));
  EXPECT_EQ(files::GetAt(1, static_cast<int32_t>(size)), PatternByte(size));
  // Overwrite at an earlier position, in the other window.
  files::PutAt(1, 5, 0xAB);
  EXPECT_EQ(files::Seek(1), 6);
  files::Put(1, 0xCD); // at position 6
  EXPECT_EQ(files::GetAt(1, static_cast<int32_t>(kWindow + 50)),
            PatternByte(kWindow + 50));
  EXPECT_EQ(files::GetAt(1, 5), 0xAB);
  EXPECT_EQ(files::Get(1), 0xCD);
  EXPECT_EQ(files::Lof(1), size);
  files::Close(1);

  const std::string disk = ReadFile(Path("rw"));
  ASSERT_EQ(static_cast<int64_t>(disk.size()), size);
  EXPECT_EQ(static_cast<uint8_t>(disk[4]), 0xAB);
  EXPECT_EQ(static_cast<uint8_t>(disk[5]), 0xCD);
  EXPECT_EQ(static_cast<uint8_t>(disk[6]), PatternByte(7));
  EXPECT_EQ(static_cast<uint8_t>(disk[size - 1]), PatternByte(size));
}

TEST_F(FilesTest, WritePastTheEndLeavesAZeroGap) {
  WriteFile(Path("gap"), "abc");
  files::Open(1, Path("gap"), OpenMode::ReadWrite);
  const int32_t far = static_cast<int32_t>(2 * kWindow + 10);
  files::PutAt(1, far, 'z');
  EXPECT_EQ(files::Lof(1), far);
  EXPECT_EQ(files::Seek(1), far + 1);
  EXPECT_EQ(files::GetAt(1, 3), 'c');
  EXPECT_EQ(files::GetAt(1, 4), 0);
  EXPECT_EQ(files::GetAt(1, static_cast<int32_t>(kWindow + 7)), 0);
  EXPECT_EQ(files::GetAt(1, far), 'z');
  EXPECT_EQ(Caught([&] { files::GetAt(1, far + 1); }).Number(), err::kPastEnd);
  files::Close(1);
  const std::string disk = ReadFile(Path("gap"));
  ASSERT_EQ(static_cast<int32_t>(disk.size()), far);
  EXPECT_EQ(disk.substr(0, 3), "abc");
  EXPECT_EQ(disk.find_first_not_of('\0', 3), static_cast<size_t>(far - 1));
}

// Random reads and writes against a plain model of the file's bytes.
class FilesModelTest : public FilesTest,
                       public ::testing::WithParamInterface<uint32_t> {};

TEST_P(FilesModelTest, RandomAccessMatchesAModel) {
  std::mt19937 random(GetParam());
  std::vector<uint8_t> model(1000);
  for (size_t i = 0; i < model.size(); ++i)
    model[i] = static_cast<uint8_t>(i * 13);
  WriteFile(Path("model"), std::string(model.begin(), model.end()));
  files::Open(1, Path("model"), OpenMode::ReadWrite);
  int64_t position = 1;
  const int64_t span = 3 * kWindow;
  for (int step = 0; step < 20000; ++step) {
    const int kind = static_cast<int>(random() % 8);
    const int64_t at = 1 + static_cast<int64_t>(random() % span);
    const auto value = static_cast<uint8_t>(random());
    // Runs: mostly short, now and then longer than a window.
    const int64_t run = random() % 40 == 0
                            ? kWindow + static_cast<int64_t>(random() % 3000)
                            : static_cast<int64_t>(random() % 3000);
    const auto size = static_cast<int64_t>(model.size());
    if (kind == 6) { // a run of bytes written at a random position
      std::vector<uint8_t> bytes(static_cast<size_t>(run));
      for (auto &b : bytes)
        b = static_cast<uint8_t>(random());
      files::At(1).PutRun(at, bytes.data(), run);
      if (run > 0) {
        if (size < at + run - 1)
          model.resize(static_cast<size_t>(at + run - 1), 0);
        std::copy(bytes.begin(), bytes.end(), model.begin() + (at - 1));
        position = at + run;
      }
    } else if (kind == 7) { // a run of bytes read at a random position
      std::vector<uint8_t> bytes(static_cast<size_t>(run), 0xEE);
      if (at + run - 1 <= size) {
        files::At(1).GetRun(at, bytes.data(), run);
        ASSERT_TRUE(
            std::equal(bytes.begin(), bytes.end(), model.begin() + (at - 1)))
            << "step " << step << " run at " << at;
        if (run > 0)
          position = at + run;
      } else {
        ASSERT_EQ(Caught([&] {
                    files::At(1).GetRun(at, bytes.data(), run);
                  }).Number(),
                  err::kPastEnd);
        if (at <= size) { // the bytes up to the end arrived
          ASSERT_TRUE(std::equal(bytes.begin(), bytes.begin() + (size - at + 1),
                                 model.begin() + (at - 1)));
          position = size + 1;
        }
      }
    } else if (kind <= 1) { // write at a random position
      files::PutAt(1, static_cast<int32_t>(at), value);
      if (static_cast<int64_t>(model.size()) < at)
        model.resize(static_cast<size_t>(at), 0);
      model[at - 1] = value;
      position = at + 1;
    } else if (kind == 2) { // write at the current position
      files::Put(1, value);
      if (static_cast<int64_t>(model.size()) < position)
        model.resize(static_cast<size_t>(position), 0);
      model[position - 1] = value;
      ++position;
    } else { // read at a random position or the current one
      const int64_t p = kind == 3 ? position : at;
      if (p <= static_cast<int64_t>(model.size())) {
        const uint8_t got = kind == 3
                                ? files::Get(1)
                                : files::GetAt(1, static_cast<int32_t>(p));
        ASSERT_EQ(got, model[p - 1]) << "step " << step << " position " << p;
        position = p + 1;
      } else {
        ASSERT_EQ(Caught([&] {
                    if (kind == 3)
                      files::Get(1);
                    else
                      files::GetAt(1, static_cast<int32_t>(p));
                  }).Number(),
                  err::kPastEnd);
      }
    }
    ASSERT_EQ(files::Seek(1), position) << "step " << step;
    ASSERT_EQ(files::Lof(1), static_cast<int32_t>(model.size()))
        << "step " << step << " kind " << kind << " at " << at;
  }
  files::Close(1);
  const std::string disk = ReadFile(Path("model"));
  EXPECT_TRUE(disk == std::string(model.begin(), model.end()));
}

INSTANTIATE_TEST_SUITE_P(Seeds, FilesModelTest,
                         ::testing::Values(20240611u, 7u, 99u));

TEST_F(FilesTest, BadPositionsAndReadsPastTheEnd) {
  WriteFile(Path("f"), "abc");
  files::Open(1, Path("f"), OpenMode::ReadWrite);
  for (int32_t p : {0, -1, INT32_MIN}) {
    SCOPED_TRACE(p);
    platform::Error e = Caught([&] { files::GetAt(1, p); });
    EXPECT_EQ(e.Number(), err::kBadRecordNumber);
    EXPECT_NE(e.Description().find(Path("f")), std::string::npos);
    EXPECT_EQ(Caught([&] { files::PutAt(1, p, 'x'); }).Number(),
              err::kBadRecordNumber);
  }
  const platform::Error past = Caught([] { files::GetAt(1, 4); });
  EXPECT_EQ(past.Number(), err::kPastEnd);
  EXPECT_NE(past.Description().find(Path("f")), std::string::npos);
  // A failed read leaves the length and the position alone.
  EXPECT_EQ(Caught([] { files::GetAt(1, 1000000); }).Number(), err::kPastEnd);
  EXPECT_EQ(files::Lof(1), 3);
  EXPECT_EQ(files::Seek(1), 1);
  files::Close(1);
  EXPECT_EQ(ReadFile(Path("f")), "abc");

  files::Open(1, Path("empty"), OpenMode::ReadWrite);
  EXPECT_EQ(Caught([] { files::Get(1); }).Number(), err::kPastEnd);
}

TEST_F(FilesTest, PutOnAReadOnlyFileRaisesAndChangesNothing) {
  WriteFile(Path("ro"), "abc");
  files::Open(1, Path("ro"), OpenMode::ReadOnly);
  const platform::Error e = Caught([] { files::Put(1, 'x'); });
  EXPECT_EQ(e.Number(), err::kBadFileMode);
  EXPECT_NE(e.Description().find(Path("ro")), std::string::npos);
  EXPECT_EQ(Caught([] { files::PutAt(1, 2, 'x'); }).Number(),
            err::kBadFileMode);
  EXPECT_EQ(files::GetAt(1, 2), 'b');
  files::Close(1);
  EXPECT_EQ(ReadFile(Path("ro")), "abc");
}

TEST_F(FilesTest, PositionsBeyondTheSignedRangeOverflow) {
  files::Open(1, Path("sparse"), OpenMode::Output);
  files::PutAt(1, INT32_MAX, 7);
  EXPECT_EQ(files::Lof(1), INT32_MAX);
  EXPECT_EQ(Caught([] { files::Seek(1); }).Number(), err::kOverflow);
  EXPECT_EQ(files::GetAt(1, INT32_MAX), 7);
  files::Close(1);
}

// Writers never go through a link: a planted link is refused, a dangling
// one creates nothing, and a file with other hard links keeps its bytes.
TEST_F(FilesTest, WritersNeverGoThroughALink) {
  WriteFile(Path("outside"), "secret");
  WriteFile(Path("shared"), "shared bytes");
  stdfs::create_symlink(Path("outside"), Path("sym"));
  stdfs::create_symlink(Path("nowhere"), Path("dangling"));
  stdfs::create_hard_link(Path("shared"), Path("hard"));
  WriteFile(Path("plain"), "plain");
  struct Case {
    const char *name;
    OpenMode mode;
    int32_t number; // 0: opens
  };
  const Case cases[] = {
      {"sym", OpenMode::Output, err::kPathFileAccess},
      {"sym", OpenMode::ReadWrite, err::kPathFileAccess},
      {"sym", OpenMode::CreateNew, err::kPathFileAccess},
      {"dangling", OpenMode::Output, err::kPathFileAccess},
      {"dangling", OpenMode::ReadWrite, err::kPathFileAccess},
      {"dangling", OpenMode::CreateNew, err::kPathFileAccess},
      {"plain", OpenMode::CreateNew, err::kPathFileAccess},
      {"hard", OpenMode::Output, 0},
      {"fresh", OpenMode::CreateNew, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.name) + " mode " +
                 std::to_string(static_cast<int>(c.mode)));
    if (c.number == 0) {
      files::Open(1, Path(c.name), c.mode);
      files::Put(1, 'x');
      files::Close(1);
      EXPECT_EQ(ReadFile(Path(c.name)), "x");
    } else {
      const platform::Error e =
          Caught([&] { files::Open(1, Path(c.name), c.mode); });
      EXPECT_EQ(e.Number(), c.number);
      EXPECT_NE(e.Description().find(Path(c.name)), std::string::npos);
      EXPECT_EQ(files::FreeFile(), 1);
    }
  }
  EXPECT_EQ(ReadFile(Path("outside")), "secret");
  EXPECT_EQ(ReadFile(Path("shared")), "shared bytes");
  EXPECT_EQ(ReadFile(Path("plain")), "plain");
  EXPECT_FALSE(stdfs::exists(stdfs::symlink_status(Path("nowhere"))));
  EXPECT_TRUE(stdfs::is_symlink(Path("sym")));
  // Reading goes through a link as before.
  files::Open(1, Path("sym"), OpenMode::ReadOnly);
  EXPECT_EQ(files::Lof(1), 6);
}

// Files of 2 GiB and more are refused with their name and the limit, not
// with a bare overflow.
TEST_F(FilesTest, FilesOfTwoGigabytesAndMoreNameTheFileAndTheLimit) {
  for (const int64_t size : {(int64_t{1} << 31), (int64_t{1} << 32) + 5}) {
    SCOPED_TRACE(size);
    WriteFile(Path("big"), "");
    stdfs::resize_file(Path("big"), static_cast<uintmax_t>(size));
    files::Open(1, Path("big"), OpenMode::ReadOnly);
    for (const platform::Error &e : {Caught([] { files::Lof(1); }), Caught([&] {
                                       platform::fs::FileLen(Path("big"));
                                     })}) {
      EXPECT_EQ(e.Number(), err::kOverflow);
      EXPECT_NE(e.Description().find(Path("big")), std::string::npos);
      EXPECT_NE(e.Description().find("2 ГБ"), std::string::npos);
    }
    files::Close(1);
  }
}

} // namespace
