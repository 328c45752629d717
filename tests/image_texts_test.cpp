// Texts set at build time: the --texts file, the checks of what a window or
// box can show, the text block written into an image and read back, and
// the run's texts made from it.
#include <gtest/gtest.h>

#include "run/texts.h"
#include "tests/support/temp_folder.h"
#include "tools/cli.h"
#include "tools/image_texts.h"

namespace {

using namespace std::string_literals;
using tools::ImageTexts;

// An image with a blank text block somewhere in it, as the stub has one.
std::string ImageWithBlock() {
  std::string image(3000, 'x');
  image += mdl_main::kTextBlockMagic;
  image.resize(image.size() + mdl_main::kTextBlockSize - 16, '\0');
  image += std::string(500, 'y');
  return image;
}

std::string Error(const std::function<void()> &fn) {
  try {
    fn();
  } catch (const tools::ToolError &e) {
    return e.what();
  }
  return {};
}

TEST(ImageTexts, ABlankBlockGivesTheShippedTexts) {
  const tools::FoundTexts found = tools::ReadImageTexts(ImageWithBlock());
  EXPECT_TRUE(found.block);
  EXPECT_EQ(found.product, "Quorix");
  EXPECT_TRUE(found.replaced.empty());
  EXPECT_EQ(found.texts.confirm,
            "Сейчас будет произведено обновление Quorix до версии "
            "1.1.\r\nПродолжить?");
  EXPECT_EQ(found.texts.success, "Обновление до версии 1.1 прошло успешно!");
  EXPECT_EQ(found.texts.title, "Quorix Dravell");
  EXPECT_EQ(found.texts.caption, "Dravell");
  EXPECT_EQ(found.texts.critical, "Произошла критическая ошибка:");
}

TEST(ImageTexts, ProductVersionAndTextsReadBackFromTheBlock) {
  std::string image = ImageWithBlock();
  const std::string before = image;
  ImageTexts texts;
  texts.product = "Orbit";
  texts.version = "2.0";
  texts.replaced["caption"] = "Orbit Setup";
  texts.replaced["abort"] = "Stop?\r\nReally?";
  tools::PutTexts(image, texts);
  EXPECT_EQ(image.size(), before.size());
  EXPECT_EQ(image.substr(0, 3000), before.substr(0, 3000));
  const tools::FoundTexts found = tools::ReadImageTexts(image);
  EXPECT_EQ(found.product, "Orbit");
  EXPECT_EQ(found.version, "2.0");
  EXPECT_EQ(found.texts.confirm,
            "Сейчас будет произведено обновление Orbit до версии "
            "2.0.\r\nПродолжить?");
  EXPECT_EQ(found.texts.title, "Orbit Dravell");
  EXPECT_EQ(found.texts.caption, "Orbit Setup");
  EXPECT_EQ(found.texts.abort, "Stop?\r\nReally?");
  EXPECT_EQ(found.replaced,
            (std::map<std::string, std::string>{{"abort", "Stop?\r\nReally?"},
                                                {"caption", "Orbit Setup"}}));
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
  };
  for (const auto &c : cases) {
    std::string image = ImageWithBlock();
    const std::string before = image;
    ImageTexts texts;
    texts.replaced[c.key] = c.text;
    const std::string error = Error([&] { tools::PutTexts(image, texts); });
    EXPECT_NE(error.find(c.why), std::string::npos) << c.key << ": " << error;
    EXPECT_NE(error.find(c.key), std::string::npos) << error;
    EXPECT_TRUE(image == before) << c.key;
  }
  // Line breaks are for message boxes, and there they are fine.
  std::string image = ImageWithBlock();
  ImageTexts texts;
  texts.replaced["success"] = "Done.\r\nThank you.";
  EXPECT_EQ(Error([&] { tools::PutTexts(image, texts); }), "");
}

TEST(ImageTexts, AnImageWithoutRoomTakesNoTexts) {
  std::string image(5000, 'z');
  ImageTexts texts;
  EXPECT_EQ(Error([&] { tools::PutTexts(image, texts); }), "");
  texts.product = "Other";
  EXPECT_NE(Error([&] { tools::PutTexts(image, texts); }).find("no text block"),
            std::string::npos);
  // Texts that do not fit the block's room.
  image = ImageWithBlock();
  texts = ImageTexts{};
  // 2 bytes a character: 2000 + 2000 + 200 bytes, over the 4076 of room.
  texts.replaced["confirm"] = texts.replaced["success"] = "";
  for (int k = 0; k < 1000; ++k)
    texts.replaced["confirm"] += "ж";
  texts.replaced["success"] = texts.replaced["confirm"];
  texts.replaced["abort"] = texts.replaced["confirm"].substr(0, 200);
  EXPECT_NE(Error([&] { tools::PutTexts(image, texts); }).find("room for"),
            std::string::npos);
}

TEST(ImageTexts, ABlockThatDoesNotParseKeepsTheDefaults) {
  for (const std::string &payload :
       {"title"s, "title\0Half"s, "\0\0"s.substr(0, 1)}) {
    mdl_main::Texts texts = mdl_main::DefaultTexts("Changed", "9");
    EXPECT_FALSE(mdl_main::ApplyTextPayload(payload, texts)) << payload;
    EXPECT_EQ(texts.title, "Changed Dravell");
  }
  mdl_main::Texts texts;
  EXPECT_TRUE(mdl_main::ApplyTextPayload("future\0key\0title\0T\0"s, texts));
  EXPECT_EQ(texts.title, "T");
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
    const std::string error = Error([&] { tools::ReadTextsFile(path); });
    EXPECT_EQ(error.rfind(path + c.error, 0), 0u) << error;
  }
}

} // namespace
