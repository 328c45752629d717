// The entry of the payload's modification times: written and read back,
// and every damaged form refused.
#include "package/file_times.h"

#include <gtest/gtest.h>

#include "package/damage.h"
#include "support/caught.h"

namespace {

namespace times = package::times;
using testsupport::Caught;

std::string Formatted(const std::vector<times::EntryTime> &list) {
  std::string bytes;
  EXPECT_TRUE(times::FormatTimes(list, bytes));
  return bytes;
}

TEST(FileTimes, RoundTripInNameOrder) {
  // In name order as Windows compares names: Cyrillic after Latin.
  const std::vector<times::EntryTime> list = {
      {"app.exe", 1700000000, 123456789},
      {std::string(300, 'n'), int64_t{1} << 40, 0},
      {"Новое.txt", -86400, 999999999}, // before 1970
  };
  const std::vector<times::EntryTime> read =
      times::ParseTimes(Formatted({list[2], list[0], list[1]}));
  ASSERT_EQ(read.size(), list.size());
  for (size_t k = 0; k < list.size(); ++k) {
    EXPECT_EQ(read[k].name, list[k].name);
    EXPECT_EQ(read[k].time.seconds, list[k].time.seconds);
    EXPECT_EQ(read[k].time.nanoseconds, list[k].time.nanoseconds);
  }
  // Found as Windows finds a name, in any case.
  EXPECT_EQ(times::FindTime(read, "APP.EXE"), &read[0]);
  EXPECT_EQ(times::FindTime(read, "нОВОЕ.TXT"), &read[2]);
  EXPECT_EQ(times::FindTime(read, "b"), nullptr);
  std::string bytes;
  EXPECT_FALSE(times::FormatTimes({{"", 0, 0}}, bytes));
  EXPECT_FALSE(times::FormatTimes({{"Ωμέγα", 0, 0}}, bytes)); // not in 1251
  EXPECT_FALSE(
      times::FormatTimes({{"app.exe", 0, 0}, {"APP.EXE", 1, 0}}, bytes));
}

TEST(FileTimes, DamagedEntriesAreRefused) {
  const std::string one = Formatted({{"a", 1, 2}});
  std::string counted2 = one;
  counted2[times::kTimesMagicSize] = 2;
  std::string counted0 = one;
  counted0[times::kTimesMagicSize] = 0;
  std::string emptyName = Formatted({{"a", 1, 2}});
  emptyName[times::kTimesMagicSize + 4] = 0;
  const std::string bigCount =
      std::string(times::kTimesMagic, times::kTimesMagicSize) +
      "\xff\xff\xff\xff";
  // Records as the writer would not order them.
  const std::string ab = Formatted({{"a", 1, 2}, {"b", 3, 4}});
  const size_t record = (ab.size() - times::kTimesMagicSize - 4) / 2;
  const std::string head = ab.substr(0, times::kTimesMagicSize + 4);
  const std::string a = ab.substr(head.size(), record);
  const std::string b = ab.substr(head.size() + record);
  std::string bigA = b;
  bigA[2] = 'A';
  std::vector<std::string> damaged = {
      head + b + a,    // out of order
      head + a + bigA, // one name twice
      "",
      std::string(times::kTimesMagic, times::kTimesMagicSize), // no count
      "updpack times 2\n" + one.substr(times::kTimesMagicSize),
      counted2,  // a record missing
      counted0,  // bytes after the last record
      one + "x", // bytes after the last record
      emptyName, // a name of 0 bytes
      bigCount,  // a count far beyond the entry
      Formatted({{"a", 1, times::kNanosecondsPerSecond}}),
  };
  for (size_t cut = 0; cut < one.size(); ++cut)
    damaged.push_back(one.substr(0, cut));
  for (const std::string &bytes : damaged) {
    const platform::Error e = Caught([&] { times::ParseTimes(bytes); });
    EXPECT_EQ(e.Number(), package::kErrPackageDamaged) << bytes.size();
    EXPECT_NE(e.Description().find(times::kTimesName), std::string::npos);
  }
}

} // namespace
