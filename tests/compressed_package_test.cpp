// Compressed packages: the run's carve-out gives back exactly the archive
// that the tool's compressor took, with one yield per package byte, and
// damage to the stream never installs anything nor writes past the raw
// length.
#include <gtest/gtest.h>

#include <random>

#include "codec/lzma_encoder.h"
#include "package/manifest.h"
#include "package/stream_layout.h"
#include "package/trailer.h"
#include "platform/files.h"
#include "platform/fs.h"
#include "run/carve_compressed.h"
#include "run/mdl_main.h"
#include "run/own_manifest.h"
#include "run/setup_host.h"
#include "tests/support/package_builder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"
#include "tools/archive_compressor.h"
#include "tools/archive_decoding.h"
#include "tools/cli.h"
#include "tools/file_io.h"
#include "tools/image_texts.h"
#include "tools/package_file.h"
#include "ui/Setup.h"

namespace {

using namespace std::string_literals;
using codec::ByteRange;
using testsupport::ReadFile;
using testsupport::WriteFile;

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char &c : bytes)
    c = static_cast<char>(rng());
  return bytes;
}

// Calls with relative targets, text, then random bytes.
std::string SampleRaw() {
  std::string raw;
  for (uint32_t k = 0; k < 3000; ++k) {
    const uint32_t target = k * 37 % 5000;
    raw += '\xE8';
    raw.append(reinterpret_cast<const char *>(&target), 4);
    raw += "\x48\x89\xC3";
  }
  for (int k = 0; k < 2000; ++k)
    raw += "text line " + std::to_string(k) + "\n";
  return raw + RandomBytes(70000, 7) + "tail";
}

// A compressed package of raw as build lays it out, the stream cut to
// streamCut bytes when that is not -1.
std::string Package(const std::string &raw, package::StreamLayout layout,
                    const std::string &scratch, int64_t streamCut = -1,
                    int level = 6) {
  {
    tools::OsFile stream(scratch, platform::OpenMode::CreateNew);
    tools::CompressArchive(
        {{nullptr, 0, raw, static_cast<int64_t>(raw.size())}}, level, layout,
        stream, scratch + ".part", {});
  }
  std::string region = ReadFile(scratch);
  platform::fs::Kill(scratch);
  if (streamCut >= 0)
    region.resize(static_cast<size_t>(layout.streamLength = streamCut));
  for (const ByteRange &range : layout.stored)
    region += raw.substr(range.offset, range.length);
  std::string payload = tools::ManifestPayload(tools::ImageTexts{});
  package::AppendStreamLayout(payload, layout);
  return pkgbuild::BuiltPackage(pkgbuild::MinimalPe(), payload, region);
}

TEST(CompressedCarve, GivesBackTheRawArchiveWithAYieldPerPackageByte) {
  const std::string raw = SampleRaw();
  const ByteRange code{0, 24000};
  const ByteRange random{raw.size() - 70004, 70000};
  const struct {
    std::vector<ByteRange> x86, stored;
    int32_t yieldInterval;
  } cases[] = {
      {{}, {}, 1},
      {{code}, {}, 1},
      {{code}, {random}, 1},
      {{code}, {{24000, 100}, random, {raw.size() - 4, 4}}, 37},
      {{}, {{0, 100}, {raw.size() - 4, 4}}, 1},
      {{code}, {random}, 4096},
  };
  for (const auto &c : cases) {
    pkgbuild::RunWorld world;
    testsupport::ScriptedUi backend;
    backend.yieldInterval = c.yieldInterval;
    ui::Setup form;
    package::StreamLayout layout;
    layout.x86 = c.x86;
    layout.stored = c.stored;
    world.InstallPackage(Package(raw, layout, world.box / "stream"));
    const package::StreamLayout own = mdl_main::LoadOwnManifest().layout;
    mdl_main::LoadSetup(form);
    const mdl_main::Container exe = mdl_main::ReadTrailer();
    ASSERT_TRUE(own.compressed);
    mdl_main::CarveCompressed(exe, own, world.packFile, form);
    EXPECT_EQ(ReadFile(world.packFile), raw);
    const int64_t read = own.streamLength + own.StoredLength();
    if (c.yieldInterval == 1) {
      EXPECT_EQ(backend.yields, read);
    }
    EXPECT_EQ(backend.LabelTexts(1).back(),
              "Выполнено " +
                  std::to_string(mdl_main::CarveProgress(
                      static_cast<int32_t>(exe.ArchiveStart + read - 1),
                      exe.ArchiveStart, exe.L)) +
                  "%");
    EXPECT_EQ(platform::files::FreeFile(), 1); // both files closed
  }
}

// A stream large enough to be made in two parts at once: the run gives back
// the same archive, and damage to the second part is found.
TEST(CompressedCarve, AStreamInTwoPartsGivesBackTheArchive) {
  std::string raw;
  while (raw.size() < codec::kLeastSplit + 100000)
    raw += SampleRaw().substr(0, 50000) + RandomBytes(1000, raw.size());
  pkgbuild::RunWorld world;
  testsupport::ScriptedUi backend;
  backend.yieldInterval = 65536;
  const std::string good = Package(raw, {}, world.box / "stream", -1, 0);
  std::string bad = good;
  bad[bad.size() - 1000] = static_cast<char>(bad[bad.size() - 1000] ^ 0x01);
  for (const std::string *package :
       {&good, const_cast<const std::string *>(&bad)}) {
    world.InstallPackage(*package);
    const package::StreamLayout own = mdl_main::LoadOwnManifest().layout;
    ASSERT_GT(own.restart, 0);
    ui::Setup form;
    mdl_main::LoadSetup(form);
    const mdl_main::Container exe = mdl_main::ReadTrailer();
    if (package == &good) {
      mdl_main::CarveCompressed(exe, own, world.packFile, form);
      EXPECT_TRUE(ReadFile(world.packFile) == raw);
      EXPECT_EQ(platform::files::FreeFile(), 1);
      platform::fs::Kill(world.packFile);
    } else {
      EXPECT_THROW(mdl_main::CarveCompressed(exe, own, world.packFile, form),
                   platform::Error);
    }
  }
}

TEST(CompressedRun, DamagedStreamsInstallNothing) {
  // The archive of a whole update, its random file stored.
  pkgbuild::RunWorld world;
  testsupport::ScriptedUi backend;
  const std::string src = world.box / "src";
  testsupport::MakeFolder(src);
  const std::string random = RandomBytes(9000, 3);
  WriteFile(src + "/app.exe", SampleRaw().substr(0, 20000));
  WriteFile(src + "/data.bin", random);
  WriteFile(src + "/script",
            pkgbuild::ScriptRecord(0, pkgbuild::T + "\\app.exe",
                                   pkgbuild::P + "\\app.exe"));
  WriteFile(src + "/~updpack.sum", pkgbuild::SumsOf(src));
  const std::string raw = pkgbuild::PackFolder(src, world.box / "a.pack");
  package::StreamLayout layout;
  layout.stored = {{raw.find(random), random.size()}};
  const std::string good = Package(raw, layout, world.box / "stream");

  // Cut streams (the manifest declaring the cut length) and flipped bytes
  // from the archive's start on.
  std::vector<std::string> damaged;
  for (int64_t cut : {5, 6, 50, 400, 1000, 1500})
    damaged.push_back(Package(raw, layout, world.box / "stream", cut));
  const auto start = static_cast<size_t>(package::DecodeTrailer(
      reinterpret_cast<const uint8_t *>(good.data() + good.size() - 4)));
  for (size_t at = start - 1; at < good.size() - 4; at += 97) {
    std::string flipped = good;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
    damaged.push_back(flipped);
  }
  WriteFile(world.prog + "/app.exe", "old");
  for (const std::string &package : damaged) {
    world.InstallPackage(package);
    backend.QueueAnswer(platform::MsgAnswer::Yes);
    EXPECT_NE(testsupport::RunProgram(mdl_main::Main), 0);
    EXPECT_NE(
        backend.messages.back().text.find("Архив пакета обновления поврежден"),
        std::string::npos);
    EXPECT_EQ(ReadFile(world.prog + "/app.exe"), "old");
    if (testsupport::FileExists(world.packFile)) {
      EXPECT_LE(ReadFile(world.packFile).size(), raw.size());
    }
  }
  world.InstallPackage(good);
  backend.QueueAnswer(platform::MsgAnswer::Yes);
  EXPECT_EQ(testsupport::RunProgram(mdl_main::Main), 0);
  EXPECT_EQ(ReadFile(world.prog + "/app.exe"), SampleRaw().substr(0, 20000));
}

// A look at the catalog or the first entries decodes the stream's start
// only: damage after it shows when the rest is decoded, not before.
TEST(ArchiveDecoding, DecodesAsFarAsAsked) {
  testsupport::TempFolder box;
  const std::string raw =
      "PACK1\0\x01a\x02b\x02\x01"s + RandomBytes(400000, 5) + "tail";
  const std::string good = Package(raw, {}, box / "stream");
  std::string bad = good;
  bad[bad.size() - 60] = static_cast<char>(bad[bad.size() - 60] ^ 0x10);
  for (const std::string *package :
       {&good, const_cast<const std::string *>(&bad)}) {
    WriteFile(box / "p.exe", *package);
    const tools::ArchiveSpan span = tools::LocateArchive(box / "p.exe");
    tools::OsFile out(box / "out", platform::OpenMode::Output);
    tools::ArchiveDecoding decoding(box / "p.exe", span, out);
    decoding.ThroughCatalog();
    const std::string catalog = ReadFile(box / "out");
    EXPECT_EQ(catalog.substr(0, 12), raw.substr(0, 12));
    EXPECT_LT(catalog.size(), raw.size() / 2);
    decoding.Through(200000);
    const std::string half = ReadFile(box / "out");
    EXPECT_EQ(half.substr(0, 200000), raw.substr(0, 200000));
    EXPECT_LT(half.size(), raw.size());
    if (package == &good) {
      decoding.Finish();
      EXPECT_EQ(ReadFile(box / "out"), raw);
    } else {
      EXPECT_THROW(decoding.Finish(), tools::ToolError);
    }
  }
}

// Pairs of a manifest's payload, "key=value" each.
std::string Pairs(std::initializer_list<std::string_view> pairs) {
  std::string payload;
  for (const std::string_view pair : pairs) {
    const size_t equals = pair.find('=');
    package::AppendPair(payload, pair.substr(0, equals),
                        pair.substr(equals + 1));
  }
  return payload;
}

TEST(StreamLayout, ReadsWhatAWriterMakesOnly) {
  const std::string base =
      Pairs({"codec=lzma", "stream=100", "raw=500", "rawcrc=4294967295"});
  const struct {
    std::string payload;
    bool valid, compressed;
  } cases[] = {
      {"", true, false},
      {Pairs({"codec=stored"}), true, false},
      {Pairs({"codec=zip"}), false, false},
      {base, true, true},
      {base + Pairs({"stored=0:10,400:100", "x86=10:10,20:370"}), true, true},
      {Pairs({"codec=lzma", "stream=100", "raw=500"}), false, false},
      {Pairs({"codec=lzma", "stream=4", "raw=500", "rawcrc=0"}), false, false},
      {Pairs({"codec=lzma", "stream=100", "raw=500", "rawcrc=4294967296"}),
       false, false},
      {base + Pairs({"x86=20:5,0:10"}), false, false},
      {base + Pairs({"x86=490:20"}), false, false},
      {base + Pairs({"stored=450:51"}), false, false},
      {base + Pairs({"stored=100:10", "x86=0:101"}), false, false},
      {base + Pairs({"stored=1:2,x"}), false, false},
  };
  for (const auto &c : cases) {
    package::StreamLayout layout;
    EXPECT_EQ(package::ReadStreamLayout(c.payload, layout) &&
                  package::RangesDisjoint(layout),
              c.valid)
        << testing::PrintToString(c.payload);
    if (c.valid) {
      EXPECT_EQ(layout.compressed, c.compressed);
    }
  }
  // Where the second part starts: a value no writer makes is read as none
  // or as it stands, and the stream then does not decode.
  const struct {
    std::string payload;
    int64_t restart;
  } restarts[] = {
      {base, 0},
      {base + Pairs({"restart=300"}), 300},
      {base + Pairs({"restart="}), 0},
      {base + Pairs({"restart=-1"}), 0},
  };
  for (const auto &c : restarts) {
    package::StreamLayout layout;
    layout.restart = 77;
    EXPECT_TRUE(package::ReadStreamLayout(c.payload, layout));
    EXPECT_EQ(layout.restart, c.restart) << testing::PrintToString(c.payload);
  }
}

} // namespace
