// Finding the archive of a file (bare or in a package, through the
// trailer), reading a package's catalog in place, the PE check of stubs,
// and a package written from an archive that is replaced meanwhile.
#include "tools/package_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <unistd.h>

#include "platform/error.h"
#include "platform/posix/syscalls.h"
#include "tests/support/package_builder.h"
#include "tests/support/temp_folder.h"
#include "tools/cli.h"
#include "tools/package_writer.h"
#include "tools/stub.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;
using tools::FileKind;

const std::string
    kArchive("PACK1\x00\x01one.txt?1?6\x02two?6?9\x02\x01HELLOabc", 36);

// "MZ", e_lfanew at 0x3C, "PE\0\0" there.
std::string PeStub(uint32_t lfanew = 0x40, size_t size = 0x60) {
  std::string stub(size, '\0');
  stub[0] = 'M';
  stub[1] = 'Z';
  for (int i = 0; i < 4; ++i)
    stub[0x3C + i] = static_cast<char>(lfanew >> (8 * i));
  if (lfanew + 4 <= size)
    stub.replace(lfanew, 4, std::string("PE\0\0", 4));
  return stub;
}

TEST(PackageFile, TheArchiveIsFoundThroughTheTrailer) {
  const std::string stub = PeStub();
  const struct {
    const char *what;
    std::string bytes;
    FileKind kind;
    int64_t first;
    int64_t last;
  } cases[] = {
      {"bare archive", kArchive, FileKind::Archive, 1, 36},
      {"package", pkgbuild::JoinPackage(stub, kArchive), FileKind::Package,
       0x61, 0x60 + 36},
      {"package with filler",
       pkgbuild::JoinPackage(stub, kArchive, std::string(1, '\0')),
       FileKind::Package, 0x61, 0x60 + 37},
      {"archive at position 1 of a package",
       pkgbuild::JoinPackage("", kArchive), FileKind::Archive, 1, 40},
      {"trailer past the end", stub + kArchive + pkgbuild::Trailer(500),
       FileKind::Other, 1, 0x60 + 40},
      {"trailer 0", stub + kArchive + pkgbuild::Trailer(0), FileKind::Other, 1,
       0x60 + 40},
      {"trailer into the stub", stub + kArchive + pkgbuild::Trailer(2),
       FileKind::Other, 1, 0x60 + 40},
      {"trailer at the largest position",
       stub + kArchive + pkgbuild::Trailer(INT32_MAX), FileKind::Other, 1,
       0x60 + 40},
      {"trailer alone, at the largest position", pkgbuild::Trailer(INT32_MAX),
       FileKind::Other, 1, 4},
      {"signature cut by the trailer", stub + "PACK" + pkgbuild::Trailer(0x61),
       FileKind::Other, 1, 0x68},
      {"lower-case signature",
       pkgbuild::JoinPackage(stub, std::string("pack1\x00\x01\x01", 8)),
       FileKind::Other, 1, 0x60 + 12},
      {"three bytes", "abc", FileKind::Other, 1, 3},
      {"empty", "", FileKind::Other, 1, 0},
  };
  testsupport::TempFolder box;
  for (const auto &c : cases) {
    WriteFile(box / "file", c.bytes);
    const tools::ArchiveSpan span = tools::LocateArchive(box / "file");
    EXPECT_EQ(span.kind, c.kind) << c.what;
    EXPECT_EQ(span.first, c.first) << c.what;
    EXPECT_EQ(span.last, c.last) << c.what;
  }
}

TEST(PackageFile, APackageListsAsItsArchiveDoes) {
  testsupport::TempFolder box;
  // Filler after the archive is part of it but never read.
  WriteFile(box / "p.exe", pkgbuild::JoinPackage(PeStub(), kArchive, "zz"));
  tools::ArchiveReader reader(box / "p.exe");
  EXPECT_EQ(reader.DataStart(), 29);
  tools::ListedEntry entry;
  ASSERT_TRUE(reader.Next(entry));
  EXPECT_EQ(entry.name, "one.txt");
  EXPECT_EQ(reader.Read(entry), "HELLO");
  ASSERT_TRUE(reader.Next(entry));
  EXPECT_EQ(entry.name, "two");
  EXPECT_EQ(reader.Read(entry), "abc");
  EXPECT_FALSE(reader.Next(entry));
}

TEST(PackageFile, AnEntryPastThePackagesArchiveIsRefused) {
  // The range reaches into the trailer: outside the archive.
  const std::string archive("PACK1\x00\x01x?1?4\x02\x01"
                            "ab",
                            16);
  testsupport::TempFolder box;
  WriteFile(box / "p.exe", pkgbuild::JoinPackage(PeStub(), archive));
  tools::ArchiveReader reader(box / "p.exe");
  tools::ListedEntry entry;
  EXPECT_THROW(reader.Next(entry), platform::Error);
}

// A stub must be a PE image that ends where its headers say: build puts the
// manifest there.
TEST(PackageFile, StubsMustBePeImages) {
  const struct {
    const char *what;
    std::string bytes;
    bool valid;
  } cases[] = {
      {"minimal", pkgbuild::MinimalPe(), true},
      {"PE32", pkgbuild::MinimalPe(false, 4096), true},
      {"a byte after the image", pkgbuild::MinimalPe() + "x", false},
      {"cut short of its image", pkgbuild::MinimalPe().substr(0, 500), false},
      {"no optional header", PeStub(), false},
      {"PE header one byte past the end", PeStub(0x5D, 0x60), false},
      {"e_lfanew far outside", PeStub(0x7FFFFFFF), false},
      {"MZ only", "MZ", false},
      {"no MZ", "ZM" + PeStub().substr(2), false},
      {"no PE signature",
       [] {
         std::string s = PeStub();
         s[0x41] = 'X';
         return s;
       }(),
       false},
      {"empty", "", false},
  };
  testsupport::TempFolder box;
  for (const auto &c : cases) {
    WriteFile(box / "stub", c.bytes);
    if (c.valid)
      EXPECT_NO_THROW(tools::CheckPeImage(box / "stub")) << c.what;
    else
      EXPECT_THROW(tools::CheckPeImage(box / "stub"), tools::ToolError)
          << c.what;
  }
}

// build --archive opens the archive once and reads it all through that
// file: another archive put at its name and taken away again between any
// two of the readings leaves the package as it is without (checksums and
// bytes of one archive); one left at the name fails the build, naming it.
TEST(WritePackage, ReadsTheArchiveThroughTheOneFileItOpened) {
  testsupport::TempFolder box;
  for (const char *name : {"a", "b"}) {
    testsupport::MakeFolder(box / name);
    WriteFile(box / (std::string(name) + "/f.txt"), std::string(100, name[0]));
    pkgbuild::PackFolder(box / name, box / (std::string(name) + ".pack"));
  }
  WriteFile(box / "stub.exe", pkgbuild::MinimalPe());
  const std::string path = box / "in.pack";
  // A link at the name, turned to the other archive and back: the file
  // read is not touched, as no rename of it would leave it.
  const auto lead = [&](const char *name) {
    std::remove((path + ".new").c_str());
    ASSERT_EQ(::symlink(name, (path + ".new").c_str()), 0);
    ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  };
  int reads = 0;
  int swapAt = 0; // b is at the name from this reading to the next
  platform::posix::SetFaultHook(
      [&](platform::posix::Call call, const std::string &named) {
        if (call == platform::posix::Call::Read && named == path) {
          if (++reads == swapAt)
            lead("b.pack");
          else if (reads == swapAt + 1)
            lead("a.pack");
        }
        return 0;
      });
  tools::PackageOutput output;
  output.stubPath = box / "stub.exe";
  output.path = box / "out.exe";
  lead("a.pack");
  tools::WritePackage(path, output);
  const std::string alone = ReadFile(output.path);
  const int readings = reads;
  for (swapAt = 1; swapAt <= readings; ++swapAt) {
    SCOPED_TRACE(swapAt);
    reads = 0;
    lead("a.pack");
    std::remove(output.path.c_str());
    try {
      tools::WritePackage(path, output);
      EXPECT_TRUE(ReadFile(output.path) == alone) << "another package";
    } catch (const tools::ToolError &e) {
      EXPECT_EQ(swapAt, readings) << e.what();
      EXPECT_EQ(e.what(), path + " changed while it was read");
    }
  }
  platform::posix::SetFaultHook(nullptr);
  EXPECT_GT(readings, 1);
}

} // namespace
