// Texts set at build time: the --texts file, the checks of what a window or
// box can show, the texts written into a package's manifest and read back,
// and the run's texts made from it.
#include <gtest/gtest.h>

#include "package/byte_source.h"
#include "package/manifest.h"
#include "package/texts.h"
#include "run/mdl_main.h"
#include "tests/support/caught.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"
#include "tools/cli.h"
#include "tools/image_texts.h"

namespace {

using namespace std::string_literals;
using package::Text;
using tools::ImageTexts;

size_t Index(Text text) { return static_cast<size_t>(text); }

// A slot is its name in braces, whole; the last fill of a name wins.
TEST(FillIn, FillsWholeSlotsOnly) {
  const struct {
    const char *pattern;
    const char *filled;
  } rows[] = {{"{a}-{b}", "1-2"}, {"{a", "{a"},   {"x{", "x{"}, {"{a}}", "1}"},
              {"{ab}", "{ab}"},   {"{{a}", "{1"}, {"{c}", "3"}, {"{}", "{}"}};
  for (const auto &row : rows)
    EXPECT_EQ(package::FillIn(row.pattern,
                              {{"a", "1"}, {"b", "2"}, {"c", "0"}, {"c", "3"}}),
              row.filled)
        << row.pattern;
}

// A program image of another making: no version resource to fill.
std::string Image() { return std::string(3000, 'x'); }

// What verify and the run find in a package whose manifest build wrote for
// texts.
tools::FoundTexts RoundTrip(const ImageTexts &texts) {
  const std::string package = pkgbuild::BuiltPackage(
      pkgbuild::MinimalPe(), tools::ManifestPayload(texts), "PACK1");
  return tools::ManifestTexts(
      package::FindManifest(package::MemorySource(package)));
}

// A package that build writes always carries its texts: the damaged
// sentence and the declaration of the checksum entry are there; an image
// without them shows the shipped texts, which add no sentence.
TEST(ImageTexts, BuildAlwaysWritesTheTextsWithTheDamagedSentence) {
  const tools::FoundTexts plain = tools::ManifestTexts(package::FindManifest(
      package::MemorySource(pkgbuild::MinimalPe() + "PACK1")));
  EXPECT_FALSE(plain.own);
  EXPECT_FALSE(plain.sums);
  EXPECT_EQ(plain.texts[Index(Text::Damaged)], "");
  const tools::FoundTexts found = RoundTrip({});
  EXPECT_TRUE(found.own);
  EXPECT_TRUE(found.sums);
  EXPECT_EQ(found.product, "Quorix");
  EXPECT_TRUE(found.replaced.empty());
  EXPECT_EQ(found.texts[Index(Text::Damaged)], package::kDamagedPackageText);
  for (size_t k = 0; k < package::kTextCount; ++k) {
    if (k != Index(Text::Damaged)) {
      EXPECT_EQ(found.texts[k], plain.texts[k]) << package::KeyOf(k).key;
    }
  }
  EXPECT_EQ(found.texts[Index(Text::Confirm)],
            "Сейчас будет произведено обновление Quorix до версии "
            "1.1.\r\nПродолжить?");
}

TEST(ImageTexts, ProductVersionAndTextsReadBackFromTheManifest) {
  ImageTexts texts;
  texts.product = "Orbit";
  texts.version = "2.0";
  texts.replaced["caption"] = "Orbit Setup";
  texts.replaced["abort"] = "Stop?\r\nReally?";
  const tools::FoundTexts found = RoundTrip(texts);
  EXPECT_TRUE(found.own);
  EXPECT_EQ(found.product, "Orbit");
  EXPECT_EQ(found.version, "2.0");
  EXPECT_EQ(found.texts[Index(Text::Confirm)],
            "Сейчас будет произведено обновление Orbit до версии "
            "2.0.\r\nПродолжить?");
  EXPECT_EQ(found.texts[Index(Text::Title)], "Orbit Dravell");
  EXPECT_EQ(found.texts[Index(Text::Caption)], "Orbit Setup");
  EXPECT_EQ(found.texts[Index(Text::Abort)], "Stop?\r\nReally?");
  EXPECT_EQ(found.replaced,
            (std::map<std::string, std::string>{{"abort", "Stop?\r\nReally?"},
                                                {"caption", "Orbit Setup"}}));
}

// The manifest leaves out what the run starts from anyway; what a run reads
// back must still be every text and message build checked, in either
// language, with the product's name or with a replaced text.
TEST(ImageTexts, TextsLeftOutOfTheManifestAreTheOnesTheRunStartsFrom) {
  const struct {
    package::Language language;
    const char *product;
    const char *replaced; // a message key given its own text, or ""
    size_t maxPayload;
  } cases[] = {
      {package::Language::Russian, "Quorix", "", 1024},
      {package::Language::Russian, "Lumen Notes", "", 3072},
      {package::Language::Russian, "Lumen Notes", "error-5", 3072},
      {package::Language::English, "Lumen Notes", "", tools::kTextsRoom},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.product) + " " + c.replaced);
    ImageTexts texts;
    texts.product = c.product;
    texts.language = c.language;
    if (*c.replaced != '\0')
      texts.replaced[c.replaced] = "Access denied, press Retry";
    EXPECT_LE(tools::ManifestPayload(texts).size(), c.maxPayload);
    const tools::FoundTexts found = RoundTrip(texts);
    EXPECT_EQ(found.texts, tools::CheckTexts(texts));
    ASSERT_EQ(found.messages.size(), platform::kMsgCount);
    for (size_t k = 0; k < platform::kMsgCount; ++k) {
      const auto msg = static_cast<platform::Msg>(k);
      const std::string expected =
          found.messages[k].first == c.replaced
              ? "Access denied, press Retry"
              : package::MessageTextIn(c.language, msg);
      EXPECT_EQ(found.messages[k].second, expected) << found.messages[k].first;
    }
  }
}

TEST(ImageTexts, WhatCannotBeShownIsRefusedBeforeTheImageChanges) {
  const struct {
    const char *key;
    std::string text;
    const char *why;
  } cases[] = {
      {"preparing", std::string(41, 'p'), "at most 40"},
      {"preparing", std::string(40, 'p') + "\xD0\x96", "at most 40"},
      {"title", "Line\r\nbreak", "cannot show"},
      {"confirm", "bell\a", "cannot show"},
      {"confirm", "bad \xC3 utf-8", "cannot show"},
      {"success", "emoji \xF0\x9F\x98\x80", "cannot show"},
      {"caption", "C1 \xC2\x85", "cannot show"},
      {"confirm", std::string(1001, 'c'), "at most 1000"},
      {"confirm", "", "ask nothing"},
      {"abort", "", "ask nothing"},
      // Messages have no length of their own, but the same characters; a
      // 0x00 would cut the manifest's pairs apart.
      {"file-missing", "cut\0here"s, "cannot show"},
      {"error-53", "bad \xC3 utf-8", "cannot show"},
  };
  for (const auto &c : cases) {
    std::string image = Image();
    const std::string before = image;
    ImageTexts texts;
    texts.replaced[c.key] = c.text;
    texts.textsFile = "orbit.txt";
    const std::string error =
        testsupport::ToolErrorText([&] { tools::ManifestPayload(texts); });
    EXPECT_NE(error.find(c.why), std::string::npos) << c.key << ": " << error;
    EXPECT_EQ(error.rfind("orbit.txt: the ", 0), 0u) << error;
    EXPECT_NE(error.find(" \""s + c.key + "\""), std::string::npos) << error;
    EXPECT_EQ(
        testsupport::ToolErrorText([&] { tools::PutProperties(image, texts); }),
        error);
    EXPECT_TRUE(image == before) << c.key;
  }
  // Line breaks are for message boxes, and there they are fine.
  ImageTexts texts;
  texts.replaced["success"] = "Done.\r\nThank you.";
  EXPECT_EQ(testsupport::ToolErrorText([&] { tools::ManifestPayload(texts); }),
            "");
}

TEST(ImageTexts, PayloadsThatDoNotParseChangeNothing) {
  for (const std::string &payload :
       {"title"s, "title\0Half"s, "\0\0"s.substr(0, 1)}) {
    package::Texts texts = package::DefaultTexts("Changed", "9");
    EXPECT_FALSE(package::ApplyTexts(payload, texts)) << payload;
    EXPECT_EQ(texts[Index(Text::Title)], "Changed Dravell");
  }
  package::Texts texts;
  EXPECT_TRUE(package::ApplyTexts("future\0key\0title\0T\0"s, texts));
  EXPECT_EQ(texts[Index(Text::Title)], "T");
}

TEST(ImageTexts, TextsFilesWithTheirErrors) {
  testsupport::TempFolder dir;
  const std::string path = dir / "texts.txt";
  testsupport::WriteFile(path, "# texts of Orbit\n"
                               "\n"
                               "  title = Orbit  \n"
                               "confirm=Update Orbit?\\nGo on?\n"
                               "success = C:\\\\Orbit = done\r\n");
  EXPECT_EQ(tools::ReadTextsFile(path),
            (std::map<std::string, std::string>{
                {"confirm", "Update Orbit?\r\nGo on?"},
                {"success", "C:\\Orbit = done"},
                {"title", "Orbit"}}));
  const struct {
    const char *text;
    const char *error;
  } bad[] = {
      {"title = a\ncolour = red\n", ":2: unknown key \"colour\""},
      {"title = a\ntitle = b\n", ":2: \"title\" is given twice"},
      {"\n\njust words\n", ":3: expected key = value"},
  };
  for (const auto &c : bad) {
    testsupport::WriteFile(path, c.text);
    const std::string error =
        testsupport::ToolErrorText([&] { tools::ReadTextsFile(path); });
    EXPECT_EQ(error.rfind(path + c.error, 0), 0u) << error;
  }
}

// An author who replaces a text learns from `updpack help build` what the
// run fills into it: every placeholder a default text of either language
// keeps once build has filled in the product and version.
TEST(ImageTexts, HelpNamesEveryPlaceholderTheRunFillsIn) {
  const std::string help = tools::TextKeysHelp();
  for (const package::Language language :
       {package::Language::Russian, package::Language::English}) {
    const package::Texts texts =
        package::DefaultTexts("Orbit", "2.0", language);
    for (size_t k = 0; k < package::kTextCount; ++k) {
      std::string key = package::KeyOf(k).key;
      key.resize(12, ' ');
      const size_t at = help.find("    " + key);
      ASSERT_NE(at, std::string::npos) << key;
      const std::string line = help.substr(at, help.find('\n', at) - at);
      const std::string &text = texts[k];
      for (size_t open = text.find('{'); open != std::string::npos;
           open = text.find('{', open + 1)) {
        const std::string placeholder =
            text.substr(open, text.find('}', open) - open + 1);
        EXPECT_NE(line.find(placeholder), std::string::npos)
            << line << " does not name " << placeholder;
      }
    }
  }
}

// The run shows the texts of the package it runs, read before its first
// question; the next package without texts of its own shows the defaults.
TEST(ImageTexts, TheRunShowsThePackagesOwnTexts) {
  pkgbuild::RunWorld world;
  testsupport::ScriptedUi backend;
  const std::string src = world.box / "src";
  testsupport::MakeFolder(src);
  testsupport::WriteFile(src + "/a.txt", "a");
  testsupport::WriteFile(src + "/~updpack.sum", pkgbuild::SumsOf(src));
  ImageTexts texts;
  texts.product = "Orbit";
  texts.replaced["caption"] = "Orbit Setup";
  world.InstallPackage(pkgbuild::BuiltPackage(
      pkgbuild::MinimalPe(), tools::ManifestPayload(texts),
      pkgbuild::PackFolder(src, world.box / "a.pack")));
  backend.QueueAnswer(platform::MsgAnswer::Yes);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kSuccess);
  ASSERT_EQ(backend.messages.size(), 2u);
  EXPECT_EQ(backend.messages[0].text,
            "Сейчас будет произведено обновление Orbit до версии "
            "1.1.\r\nПродолжить?");
  EXPECT_EQ(backend.messages[0].title, "Orbit Setup");
  EXPECT_EQ(backend.messages[1].title, "Orbit Setup");
  EXPECT_EQ(backend.design.title, "Orbit Dravell");

  world.InstallFolder(src); // the base format: no manifest
  backend.messages.clear();
  backend.QueueAnswer(platform::MsgAnswer::Yes);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main),
            platform::exitcode::kSuccess);
  ASSERT_FALSE(backend.messages.empty());
  EXPECT_EQ(backend.messages[0].title, "Dravell");
  EXPECT_EQ(backend.design.title, "Quorix Dravell");
}

} // namespace
