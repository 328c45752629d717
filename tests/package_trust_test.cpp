// Packages that can be trusted: a signing tool's certificate table is not
// part of the package, the checksum entry keeps a damaged download from
// installing, and a cut or altered package says that it is damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <random>

#include "archive/cls_arch.h"
#include "package/byte_source.h"
#include "package/checksums.h"
#include "package/crc32.h"
#include "package/pe_image.h"
#include "package/texts.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/posix/syscalls.h"
#include "run/mdl_main.h"
#include "tests/support/caught.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"
#include "tools/image_texts.h"

namespace {

using namespace std::string_literals;
using pkgbuild::MinimalPe;
using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::Sign;
using pkgbuild::T;
using testsupport::Caught;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace sums = package::sums;
namespace pe = package::pe;

std::optional<pe::CertificateTable> TableOf(const std::string &file) {
  return pe::FindCertificateTable(package::MemorySource(file));
}

// ---- The certificate table
// ---------------------------------------------------

TEST(CertificateTable, OnlyATableThatEndsTheFileCounts) {
  const std::string table(1496, 'S');
  const std::string body = MinimalPe() + "PACK1 and the rest";
  const std::string signed64 = Sign(body, table);
  const std::string signed32 = Sign(MinimalPe(false) + "x", table);
  std::string elsewhere = signed64 + "appended after signing";
  std::string fewDirectories = signed64;
  fewDirectories[0x80 + 24 + pe::kNumberOfRvaAndSizesPe32Plus] = 4;
  std::string shortOptional = signed64;
  shortOptional[0x80 + 4 + pe::kSizeOfOptionalHeaderOffset] = 100;
  std::string farHeader = signed64;
  farHeader[pe::kDosLfanewOffset + 3] = 0x7F;
  const struct {
    const char *label;
    std::string file;
    int64_t offset; // -1: no table
  } cases[] = {
      {"PE32+", signed64, static_cast<int64_t>(signed64.size() - table.size())},
      {"PE32", signed32, static_cast<int64_t>(signed32.size() - table.size())},
      {"unsigned", body, -1},
      {"table that does not end the file", elsewhere, -1},
      {"four data directories", fewDirectories, -1},
      {"optional header too short", shortOptional, -1},
      {"PE header past the end", farHeader, -1},
      {"MZ alone", "MZ", -1},
      {"empty", "", -1},
      {"not an image", std::string(600, 'q'), -1},
  };
  for (const auto &c : cases) {
    const auto found = TableOf(c.file);
    EXPECT_EQ(found ? found->offset : -1, c.offset) << c.label;
  }
}

// ---- Checksums --------------------------------------------------------------

uint32_t Crc(std::string_view text) {
  return package::Crc32(0, reinterpret_cast<const uint8_t *>(text.data()),
                        text.size());
}

TEST(Checksums, Crc32MatchesTheStandardAndContinues) {
  EXPECT_EQ(Crc(""), 0u);
  EXPECT_EQ(Crc("a"), 0xE8B7BE43u);
  EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
  std::string data(100003, '\0');
  std::mt19937 random(7);
  for (char &c : data)
    c = static_cast<char>(random());
  uint32_t crc = 0;
  for (size_t at = 0, step = 1; at < data.size();
       at += step, step = step * 3 % 1001 + 1) {
    const size_t n = std::min(step, data.size() - at);
    crc = package::Crc32(
        crc, reinterpret_cast<const uint8_t *>(data.data() + at), n);
  }
  EXPECT_EQ(crc, Crc(data));
}

TEST(Checksums, ListsReadBackAsWritten) {
  const std::vector<sums::Sum> list = {
      {"app.exe", 70000, 0xDEADBEEF}, {"пусто", 0, 0}, {"a b.txt", 3, 1}};
  const std::string text = sums::FormatSums(list);
  EXPECT_EQ(text.rfind("updpack sums 1\r\ndeadbeef 70000 app.exe\r\n", 0), 0u);
  const std::vector<sums::Sum> back = sums::ParseSums(text);
  ASSERT_EQ(back.size(), list.size());
  for (size_t k = 0; k < list.size(); ++k) {
    EXPECT_EQ(back[k].name, list[k].name);
    EXPECT_EQ(back[k].length, list[k].length);
    EXPECT_EQ(back[k].crc, list[k].crc);
  }
}

TEST(Checksums, DamagedListsAreRefused) {
  const std::string header = "updpack sums 1\r\n";
  for (const std::string &text :
       {""s, "updpack sums 2\r\n"s, header + "\r\n", header + "deadbeef 5\r\n",
        header + "deadbee 5 a\r\n", header + "deadbeeg 5 a\r\n",
        header + "deadbeef -5 a\r\n", header + "deadbeef 5x a\r\n",
        header + "deadbeef 5 ..\\x\r\n", header + "deadbeef 5 ..\r\n",
        header + "deadbeef 5 CON.txt\r\n", header + "deadbeef 5 a:b\r\n",
        header + "deadbeef 5 a\"b\r\n", header + "deadbeef 5 a|b\r\n",
        header + "deadbeef 5 ~UPDPACK.SUM\r\n", header + "deadbeef 5 a\tb\r\n",
        "updpack sums 1\r"s, header + "deadbeef 5 a\r"}) {
    const platform::Error e = Caught([&] { sums::ParseSums(text); });
    EXPECT_EQ(e.Number(), package::kErrPackageDamaged) << text;
    EXPECT_EQ(e.Description().rfind("Файл «~updpack.sum»", 0), 0u);
  }
}

// ---- Packages through the run
// ------------------------------------------------

class TrustTest : public ::testing::Test {
protected:
  // A package of app.exe and data.bin with its checksum entry, whose script
  // copies app.exe into the program folder and deletes old.txt there; as
  // build lays it out, with the manifest of texts.
  std::string BuildPackage(const tools::ImageTexts &texts = {}) {
    const std::string src = world.box / "src";
    testsupport::MakeFolder(src);
    WriteFile(src + "/app.exe", std::string(5000, 'A') + "end of app");
    WriteFile(src + "/data.bin", std::string(3000, 'D'));
    WriteFile(src + "/script",
              ScriptRecord(0, T + "\\app.exe", P + "\\app.exe") +
                  ScriptRecord(1, "", P + "\\old.txt"));
    WriteFile(src + "/" + sums::kEntryName, pkgbuild::SumsOf(src));
    const std::string archive = pkgbuild::PackFolder(src, world.box / "a.pack");
    std::string package = pkgbuild::BuiltPackage(
        MinimalPe(), tools::ManifestPayload(texts), archive);
    dataStart = package.find("\x01"
                             "AAAA") +
                1;
    return package;
  }

  int Run(const std::string &package) {
    WriteFile(world.prog + "/old.txt", "old");
    WriteFile(world.prog + "/app.exe", "old app");
    world.InstallPackage(package);
    backend.QueueAnswer(platform::MsgAnswer::Yes);
    return testsupport::RunProgram(mdl_main::Main);
  }

  bool Installed() {
    return ReadFile(world.prog + "/app.exe") ==
               std::string(5000, 'A') + "end of app" &&
           !testsupport::Exists(world.prog + "/old.txt");
  }

  pkgbuild::RunWorld world;
  testsupport::ScriptedUi backend;
  size_t dataStart = 0; // 0-based offset of app.exe's first byte
};

TEST_F(TrustTest, PackagesWithAndWithoutChecksumsOrSignatureInstall) {
  const std::string package = BuildPackage();
  // The same archive joined to the image alone (the base format), with
  // filler before the trailer to a multiple of 8 bytes as build writes it,
  // and so signed: the trailer is found where the package ends, before the
  // signature, not in the signature's last bytes.
  const std::string archive = ReadFile(world.box / "a.pack");
  const size_t unfilled = MinimalPe().size() + archive.size() + 4;
  const std::string base = pkgbuild::JoinPackage(
      MinimalPe(), archive, std::string((8 - unfilled % 8) % 8, '\0'));
  for (const std::string &file :
       {package, Sign(package, std::string(1496, 'S')),
        Sign(package, "small table"), base,
        Sign(base, std::string(1496, 'S'))}) {
    SCOPED_TRACE(file.size());
    backend.messages.clear();
    EXPECT_EQ(Run(file), platform::exitcode::kSuccess);
    EXPECT_TRUE(Installed());
  }
}

// Removals as Windows refuses them: a file that is open, a folder with an
// open file inside.
int RefuseRemovingOpenFiles(platform::posix::Call call,
                            const std::string &path) {
  const bool file = call == platform::posix::Call::Delete;
  if (!file && call != platform::posix::Call::RemoveFolder)
    return 0;
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  std::error_code error;
  const std::string target =
      std::filesystem::weakly_canonical(native, error).string();
  for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    const std::string open = std::filesystem::read_symlink(fd, error);
    if (!error && (file ? open == target : open.rfind(target + "/", 0) == 0))
      return EBUSY;
  }
  return 0;
}

// While the checksum check runs, the progress line shows the file it
// reads; an abort there closes every file the check opened before the
// clean-up, which Windows refuses for an open file (emulated here).
TEST_F(TrustTest, AbortDuringTheChecksumCheckLeavesNothingBehind) {
  const std::string package = BuildPackage();
  platform::posix::SetFaultHook(RefuseRemovingOpenFiles);
  for (const bool abort : {false, true}) {
    SCOPED_TRACE(abort ? "abort" : "watch");
    backend.messages.clear();
    backend.TickEveryYield(true);
    bool extracted = false;
    std::vector<std::string> shown; // the progress line at each check yield
    backend.onEveryYield = [&] {
      if (!mdl_main::HasArch())
        return;
      if (mdl_main::Arch().ActionMode() != archive::mode::kIdle) {
        extracted = true;
        return;
      }
      if (!extracted)
        return;
      shown.push_back(backend.label[1]);
      if (abort && shown.size() == 2) {
        backend.QueueAnswer(platform::MsgAnswer::Yes);
        backend.RequestClose();
      }
    };
    const int code = Run(package);
    backend.onEveryYield = nullptr;
    if (!abort) {
      EXPECT_EQ(code, platform::exitcode::kSuccess);
      // Then the check of the installed product names each target.
      EXPECT_EQ(shown,
                (std::vector<std::string>{"app.exe", "data.bin", "script",
                                          "app.exe", "old.txt"}));
      continue;
    }
    EXPECT_EQ(code, platform::exitcode::kAborted);
    EXPECT_FALSE(testsupport::Exists(world.tempFolder));
    EXPECT_FALSE(testsupport::Exists(world.packFile));
    EXPECT_EQ(platform::files::FreeFile(), 1); // no number left open
    EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
  }
  platform::posix::SetFaultHook({});
}

struct Damage {
  const char *label;
  std::function<void(std::string &package, size_t dataStart)> apply;
  bool early = false; // the length differs: told before the question
};

class DamagedPackageTest : public TrustTest,
                           public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedPackageTest, NeverInstallsAndSaysItIsDamaged) {
  std::string package = BuildPackage();
  GetParam().apply(package, dataStart);
  EXPECT_EQ(Run(package), platform::exitcode::kFailed);
  ASSERT_FALSE(backend.messages.empty());
  // A package of another length than it declares asks nothing.
  EXPECT_EQ(backend.messages.size() == 1, GetParam().early);
  EXPECT_EQ(testsupport::Exists(world.tempFolder), !GetParam().early);
  const std::string &shown = backend.messages.back().text;
  EXPECT_NE(shown.find("\r\n"s + package::kDamagedPackageText),
            std::string::npos)
      << shown;
  EXPECT_EQ(ReadFile(world.prog + "/app.exe"), "old app");
  EXPECT_EQ(ReadFile(world.prog + "/old.txt"), "old");
}

INSTANTIATE_TEST_SUITE_P(
    Packages, DamagedPackageTest,
    ::testing::Values(
        Damage{"byte_flipped_in_an_entry",
               [](std::string &p, size_t at) { p[at + 4000] ^= 0x20; }},
        Damage{"last_byte_of_an_entry",
               [](std::string &p, size_t at) { p[at + 5009] ^= 1; }},
        Damage{"name_changed_in_the_catalog",
               [](std::string &p, size_t) { p[p.find("app.exe?")] = 'b'; }},
        Damage{"checksum_changed_in_the_list",
               [](std::string &p, size_t) {
                 char &c = p[p.find("updpack sums 1\r\n") + 16];
                 c = c == '0' ? '1' : '0';
               }},
        Damage{
            "checksum_entry_renamed_in_the_catalog",
            [](std::string &p, size_t) { p[p.find("~updpack.sum?")] = 'x'; }},
        Damage{"list_header_changed",
               [](std::string &p, size_t) {
                 p[p.find("updpack sums 1") + 13] = '9';
               }},
        Damage{"trailer_high_byte",
               [](std::string &p, size_t) { p[p.size() - 1] ^= 0x80; }},
        Damage{"trailer_low_byte",
               [](std::string &p, size_t) { p[p.size() - 4] ^= 0x10; }},
        Damage{"cut_to_a_third",
               [](std::string &p, size_t) { p.resize(p.size() / 3); }, true},
        Damage{"cut_in_half",
               [](std::string &p, size_t) { p.resize(p.size() / 2); }, true},
        Damage{"last_byte_missing",
               [](std::string &p, size_t) { p.pop_back(); }, true},
        Damage{"trailer_missing",
               [](std::string &p, size_t) { p.resize(p.size() - 4); }, true},
        Damage{"signed_then_cut",
               [](std::string &p, size_t) {
                 p = Sign(p, std::string(1496, 'S'));
                 p.resize(p.size() - 100);
               },
               true},
        Damage{"table_appended_without_the_directory",
               [](std::string &p, size_t) { p += std::string(1496, 'S'); },
               true}),
    [](const auto &info) { return std::string(info.param.label); });

// A cut download, or one with bytes added, is told before the question in
// the package's own texts, with the sizes; a damaged manifest in build's
// defaults. Nothing is made or changed.
TEST_F(TrustTest, ADamagedOrCutPackageIsToldBeforeAnyQuestion) {
  tools::ImageTexts texts;
  texts.product = "Orbit";
  texts.replaced["caption"] = "Orbit Setup";
  texts.replaced["critical"] = "Orbit failed:";
  texts.replaced["damaged"] = "Download Orbit again.";
  const std::string whole = BuildPackage(texts);
  const size_t manifest = MinimalPe().size();
  const auto size = [](size_t bytes) { return std::to_string(bytes); };
  const auto cut = [&](size_t length) {
    return "Orbit failed:\r\nРазмер пакета обновления " + size(length) +
           " байт вместо " + size(whole.size()) +
           " байт.\r\nDownload Orbit again.";
  };
  const std::string damaged = "Произошла критическая ошибка:\r\nМанифест "
                              "пакета обновления поврежден: ";
  std::string flipped = whole;
  flipped[manifest + 100] ^= 0x04;
  const struct {
    const char *label;
    std::string file;
    const char *caption;
    std::string text;
  } cases[] = {
      {"last byte missing", whole.substr(0, whole.size() - 1), "Orbit Setup",
       cut(whole.size() - 1)},
      {"cut in the archive", whole.substr(0, dataStart + 2000), "Orbit Setup",
       cut(dataStart + 2000)},
      {"bytes added", whole + "more", "Orbit Setup", cut(whole.size() + 4)},
      {"manifest flipped", flipped, "Dravell",
       damaged + "контрольная сумма не совпадает.\r\n" +
           package::kDamagedPackageText},
      {"cut in the manifest", whole.substr(0, manifest + 40), "Dravell",
       damaged + "он выходит за конец файла (" + size(manifest + 40) +
           " байт).\r\n" + package::kDamagedPackageText},
  };
  for (const auto &c : cases) {
    backend.messages.clear();
    EXPECT_EQ(Run(c.file), platform::exitcode::kFailed) << c.label;
    ASSERT_EQ(backend.messages.size(), 1u) << c.label;
    EXPECT_EQ(backend.messages[0].title, c.caption) << c.label;
    EXPECT_EQ(backend.messages[0].text, c.text) << c.label;
    EXPECT_EQ(backend.messages[0].icon, platform::MsgIcon::Error);
    EXPECT_FALSE(testsupport::Exists(world.tempFolder)) << c.label;
    EXPECT_FALSE(testsupport::Exists(world.packFile)) << c.label;
    EXPECT_EQ(ReadFile(world.prog + "/app.exe"), "old app") << c.label;
  }
}

// The read's own message or the extraction's, then the damaged sentence of
// a package with a manifest; a package without one (the base format) shows
// the messages word for word.
TEST_F(TrustTest, TrailerOutsideThePackageKeepsItsMessageWordForWord) {
  const std::string archive = "PACK1\x00\x01\x01"s;
  for (const bool manifest : {false, true}) {
    const std::string sentence =
        manifest ? "\r\n"s + package::kDamagedPackageText : "";
    // As build lays it out, then the trailer changed.
    const auto withTrailer = [&](int32_t start) {
      std::string file =
          manifest ? pkgbuild::BuiltPackage(MinimalPe(),
                                            tools::ManifestPayload({}), archive)
                   : pkgbuild::JoinPackage(MinimalPe(), archive);
      return file.replace(file.size() - 4, 4, pkgbuild::Trailer(start));
    };
    // Before the first byte.
    backend.messages.clear();
    EXPECT_EQ(Run(withTrailer(-1248799531)), platform::exitcode::kFailed);
    const std::string &critical = backend.messages.back().text;
    EXPECT_EQ(critical.rfind("Произошла критическая ошибка:\r\nНеверный "
                             "номер записи",
                             0),
              0u)
        << critical;
    EXPECT_EQ(critical.substr(critical.find("позиция -1248799531")),
              "позиция -1248799531" + sentence);
    // Past the end: an empty pack file is no archive.
    backend.messages.clear();
    EXPECT_EQ(Run(withTrailer(1 << 30)), platform::exitcode::kFailed);
    // A package with a manifest names no archive format.
    EXPECT_EQ(backend.messages.back().text,
              (manifest ? "Пакет обновления не содержит архива своих файлов."s
                        : "Файл не является архивом Kestrova PACK."s) +
                  sentence);
  }
}

} // namespace
