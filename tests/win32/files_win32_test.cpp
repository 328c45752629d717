// The numbered-file table over Win32 file handles.
#include <gtest/gtest.h>

#include <functional>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/files.h"
#include "tests/win32/temp_folder.h"

namespace {

using platform::OpenMode;
namespace files = platform::files;
namespace err = platform::err;

class Win32Files : public ::testing::Test {
protected:
  ~Win32Files() override { files::CloseAllQuietly(); }
  wintest::TempFolder dir;
};

using wintest::ErrorOf;

constexpr int32_t kLarge = 600 * 1024; // more than two buffer windows

TEST_F(Win32Files, LargeFileWrittenByteByByteReadsBackTheSame) {
  const std::string path = dir / "large.bin";
  const std::string bytes = wintest::PatternBytes(kLarge);
  files::Open(1, path, OpenMode::Output);
  for (int32_t i = 0; i < kLarge; ++i)
    files::Put(1, static_cast<uint8_t>(bytes[i]));
  EXPECT_EQ(files::Lof(1), kLarge);
  files::Close(1);
  EXPECT_EQ(wintest::ReadFile(path), bytes);

  files::Open(2, path, OpenMode::ReadOnly);
  EXPECT_EQ(files::Lof(2), kLarge);
  for (int32_t pos = 1; pos <= kLarge; ++pos)
    ASSERT_EQ(files::Get(2), static_cast<uint8_t>(bytes[pos - 1]))
        << "position " << pos;
  // Jumps across window boundaries in both directions.
  for (int32_t pos : {kLarge, 262144, 262145, 1, 524289, 524288, 3})
    EXPECT_EQ(files::GetAt(2, pos), static_cast<uint8_t>(bytes[pos - 1]))
        << "position " << pos;
  EXPECT_EQ(ErrorOf([] { files::GetAt(2, kLarge + 1); }), err::kPastEnd);
}

TEST_F(Win32Files, MixedReadsAndWritesSeeEachOther) {
  const std::string path = dir / "mixed.bin";
  std::string model = wintest::PatternBytes(kLarge, 7);
  wintest::WriteFile(path, model);
  files::Open(1, path, OpenMode::ReadWrite);
  // Writes far apart, interleaved with reads of what was just written and
  // of bytes never touched.
  const int32_t positions[] = {1, kLarge, 300000, 262144, 262145, 2, 500000};
  uint8_t value = 0x11;
  for (int32_t pos : positions) {
    files::PutAt(1, pos, value);
    model[pos - 1] = static_cast<char>(value);
    EXPECT_EQ(files::GetAt(1, pos), value);
    EXPECT_EQ(files::GetAt(1, 100), static_cast<uint8_t>(model[99]));
    value += 0x22;
  }
  // Appending past the end grows the file.
  files::PutAt(1, kLarge + 1, 0xEE);
  model.push_back(static_cast<char>(0xEE));
  EXPECT_EQ(files::Lof(1), kLarge + 1);
  files::Close(1);
  EXPECT_EQ(wintest::ReadFile(path), model);
}

TEST_F(Win32Files, ReadWriteCreatesAMissingFileAndKeepsAnExistingOne) {
  files::Open(1, dir / "new.bin", OpenMode::ReadWrite);
  EXPECT_EQ(files::Lof(1), 0);
  files::Close(1);
  EXPECT_TRUE(wintest::FileExists(dir / "new.bin"));

  wintest::WriteFile(dir / "old.bin", "abcdef");
  files::Open(1, dir / "old.bin", OpenMode::ReadWrite);
  files::PutAt(1, 2, 'X');
  files::Close(1);
  EXPECT_EQ(wintest::ReadFile(dir / "old.bin"), "aXcdef");
}

TEST_F(Win32Files, OutputTruncatesEvenAHiddenSystemFile) {
  const std::string path = dir / "hidden.bin";
  wintest::WriteFile(path, std::string(5000, 'x'));
  wintest::SetAttributes(path, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  files::Open(1, path, OpenMode::Output);
  EXPECT_EQ(files::Lof(1), 0);
  files::Put(1, 'n');
  files::Put(1, 'e');
  files::Put(1, 'w');
  files::Close(1);
  EXPECT_EQ(wintest::ReadFile(path), "new");
  EXPECT_TRUE(wintest::Attributes(path) & FILE_ATTRIBUTE_HIDDEN);
}

// A file to be written is never opened through a reparse point, and a file
// with other hard links keeps its bytes when its name is written anew.
TEST_F(Win32Files, WritersNeverGoThroughALink) {
  const std::string outside = dir / "outside";
  const std::string shared = dir / "shared";
  wintest::WriteFile(outside, "secret");
  wintest::WriteFile(shared, "shared bytes");
  const std::string hard = dir / "hard";
  ASSERT_TRUE(::CreateHardLinkW(wintest::Widen(hard).c_str(),
                                wintest::Widen(shared).c_str(), nullptr));
  files::Open(1, hard, OpenMode::Output);
  files::Put(1, 'x');
  files::Close(1);
  EXPECT_EQ(wintest::ReadFile(hard), "x");
  EXPECT_EQ(wintest::ReadFile(shared), "shared bytes");

  // Wine answers CreateSymbolicLinkW with an empty plain file.
  const std::string link = dir / "link";
  const std::wstring wideLink = wintest::Widen(link);
  const bool made = ::CreateSymbolicLinkW(wideLink.c_str(),
                                          wintest::Widen(outside).c_str(), 0);
  const DWORD attributes = ::GetFileAttributesW(wideLink.c_str());
  if (!made || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "no symbolic links here";
  for (OpenMode mode :
       {OpenMode::Output, OpenMode::ReadWrite, OpenMode::CreateNew})
    EXPECT_EQ(ErrorOf([&] { files::Open(1, link, mode); }),
              err::kPathFileAccess);
  EXPECT_EQ(wintest::ReadFile(outside), "secret");
}

TEST_F(Win32Files, TwoNumbersMayHoldTheSameFile) {
  const std::string path = dir / "shared.bin";
  wintest::WriteFile(path, "0123456789");
  files::Open(1, path, OpenMode::ReadOnly);
  files::Open(2, path, OpenMode::ReadWrite);
  EXPECT_EQ(files::GetAt(1, 10), '9');
  files::PutAt(2, 1, 'A');
  files::Close(2);
  files::Close(1);
  EXPECT_EQ(wintest::ReadFile(path), "A123456789");
}

TEST_F(Win32Files, TheRunningExecutableReadsItself) {
  // What the program does with its own image and trailer.
  const std::string self = platform::OsProgramPath();
  ASSERT_FALSE(self.empty());
  files::Open(1, self, OpenMode::ReadOnly);
  const int32_t length = files::Lof(1);
  ASSERT_GT(length, 4);
  EXPECT_EQ(files::GetAt(1, 1), 'M');
  EXPECT_EQ(files::GetAt(1, 2), 'Z');
  files::GetAt(1, length); // the last byte is there too
  files::Close(1);
  // Writing over a running image is refused, not half done.
  EXPECT_EQ(ErrorOf([&] { files::Open(1, self, OpenMode::Output); }),
            err::kPermissionDenied);
}

struct OpenFailure {
  const char *what;
  std::function<std::string(const wintest::TempFolder &)> path;
  OpenMode mode;
  int32_t number;
};

void PrintTo(const OpenFailure &c, std::ostream *os) { *os << c.what; }

// NOLINTNEXTLINE(bugprone-exception-escape): gtest fixtures
class Win32OpenFailures : public ::testing::TestWithParam<OpenFailure> {
protected:
  ~Win32OpenFailures() override { files::CloseAllQuietly(); }
  wintest::TempFolder dir;
};

TEST_P(Win32OpenFailures, RaiseTheMatchingNumberWithThePathAndOsCode) {
  const OpenFailure &c = GetParam();
  wintest::MakeFolder(dir / "folder");
  wintest::WriteFile(dir / "readonly.txt", "r");
  wintest::SetAttributes(dir / "readonly.txt", FILE_ATTRIBUTE_READONLY);
  const std::string path = c.path(dir);
  try {
    files::Open(1, path, c.mode);
    FAIL() << c.what << ": the open succeeded";
  } catch (const platform::Error &e) {
    EXPECT_EQ(e.Number(), c.number) << c.what << ": " << e.Description();
    EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
  }
  // Nothing stays open under the number.
  EXPECT_EQ(files::FreeFile(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32OpenFailures,
    ::testing::Values(
        OpenFailure{"missing file", [](auto &d) { return d / "missing.bin"; },
                    OpenMode::ReadOnly, err::kFileNotFound},
        OpenFailure{"missing folder",
                    [](auto &d) { return d / "nowhere\\x.bin"; },
                    OpenMode::ReadWrite, err::kPathNotFound},
        OpenFailure{"a folder", [](auto &d) { return d / "folder"; },
                    OpenMode::ReadOnly, err::kPathFileAccess},
        OpenFailure{"a folder for output", [](auto &d) { return d / "folder"; },
                    OpenMode::Output, err::kPathFileAccess},
        OpenFailure{"read-only file for writing",
                    [](auto &d) { return d / "readonly.txt"; },
                    OpenMode::ReadWrite, err::kPermissionDenied},
        OpenFailure{"device name", [](auto &d) { return d / "NUL"; },
                    OpenMode::Output, err::kBadFileName},
        OpenFailure{"device name with extension",
                    [](auto &d) { return d / "con.txt"; }, OpenMode::Output,
                    err::kBadFileName},
        OpenFailure{"device name, any case, spaces before the extension",
                    [](auto &d) { return d / "Com1 .log"; },
                    OpenMode::ReadWrite, err::kBadFileName},
        OpenFailure{"invalid name", [](auto &d) { return d / "a<b>.txt"; },
                    OpenMode::Output, err::kBadFileName}));

TEST_F(Win32Files, ErrorTextNamesTheOsCode) {
  try {
    files::Open(1, dir / "missing.bin", OpenMode::ReadOnly);
    FAIL();
  } catch (const platform::Error &e) {
    EXPECT_EQ(
        e.Description().rfind(platform::StandardText(err::kFileNotFound), 0),
        0u)
        << e.Description();
    EXPECT_NE(e.Description().find("код 2)"), std::string::npos)
        << e.Description();
  }
}

} // namespace
