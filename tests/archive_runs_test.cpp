// Runs of bytes moved between two turns of the user interface: whatever the
// interface sees at its turns (progress, files, the effect of a cancel) is
// what it sees when every byte gives it a turn.
#include <gtest/gtest.h>

#include "archive/cls_arch.h"
#include "platform/files.h"
#include "tests/support/archive_builder.h"
#include "tests/support/recording_ui.h"
#include "tests/support/temp_folder.h"

namespace {

using archive::cls_arch;
using archtest::Snapshot;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace files = platform::files;

// Takes a turn every `every` yields and records what a poller sees then.
class SparseUi : public archtest::RecordingUi {
public:
  explicit SparseUi(int32_t every) : every_(every) {}
  int32_t OnYield() override {
    RecordingUi::OnYield();
    return every_;
  }

private:
  int32_t every_;
};

// Sizes that cross the file table's 256 KiB windows.
std::vector<archtest::Entry> Files() {
  std::vector<archtest::Entry> entries = {{"a0", ""},
                                          {"b1", "x"},
                                          {"c", std::string(70000, 'c')},
                                          {"d", std::string(270000, 'd')},
                                          {"e", "tail!"}};
  for (size_t i = 0; i < entries[3].bytes.size(); i += 997)
    entries[3].bytes[i] = static_cast<char>(i);
  return entries;
}

struct Outcome {
  platform::Boolean result = 0;
  std::vector<Snapshot> seen;
  std::vector<std::string> tree;
  std::string archive; // the packed archive's bytes
  std::vector<std::string> messages;
  std::string error;
  Snapshot after;
  platform::Boolean abortAfter = 0;
};

// An archive object watched by a SparseUi, in a fresh folder of its own;
// the file table starts empty.
struct Bench {
  explicit Bench(int32_t every) : ui(every) {
    files::CloseAllQuietly();
    ui.arch = &arch;
  }
  SparseUi ui;
  testsupport::TempFolder dir;
  cls_arch arch;
};

// Extracts the archive of Files() with a turn every `every` yields, setting
// Abort in turn abortTurn (0: never).
Outcome Extract(int32_t every, int64_t abortTurn) {
  Bench b(every);
  WriteFile(b.dir / "a.pack", archtest::BuildArchive(Files()));
  testsupport::MakeFolder(b.dir / "out");
  b.arch.FileName(b.dir / "a.pack");
  EXPECT_EQ(b.arch.Load(), platform::kTrue);
  if (abortTurn)
    b.ui.AtYield(abortTurn, [&] { b.arch.Abort(platform::kTrue); });
  Outcome o;
  o.result = b.arch.Extract(b.dir / "out");
  o.seen = b.ui.seen;
  for (const std::string &name : archtest::Tree(b.dir / "out"))
    o.tree.push_back(name + "=" + ReadFile(b.dir / "out/" + name));
  for (const auto &m : b.ui.messages)
    o.messages.push_back(m.text);
  o.after = archtest::SnapshotOf(b.arch);
  o.abortAfter = b.arch.Abort();
  return o;
}

Outcome Pack(int32_t every, int64_t abortTurn) {
  Bench b(every);
  testsupport::MakeFolder(b.dir / "src");
  for (const auto &e : Files())
    WriteFile(b.dir / ("src/" + e.name), e.bytes);
  b.arch.FileName(b.dir / "a.pack");
  if (abortTurn)
    b.ui.AtYield(abortTurn, [&] { b.arch.Abort(platform::kTrue); });
  Outcome o;
  try {
    o.result = b.arch.Pack(b.dir / "src");
  } catch (const platform::Error &e) {
    o.error = e.Description();
  }
  o.seen = b.ui.seen;
  o.archive = ReadFile(b.dir / "a.pack");
  o.after = archtest::SnapshotOf(b.arch);
  o.abortAfter = b.arch.Abort();
  EXPECT_EQ(files::FreeFile(), 1);
  return o;
}

// The turns of a backend that returns `every` fall on yields 1, 1 + every,
// 1 + 2 * every ...
void ExpectSameAtTurns(const Outcome &single, const Outcome &runs,
                       int32_t every) {
  ASSERT_EQ(runs.seen.size(), (single.seen.size() + every - 1) / every);
  for (size_t j = 0; j < runs.seen.size(); ++j)
    ASSERT_EQ(runs.seen[j], single.seen[j * every]) << "turn " << j + 1;
  EXPECT_EQ(runs.result, single.result);
  EXPECT_EQ(runs.tree, single.tree);
  EXPECT_EQ(runs.archive, single.archive);
  EXPECT_EQ(runs.messages, single.messages);
  EXPECT_EQ(runs.error, single.error);
  EXPECT_EQ(runs.after, single.after);
  EXPECT_EQ(runs.abortAfter, single.abortAfter);
}

class RunsTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(RunsTest, ExtractShowsWhatSingleBytesShow) {
  const int32_t every = GetParam();
  const Outcome single = Extract(1, 0);
  ASSERT_EQ(single.result, platform::kTrue);
  ExpectSameAtTurns(single, Extract(every, 0), every);
}

TEST_P(RunsTest, ExtractCancelTakesEffectAtTheSameEntry) {
  const int32_t every = GetParam();
  // A turn in the middle of d's bytes.
  const int64_t turn = 200000 / every;
  const Outcome single = Extract(1, 1 + (turn - 1) * every);
  ASSERT_EQ(single.result, platform::kFalse);
  ExpectSameAtTurns(single, Extract(every, turn), every);
}

TEST_P(RunsTest, PackShowsWhatSingleBytesShow) {
  const int32_t every = GetParam();
  const Outcome single = Pack(1, 0);
  ASSERT_EQ(single.result, platform::kTrue);
  ASSERT_EQ(single.archive, archtest::BuildArchive(Files()));
  ExpectSameAtTurns(single, Pack(every, 0), every);
}

TEST_P(RunsTest, PackCancelStopsAfterTheSameByte) {
  const int32_t every = GetParam();
  const int64_t turn = 150000 / every;
  const Outcome single = Pack(1, 1 + (turn - 1) * every);
  ASSERT_FALSE(single.error.empty());
  ExpectSameAtTurns(single, Pack(every, turn), every);
}

TEST(Runs, PackCancelSetBeforehandStopsAfterTheFirstByte) {
  Bench b(5000);
  testsupport::MakeFolder(b.dir / "src");
  WriteFile(b.dir / "src/big", std::string(100000, 'b'));
  b.arch.FileName(b.dir / "a.pack");
  b.arch.Abort(platform::kTrue);
  EXPECT_THROW(b.arch.Pack(b.dir / "src"), platform::Error);
  EXPECT_EQ(ReadFile(b.dir / "a.pack"),
            archtest::BuildArchive({{"big", std::string(100000, 'b')}})
                .substr(0, 22));
}

INSTANTIATE_TEST_SUITE_P(Every, RunsTest, ::testing::Values(2, 37, 4096));

} // namespace
