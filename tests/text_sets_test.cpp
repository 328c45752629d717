// The language sets of a package's texts: every key has its English text,
// with the same slots as the shipped text, and no set names the archive
// format; a manifest's messages take effect and are undone.
#include "package/text_sets.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "package/manifest.h"
#include "package/texts.h"
#include "platform/messages.h"

namespace {

struct Keyed {
  std::string key;
  std::string shipped; // the program's own text
};

std::vector<Keyed> EveryKey() {
  std::vector<Keyed> keys;
  for (size_t k = 0; k < package::kTextCount; ++k)
    keys.push_back({package::KeyOf(k).key, package::KeyOf(k).pattern});
  for (size_t k = 0; k < platform::kMsgCount; ++k) {
    const auto msg = static_cast<platform::Msg>(k);
    keys.push_back({platform::MsgKey(msg), platform::MsgDefault(msg)});
  }
  return keys;
}

// The {1}, {2}... a text fills in: a set that lacks one drops a value (a
// file's name, a size). {product} and {version} a language may use freely.
std::multiset<std::string> Slots(const std::string &text) {
  static const std::regex slot(R"(\{[1-9]\})");
  std::multiset<std::string> slots;
  for (std::sregex_iterator it(text.begin(), text.end(), slot), end; it != end;
       ++it)
    slots.insert(it->str());
  return slots;
}

TEST(TextSets, EveryKeyHasItsEnglishTextWithTheSameSlots) {
  for (const Keyed &k : EveryKey()) {
    const auto english = package::SetText(package::Language::English, k.key);
    ASSERT_TRUE(english) << "no English text for \"" << k.key << "\"";
    EXPECT_EQ(Slots(*english), Slots(k.shipped)) << k.key;
    if (const auto russian =
            package::SetText(package::Language::Russian, k.key)) {
      EXPECT_EQ(Slots(*russian), Slots(k.shipped)) << k.key;
    }
  }
}

TEST(TextSets, NoSetNamesTheArchiveFormat) {
  for (const Keyed &k : EveryKey())
    for (const auto language :
         {package::Language::Russian, package::Language::English}) {
      const std::string text =
          package::SetText(language, k.key).value_or(k.shipped);
      EXPECT_EQ(text.find("Kestrova"), std::string::npos) << k.key;
      EXPECT_EQ(text.find("PACK"), std::string::npos) << k.key;
    }
}

TEST(TextSets, AManifestsMessagesTakeEffectUntilReset) {
  std::string payload;
  package::AppendPair(payload, "file-missing", "The file {1} is gone.");
  package::AppendPair(payload, "no-such-message", "x");
  package::ApplyMessages(payload);
  EXPECT_EQ(platform::Message(platform::Msg::FileMissing, {"app.exe"}),
            "The file app.exe is gone.");
  EXPECT_EQ(platform::MsgText(platform::Msg::FileDamaged),
            platform::MsgDefault(platform::Msg::FileDamaged));
  platform::ResetMsgTexts();
  EXPECT_EQ(platform::MsgText(platform::Msg::FileMissing),
            platform::MsgDefault(platform::Msg::FileMissing));
}

TEST(TextSets, FillInTakesSlotsInAnyOrder) {
  EXPECT_EQ(platform::FillIn("{2}-{1} {3}{", {"a", "b"}), "b-a {3}{");
}

} // namespace
