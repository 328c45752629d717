// The one case table of names against the Windows single-byte code pages:
// two characters of a page are the same in a name exactly when they are a
// pair of capital and small letter.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <locale.h>
#include <string>
#include <vector>
#include <wctype.h>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "tests/support/iconv_page.h"

namespace {

namespace fs = platform::fs;

std::string Utf8(char32_t c) {
  std::string text;
  platform::AppendUtf8(text, c);
  return text;
}

// The capital letter of a small one, by the C library's Unicode tables, when
// the two map to each other; final sigma goes to capital sigma as NTFS has
// it, though capital sigma's small letter is the other sigma. Any other
// character stands for itself.
char32_t Capital(char32_t c, locale_t utf8) {
  if (c == U'ς')
    return U'Σ';
  const auto upper =
      static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), utf8));
  return towlower_l(static_cast<wint_t>(upper), utf8) == static_cast<wint_t>(c)
             ? upper
             : c;
}

class FoldNameTest : public ::testing::Test {
protected:
  void SetUp() override {
    utf8_ = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (!utf8_)
      GTEST_SKIP() << "no C.UTF-8 locale for the Unicode case tables";
  }
  void TearDown() override {
    if (utf8_)
      freelocale(utf8_);
  }

  // Checks every two characters of a page; returns the pairs of capital and
  // small letter found.
  std::vector<std::string> CheckPage(const std::vector<char32_t> &chars) {
    std::vector<std::string> pairs;
    for (const char32_t a : chars) {
      for (const char32_t b : chars) {
        if (a == b || !a || !b)
          continue;
        const bool same = Capital(a, utf8_) == Capital(b, utf8_);
        const std::string x = Utf8(a), y = Utf8(b);
        EXPECT_EQ(fs::FoldName(x) == fs::FoldName(y), same) << x << " " << y;
        if (same && Capital(b, utf8_) == a)
          pairs.push_back(x + y);
      }
    }
    return pairs;
  }

  locale_t utf8_ = nullptr;
};

TEST_F(FoldNameTest, EveryLetterPairOfWindows1251) {
  const char32_t *table = platform::AnsiTable(); // Windows-1251 on posix
  const std::vector<char32_t> chars(table, table + 256);
  const std::vector<std::string> pairs = CheckPage(chars);
  // 26 Latin, 32 basic Cyrillic and these 15 others.
  EXPECT_EQ(pairs.size(), 26u + 32u + 15u);
  for (const char *pair : {"Ўў", "Єє", "Її", "Іі", "Јј", "Ѕѕ", "Љљ", "Њњ", "Ћћ",
                           "Џџ", "Ђђ", "Ѓѓ", "Ќќ", "Ёё", "Ґґ", "Аа", "Яя"})
    EXPECT_NE(std::find(pairs.begin(), pairs.end(), pair), pairs.end()) << pair;
}

TEST_F(FoldNameTest, EveryLetterPairOfTheOtherWindowsCodePages) {
  for (const char *page : {"CP1250", "CP1252", "CP1253", "CP1254", "CP1255",
                           "CP1256", "CP1257", "CP1258", "CP874"}) {
    SCOPED_TRACE(page);
    const std::vector<char32_t> chars = testsupport::PageFromIconv(page);
    ASSERT_FALSE(chars.empty()) << "iconv lacks " << page;
    EXPECT_FALSE(CheckPage(chars).empty());
  }
  // What NTFS leaves alone: dotless i, the micro sign, sharp s.
  EXPECT_NE(fs::FoldName("ı"), fs::FoldName("I"));
  EXPECT_NE(fs::FoldName("İ"), fs::FoldName("i"));
  EXPECT_NE(fs::FoldName("µ"), fs::FoldName("Μ"));
  EXPECT_EQ(fs::FoldName("ß"), u"ß");
}

TEST(FoldName, KeepsTheLengthOfEveryCharacter) {
  // A lookup of names compares byte lengths before it folds.
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF)
      continue;
    const std::u16string folded = fs::FoldName(Utf8(c));
    ASSERT_EQ(folded.size(), 1u);
    ASSERT_EQ(Utf8(folded[0]).size(), Utf8(c).size())
        << std::hex << static_cast<uint32_t>(c);
  }
}

} // namespace
