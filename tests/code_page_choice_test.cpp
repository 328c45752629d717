// The code page of a package: the first page that holds every name, the
// one asked for, and a name no single page holds; the manifest's value.
#include "tools/code_page_choice.h"

#include <gtest/gtest.h>

#include "package/manifest.h"
#include "platform/codepage.h"
#include "tools/cli.h"

namespace {

struct Choice {
  std::vector<std::string> names;
  int asked;
  int chosen; // 0: refused
};

TEST(CodePageChoice, FirstPageThatHoldsEveryName) {
  const Choice cases[] = {
      {{"readme.txt"}, 0, 1251},
      {{"{app}\\Что нового.txt", "сообщения.po"}, 0, 1251},
      {{"Présentation.txt", "Größe.txt"}, 0, 1252},
      {{"Łódź.txt", "Größe.txt"}, 0, 1250},
      {{"Ωμέγα.txt"}, 0, 1253},
      {{"ภาษาไทย.txt"}, 0, 874},
      {{"Größe.txt", "Ωμέγα.txt"}, 0, 0},
      {{"漢字.txt"}, 0, 0},
      {{"Größe.txt"}, 1257, 1257},
      {{"Größe.txt"}, 1251, 0},
      // Only through a byte the page leaves unassigned.
      {{"Straße שלום.txt"}, 0, 0},
      {{"ภาษาไทย Müller.txt"}, 0, 0},
      {{"¥.txt"}, 1257, 0},
  };
  for (const Choice &c : cases) {
    SCOPED_TRACE(c.names.back());
    if (c.chosen == 0) {
      EXPECT_THROW(tools::ChooseCodePage(c.names, c.asked), tools::ToolError);
    } else {
      EXPECT_EQ(tools::ChooseCodePage(c.names, c.asked), c.chosen);
      EXPECT_EQ(platform::FileCodePage(), c.chosen); // left in effect
    }
  }
  platform::SetFileCodePage(0);
}

TEST(CodePageChoice, RefusalNamesTheTextAndThePagesTried) {
  try {
    tools::ChooseCodePage({"a.txt", "Größe.txt", "Ωμέγα.txt", "b.txt"}, 0);
    FAIL() << "refused";
  } catch (const tools::ToolError &e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("\"Ωμέγα.txt\""), std::string::npos) << text;
    EXPECT_NE(text.find(tools::CodePageList()), std::string::npos) << text;
  }
  platform::SetFileCodePage(0);
}

TEST(CodePageChoice, DeclaredValue) {
  const std::pair<const char *, int> cases[] = {
      {"1252", 1252}, {"874", 874}, {"", -1}, {"12a", -1}, {"123456", -1}};
  for (const auto &[value, page] : cases) {
    std::string payload;
    package::AppendPair(payload, package::kCodePageKey, value);
    EXPECT_EQ(package::DeclaredCodePage(payload), page) << value;
  }
  EXPECT_EQ(package::DeclaredCodePage(std::string("sums\0"
                                                  "1\0",
                                                  7)),
            0);
}

} // namespace
