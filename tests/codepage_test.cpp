// The ANSI code page (Windows-1251 on posix) and the UTF-8 helpers.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/codepage.h"
#include "tests/support/iconv_page.h"

namespace {

using platform::AnsiToText;
using platform::TextToAnsi;

std::string Utf8(char32_t code) {
  std::string text;
  platform::AppendUtf8(text, code);
  return text;
}

TEST(CodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    std::string back;
    ASSERT_TRUE(TextToAnsi(AnsiToText(one), back)) << "byte " << b;
    EXPECT_EQ(back, one) << "byte " << b;
    all += one;
  }
  std::string back;
  ASSERT_TRUE(TextToAnsi(AnsiToText(all), back));
  EXPECT_EQ(back, all);
}

TEST(CodePage, TableIsOneToOne) {
  std::set<char32_t> seen;
  for (int b = 0; b < 256; ++b)
    seen.insert(platform::AnsiTable()[b]);
  EXPECT_EQ(seen.size(), 256u);
}

TEST(CodePage, KnownCharacters) {
  struct Case {
    uint8_t byte;
    char32_t code;
  };
  const Case cases[] = {
      {0x00, 0x0000}, {0x01, 0x0001}, {0x20, 0x0020}, {0x41, 0x0041},
      {0x5C, 0x005C}, {0x7F, 0x007F}, {0x80, 0x0402}, {0x88, 0x20AC},
      {0xA8, 0x0401}, {0xB8, 0x0451}, {0xB9, 0x2116}, {0xC0, 0x0410},
      {0xDF, 0x042F}, {0xE0, 0x0430}, {0xFF, 0x044F}, {0xA5, 0x0490},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    EXPECT_EQ(platform::AnsiTable()[c.byte], c.code);
    EXPECT_EQ(AnsiToText(std::string(1, static_cast<char>(c.byte))),
              Utf8(c.code));
    std::string bytes;
    ASSERT_TRUE(TextToAnsi(Utf8(c.code), bytes));
    EXPECT_EQ(bytes, std::string(1, static_cast<char>(c.byte)));
  }
}

TEST(CodePage, RussianText) {
  const std::string text = "Распаковка пакета обновления...";
  std::string bytes;
  ASSERT_TRUE(TextToAnsi(text, bytes));
  EXPECT_EQ(bytes.size(), 31u);                    // one byte per character
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xD0); // Р
  EXPECT_EQ(static_cast<uint8_t>(bytes[1]), 0xE0); // а
  EXPECT_EQ(AnsiToText(bytes), text);
}

TEST(CodePage, PlaceholderBytesSurvive) {
  const std::string bytes("\x00\\app.exe\x01\\x", 12);
  const std::string text = AnsiToText(bytes);
  EXPECT_EQ(text, bytes); // both are their own characters
  std::string back;
  ASSERT_TRUE(TextToAnsi(text, back));
  EXPECT_EQ(back, bytes);
}

TEST(CodePage, CharactersOutsideTheCodePageAreRefused) {
  const std::string texts[] = {
      std::string("ab") + Utf8(0x4E2D) + "cd", // CJK ideograph
      Utf8(0x1F600),                           // emoji, four bytes
      Utf8(0x00E9), // é: Latin-1, not in Windows-1251
      Utf8(0x0100),
  };
  for (const std::string &text : texts) {
    std::string bytes = "junk";
    EXPECT_FALSE(TextToAnsi(text, bytes)) << text;
  }
  std::string bytes;
  EXPECT_FALSE(TextToAnsi(std::string("ab") + Utf8(0x4E2D), bytes));
  EXPECT_EQ(bytes, "ab"); // what was converted before the failure
}

TEST(CodePage, MalformedUtf8IsRefused) {
  const std::string texts[] = {
      std::string("\xC0\x80", 2),         // overlong U+0000
      std::string("\xC0\x81", 2),         // overlong U+0001
      std::string("\xE0\x80\x81", 3),     // overlong U+0001, three bytes
      std::string("\xF0\x80\x80\x81", 4), // overlong U+0001, four bytes
      std::string("\xC1\xBF", 2),         // overlong U+007F
      std::string("\xED\xA0\x80", 3),     // surrogate
      std::string("\xF4\x90\x80\x80", 4), // past U+10FFFF
      std::string("\x80", 1),             // lone continuation byte
      std::string("\xD0", 1),             // cut short
      std::string("\xE2\x84", 2),         // cut short
      std::string("\xFF", 1),
  };
  for (const std::string &text : texts) {
    std::string bytes;
    EXPECT_FALSE(TextToAnsi(text, bytes)) << testing::PrintToString(text);
  }
}

TEST(CodePage, NextCodePointDecodesAndSkipsOneByteOfAMalformedSequence) {
  const std::string text = std::string("a") + Utf8(0x0416) + Utf8(0x2116) +
                           Utf8(0x1F600) + std::string("\xC0\x80", 2) + "z";
  const char32_t expected[] = {'a',    0x0416, 0x2116, 0x1F600,
                               0xFFFD, 0xFFFD, 'z'};
  size_t index = 0;
  for (char32_t code : expected) {
    ASSERT_LT(index, text.size());
    EXPECT_EQ(platform::NextCodePoint(text, index), code);
  }
  EXPECT_EQ(index, text.size());
}

// Every page a package may be written in: the characters iconv gives, each
// byte back through TextToAnsi, unassigned bytes as themselves; the system's
// page again after 0; a page not on the list refused.
TEST(CodePage, ThePackagesOwnCodePages) {
  for (const int page : platform::kPackageCodePages) {
    SCOPED_TRACE(page);
    const std::vector<char32_t> reference =
        testsupport::PageFromIconv(("CP" + std::to_string(page)).c_str());
    ASSERT_FALSE(reference.empty());
    ASSERT_TRUE(platform::SetFileCodePage(page));
    EXPECT_EQ(platform::FileCodePage(), page);
    for (int b = 1; b < 256; ++b) {
      char32_t expected = reference[b] != 0 ? reference[b] : b;
      if (page == 1255 && b == 0xCA)
        expected = 0x05BA; // Windows has it; iconv leaves it unassigned
      EXPECT_EQ(platform::AnsiTable()[b], expected) << "byte " << b;
      std::string back;
      const std::string one(1, static_cast<char>(b));
      EXPECT_TRUE(TextToAnsi(AnsiToText(one), back) && back == one)
          << "byte " << b;
    }
  }
  std::string bytes;
  ASSERT_TRUE(platform::SetFileCodePage(1252));
  EXPECT_TRUE(TextToAnsi("Présentation", bytes));
  EXPECT_FALSE(TextToAnsi("Справка", bytes));
  for (const int page : {437, 65001, 1200, -1}) {
    EXPECT_FALSE(platform::SetFileCodePage(page)) << page;
    EXPECT_EQ(platform::FileCodePage(), 1252);
  }
  ASSERT_TRUE(platform::SetFileCodePage(0));
  EXPECT_EQ(platform::FileCodePage(), 0);
  EXPECT_EQ(AnsiToText("\xD1\xEF\xF0\xE0\xE2\xEA\xE0"), "Справка");
}

} // namespace
