// The system's ANSI code page and the process environment on Windows.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/env.h"
#include "tests/win32/temp_folder.h"

namespace {

using wintest::Narrow;
using wintest::Widen;

TEST(Win32Codepage, TableMatchesTheSystemForEveryByte) {
  const char32_t *table = platform::AnsiTable();
  for (int byte = 0; byte < 256; ++byte) {
    const char in = static_cast<char>(byte);
    wchar_t out[2] = {};
    const int n =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
    const char32_t expected = n == 1 ? out[0] : static_cast<char32_t>(byte);
    EXPECT_EQ(table[byte], expected) << "byte " << byte;
  }
  EXPECT_EQ(platform::AnsiTable(), table); // built once
}

TEST(Win32Codepage, EveryByteSurvivesARoundTripThroughText) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte)
    all += static_cast<char>(byte);
  const std::string text = platform::AnsiToText(all);
  std::string back;
  ASSERT_TRUE(platform::TextToAnsi(text, back));
  // A code page that maps two bytes to one character keeps the lower byte.
  const char32_t *table = platform::AnsiTable();
  for (int byte = 0; byte < 256; ++byte) {
    int first = byte;
    for (int other = 0; other < byte; ++other)
      if (table[other] == table[byte]) {
        first = other;
        break;
      }
    EXPECT_EQ(static_cast<uint8_t>(back[byte]), first) << "byte " << byte;
  }
  // The text agrees with the system's own conversion of the bytes that
  // convert one by one.
  EXPECT_EQ(Widen(platform::AnsiToText("Quorix 1.1")), L"Quorix 1.1");
}

TEST(Win32Codepage, CharactersOutsideTheCodePageAreRefused) {
  std::string bytes;
  EXPECT_FALSE(platform::TextToAnsi("日本", bytes));
}

TEST(Win32Codepage, Windows1251WhereTheSystemUsesIt) {
  if (::GetACP() != 1251)
    GTEST_SKIP() << "the ANSI code page here is " << ::GetACP();
  std::string bytes;
  ASSERT_TRUE(platform::TextToAnsi("Обновление", bytes));
  EXPECT_EQ(bytes, "\xCE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5");
  EXPECT_EQ(platform::AnsiToText("\xA8\xB8"), "Ёё");
}

class Win32Env : public ::testing::Test {
protected:
  void SetUp() override {
    DWORD n = ::GetEnvironmentVariableW(L"TMP", saved_, MAX_PATH);
    hadTmp_ = n > 0 && n < MAX_PATH;
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"TMP", hadTmp_ ? saved_ : nullptr);
    ::SetEnvironmentVariableW(L"UPDPACK_TEST_VALUE", nullptr);
  }

private:
  wchar_t saved_[MAX_PATH] = {};
  bool hadTmp_ = false;
};

TEST_F(Win32Env, TmpIsTakenAsTheEnvironmentGivesIt) {
  ::SetEnvironmentVariableW(L"TMP", L"C:\\Temp\\Обновления ");
  EXPECT_EQ(platform::GetEnv("TMP"), "C:\\Temp\\Обновления ");
  ::SetEnvironmentVariableW(L"TMP", nullptr);
  EXPECT_EQ(platform::GetEnv("TMP"), "");
  ::SetEnvironmentVariableW(L"TMP", L"");
  EXPECT_EQ(platform::GetEnv("TMP"), "");
}

TEST_F(Win32Env, LongValuesAreReadWhole) {
  for (size_t length : {255u, 256u, 257u, 5000u}) {
    std::wstring value(length, L'ж');
    value.back() = L'!';
    ::SetEnvironmentVariableW(L"UPDPACK_TEST_VALUE", value.c_str());
    EXPECT_EQ(platform::GetEnv("UPDPACK_TEST_VALUE"), Narrow(value)) << length;
  }
}

TEST(Win32ProgramPath, NamesTheRunningExecutable) {
  const std::string path = platform::OsProgramPath();
  wchar_t module[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  EXPECT_EQ(path, Narrow(module));
  EXPECT_EQ(platform::ProgramPath(), path);
  EXPECT_EQ(platform::ProgramBaseName(), "win32_tests");
  const std::string folder = platform::ProgramFolder();
  EXPECT_EQ(folder + "\\win32_tests.exe", path);
  EXPECT_NE(folder.back(), '\\');
}

TEST(Win32AbsolutePath, ResolvesAgainstTheCurrentFolder) {
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  std::string base = Narrow(current);
  if (base.back() != '\\')
    base += '\\';
  EXPECT_EQ(platform::AbsolutePath("pkg\\update.exe"),
            base + "pkg\\update.exe");
  EXPECT_EQ(platform::AbsolutePath("C:/a/b/../c.exe"), "C:\\a\\c.exe");
  EXPECT_EQ(platform::AbsolutePath("C:\\Программы\\x.exe"),
            "C:\\Программы\\x.exe");
}

} // namespace
