// Fuzz target: any bytes as a package that a package author is handed, read
// by the tool's `verify` (text and JSON), `list` and `script show`. verify
// reports every fault and raises for nothing but a file it cannot read;
// list and script show end with a report or with the tool's and the file
// layer's own errors. Nothing is left behind: the box holds the package
// alone afterwards, the scratch folders of a compressed archive removed.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <streambuf>
#include <string>

#include "codec/lzma_encoder.h"
#include "fuzz/harness.h"
#include "fuzz/package_maker.h"
#include "package/crc32.h"
#include "package/stream_layout.h"
#include "platform/error.h"
#include "tools/cli.h"

namespace {

namespace stdfs = std::filesystem;
using fuzzing::Fail;

// The archive compressed as build compresses it (level 0), declared by the
// manifest with its true lengths and CRC-32: a stream that decodes, so that
// verify goes on to the archive in it.
std::string Compressed(const std::string &archive, std::string payload) {
  std::string stream;
  size_t at = 0;
  const codec::EncodeStatus status = codec::Encode(
      archive.size(), 0,
      [&](uint8_t *buffer, size_t size) {
        const size_t n = std::min(size, archive.size() - at);
        std::copy_n(archive.data() + at, n, buffer);
        at += n;
        return n;
      },
      [&](const uint8_t *bytes, size_t size) {
        stream.append(reinterpret_cast<const char *>(bytes), size);
      });
  if (status != codec::EncodeStatus::kOk)
    Fail("cannot compress the archive");
  package::StreamLayout layout;
  layout.streamLength = static_cast<int64_t>(stream.size());
  layout.rawLength = static_cast<int64_t>(archive.size());
  layout.rawCrc = package::Crc32(
      0, reinterpret_cast<const uint8_t *>(archive.data()), archive.size());
  package::AppendStreamLayout(payload, layout);
  return fuzzing::PackageAround(stream, payload);
}

// The first byte chooses, by its two low bits: 0 the rest is the whole
// file; 1 it is manifest pairs (fuzzing::TakePayload) and the archive of a
// package, for what verify makes of any pairs in an intact manifest; 2 the
// rest is the archive of a package; 3 the archive of a compressed package.
// Bits 2 to 5 choose the entries its manifest declares
// (fuzzing::DeclaredEntries), so that mutations reach what verify does with
// each of them.
std::string FileOf(const uint8_t *data, size_t size) {
  if (size == 0)
    return {};
  std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  std::string declared =
      fuzzing::DeclaredEntries(static_cast<uint8_t>(data[0] >> 2));
  switch (data[0] & 0x03) {
  case 1: {
    declared += fuzzing::TakePayload(rest);
    return fuzzing::PackageAround(rest, declared);
  }
  case 2:
    return fuzzing::PackageAround(rest, declared);
  case 3:
    return Compressed(rest, std::move(declared));
  default:
    return rest;
  }
}

// Output nobody reads.
class Discard : public std::streambuf {
protected:
  int overflow(int c) override { return c == EOF ? 0 : c; }
};

// Runs a command of the tool as its main does: the file layer's errors and
// the tool's are reports; any other exception is a fault.
void Command(int (*command)(const std::vector<std::string> &),
             const std::vector<std::string> &arguments) {
  try {
    command(arguments);
  } catch (const platform::Error &) {
  } catch (const tools::ToolError &) {
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzzing::Sandbox sandbox("verify_fuzz");
  static Discard discard;
  const std::string box = sandbox.Begin();
  const std::string path = box + "/update.exe";
  const std::string tmp = box + "/tmp";
  stdfs::create_directory(tmp);
  // Scratch folders of a compressed archive go to TMPDIR.
  setenv("TMPDIR", tmp.c_str(), 1);
  fuzzing::WriteFile(path, FileOf(data, size));

  std::streambuf *const out = std::cout.rdbuf(&discard);
  try {
    tools::VerifyCommand({path});
    tools::VerifyCommand({path, "--json"});
  } catch (const std::exception &e) {
    Fail(std::string("verify raised for a readable file: ") + e.what());
  }
  Command(tools::ListCommand, {path});
  Command(tools::ScriptCommand, {"show", path});
  std::cout.rdbuf(out);

  for (const auto &entry : stdfs::recursive_directory_iterator(box))
    if (entry.path() != path && entry.path() != tmp)
      Fail("left behind: " + entry.path().string());
  sandbox.End();
  return 0;
}
