// What the archive tests see of an archive object while it works: its
// progress values at each yield, and a fixture that watches one object.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "archive/cls_arch.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace archtest {

// The values a poller reads from an archive object.
struct Snapshot {
  int16_t mode;
  std::string file;
  int32_t seek;
  int32_t full;
  bool operator==(const Snapshot &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Snapshot &s);

Snapshot SnapshotOf(const archive::cls_arch &arch);

// A scripted UI that records what a poller sees of arch (when set) inside
// every yield that reaches it.
class RecordingUi : public testsupport::ScriptedUi {
public:
  int32_t OnYield() override;

  const archive::cls_arch *arch = nullptr;
  std::vector<Snapshot> seen;
};

// An archive object watched by a recording UI, and a fresh folder; the file
// table is emptied before and after each test.
class ArchFixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  RecordingUi ui_;
  testsupport::TempFolder dir_;
  archive::cls_arch arch_;
};

} // namespace archtest
