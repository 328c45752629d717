// What an undoable install asks of the Windows file system: renames that
// never replace, files in use, file times, one run at a time, a package's
// own code page.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/run_lock.h"
#include "tests/win32/temp_folder.h"

namespace {

namespace fs = platform::fs;
namespace err = platform::err;

using wintest::ErrorOf;

TEST(Win32Moves, RenameNeverReplacesAndRemoveEmptyFolderOnlyEmpties) {
  wintest::TempFolder dir;
  wintest::WriteFile(dir / "app.exe", "old");
  wintest::WriteFile(dir / "taken", "keep");
  wintest::MakeFolder(dir / "sub");
  EXPECT_EQ(ErrorOf([&] { fs::Rename(dir / "app.exe", dir / "taken"); }),
            err::kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { fs::Rename(dir / "missing", dir / "x"); }),
            err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::Rename(dir / "taken \\taken", dir / "x"); }),
            err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::Rename(dir / "taken", dir / "sub\\..\\TAKEN"); }),
            0);
  EXPECT_EQ(ErrorOf([&] { fs::Rename(dir / "APP.EXE", dir / "sub\\app.exe"); }),
            0);
  EXPECT_EQ(wintest::ReadFile(dir / "sub\\app.exe"), "old");
  EXPECT_EQ(ErrorOf([&] { fs::Rename(dir / "sub", dir / "sub\\in"); }),
            err::kPathFileAccess); // into itself: an invalid parameter
  EXPECT_EQ(ErrorOf([&] { fs::RemoveEmptyFolder(dir / "sub"); }),
            err::kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { fs::RemoveEmptyFolder(dir / "sub\\app.exe"); }),
            err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::RemoveEmptyFolder(dir / "none"); }),
            err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::RemoveEmptyFolder(dir / "none\\x"); }),
            err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { fs::Rename(dir / "sub", dir / "moved"); }), 0);
  ::DeleteFileW(wintest::Widen(dir / "moved\\app.exe").c_str());
  EXPECT_EQ(ErrorOf([&] { fs::RemoveEmptyFolder(dir / "moved"); }), 0);
  EXPECT_FALSE(fs::FolderExists(dir / "moved"));
}

// A file held open without delete sharing for a moment (a virus scanner
// reading a new file) is renamed once it is let go; one held throughout
// fails the rename as the OS reports it, after a bounded wait.
TEST(Win32Moves, ARenameWaitsOutABriefHold) {
  using Clock = std::chrono::steady_clock;
  struct Case {
    int holdMs;
    int32_t error;
  };
  for (const Case c : {Case{300, 0}, Case{2500, err::kPermissionDenied}}) {
    SCOPED_TRACE(c.holdMs);
    wintest::TempFolder dir;
    wintest::WriteFile(dir / "~updpack.new", "new");
    const HANDLE held = ::CreateFileW(
        wintest::Widen(dir / "~updpack.new").c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // The win32 thread model has no std::thread: a thread of the SDK.
    struct Hold {
      HANDLE file;
      DWORD ms;
    } hold{held, static_cast<DWORD>(c.holdMs)};
    const HANDLE scanner = ::CreateThread(
        nullptr, 0,
        [](void *parameter) -> DWORD {
          const Hold *h = static_cast<const Hold *>(parameter);
          ::Sleep(h->ms);
          ::CloseHandle(h->file);
          return 0;
        },
        &hold, 0, nullptr);
    ASSERT_NE(scanner, nullptr);
    const Clock::time_point start = Clock::now();
    const int32_t error =
        ErrorOf([&] { fs::Rename(dir / "~updpack.new", dir / "app.exe"); });
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        Clock::now() - start);
    ::WaitForSingleObject(scanner, INFINITE);
    ::CloseHandle(scanner);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(wintest::ReadFile(dir / (error ? "~updpack.new" : "app.exe")),
              "new");
    EXPECT_LT(waited.count(), 3000);
    if (error != 0) {
      EXPECT_GE(waited.count(), 1000);
    }
  }
}

TEST(Win32Moves, AFileOpenWithoutSharingIsInUse) {
  wintest::TempFolder dir;
  wintest::WriteFile(dir / "app.exe", "x");
  wintest::WriteFile(dir / "ro.dll", "x");
  wintest::SetAttributes(dir / "ro.dll", FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(fs::InUse(dir / "app.exe"));
  EXPECT_FALSE(fs::InUse(dir / "ro.dll")); // read-only is not in use
  for (const char *name : {"app.exe", "ro.dll"}) {
    const HANDLE held =
        ::CreateFileW(wintest::Widen(dir / name).c_str(), GENERIC_READ,
                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fs::InUse(dir / name)) << name;
    ::CloseHandle(held);
    EXPECT_FALSE(fs::InUse(dir / name)) << name;
  }
  wintest::SetAttributes(dir / "ro.dll", FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(fs::InUse(dir / "missing"));
}

TEST(Win32Moves, ACopyTakesTheTimeItIsGiven) {
  wintest::TempFolder dir;
  wintest::WriteFile(dir / "f", "x");
  const fs::FileTime time{1700000000, 0};
  fs::FileCopy(dir / "f", dir / "g", &time);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(wintest::Widen(dir / "g").c_str(),
                                     GetFileExInfoStandard, &data));
  const uint64_t ticks =
      (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ((ticks - 116444736000000000u) / 10000000u, 1700000000u);
}

TEST(Win32Moves, OneRunAtATime) {
  EXPECT_TRUE(platform::TakeRunLock("C:\\Temp\\VLSFX_QUORIX"));
  EXPECT_FALSE(platform::TakeRunLock("c:\\temp\\vlsfx_quorix"));
  EXPECT_TRUE(platform::TakeRunLock("C:\\Temp\\VLSFX_OTHER"));
}

TEST(Win32Moves, APackagesOwnCodePage) {
  ASSERT_TRUE(platform::SetFileCodePage(1252));
  EXPECT_EQ(platform::AnsiToText("Pr\xE9sentation"), "Présentation");
  ASSERT_TRUE(platform::SetFileCodePage(1251));
  EXPECT_EQ(platform::AnsiToText("\xD1\xEF\xF0"), "Спр");
  EXPECT_FALSE(platform::SetFileCodePage(65001));
  EXPECT_EQ(platform::FileCodePage(), 1251);
  ASSERT_TRUE(platform::SetFileCodePage(0));
}

} // namespace
