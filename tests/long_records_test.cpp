// The long script entry: records of any length written and read back,
// every cut of an entry found, and both forms walked alike.
#include "package/long_records.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

namespace script = package::script;

struct Written {
  uint8_t operation;
  std::string source;
  std::string target;
};

TEST(LongRecords, RoundTripAndEveryCut) {
  const std::vector<Written> records = {
      {script::kCopyFile, std::string("\x00\\f1.txt", 8),
       "\x01\\" + std::string(300, 'a')},
      {script::kDeleteFiles, "", "\x01\\docs\\*.tmp"},
      {7, std::string(17, 's'), ""},
  };
  std::string bytes;
  for (const Written &w : records)
    ASSERT_TRUE(
        script::EncodeLongRecord({w.operation, w.source, w.target}, bytes));
  ASSERT_TRUE(script::IsLongScript(bytes));
  std::vector<Written> read;
  const script::ScriptWalk walk = script::ForEachRecord(
      bytes, script::Form::Long, [&](const script::Record &r) {
        read.push_back(
            {r.operation, std::string(r.source), std::string(r.target)});
      });
  EXPECT_FALSE(walk.cut);
  ASSERT_EQ(read.size(), records.size());
  for (size_t k = 0; k < records.size(); ++k) {
    EXPECT_EQ(read[k].operation, records[k].operation);
    EXPECT_EQ(read[k].source, records[k].source);
    EXPECT_EQ(read[k].target, records[k].target);
  }
  // Cut anywhere inside a record, the walk says so and visits only the
  // records before it.
  for (size_t length = script::kLongMagicSize; length < bytes.size();
       ++length) {
    size_t visited = 0;
    const script::ScriptWalk cut =
        script::ForEachRecord(bytes.substr(0, length), script::Form::Long,
                              [&](const script::Record &) { ++visited; });
    const bool atRecordEnd = cut.records == visited && !cut.cut;
    EXPECT_TRUE(cut.cut || atRecordEnd) << length;
    EXPECT_LT(visited, records.size()) << length;
  }
}

TEST(LongRecords, FieldsAboveTheLimitAreRefused) {
  std::string bytes;
  const std::string longest(script::kMaxLongField, 'x');
  EXPECT_TRUE(script::EncodeLongRecord({0, longest, longest}, bytes));
  const std::string before = bytes;
  EXPECT_FALSE(script::EncodeLongRecord({0, longest + "x", ""}, bytes));
  EXPECT_EQ(bytes, before);
  // A length above the limit in the bytes reads as a cut entry.
  bytes[script::kLongMagicSize + script::kLongSourceLengthOffset + 1] =
      static_cast<char>(0xFF);
  EXPECT_TRUE(script::ForEachRecord(bytes, script::Form::Long,
                                    [](const script::Record &) {})
                  .cut);
}

TEST(LongRecords, WhatFitsARecord) {
  const std::string s16(16, 's'), t48(48, 't');
  EXPECT_TRUE(script::FitsRecord({0, s16, t48}));
  EXPECT_FALSE(script::FitsRecord({0, s16 + "s", t48}));
  EXPECT_FALSE(script::FitsRecord({0, s16, t48 + "t"}));
  // 65-byte records are not taken for the long form.
  std::string record;
  ASSERT_TRUE(script::EncodeRecord({1, "", "updpack script 2"}, record));
  EXPECT_FALSE(script::IsLongScript(record));
  EXPECT_EQ(script::ForEachRecord(record + "xy", script::Form::Records,
                                  [](const script::Record &) {})
                .tail,
            2u);
}

// The form goes by the entry, never by the bytes: 65-byte records that
// begin as the long form does (operation 'u', the source "pdpack script 2")
// are read as the run reads "script", and a long script's entry without
// the magic is cut before its first record.
TEST(LongRecords, TheEntrysFormNotItsBytesTellsHowItReads) {
  std::string flat;
  ASSERT_TRUE(script::EncodeRecord({'u', "pdpack script 2", ""}, flat));
  ASSERT_TRUE(script::EncodeRecord({3, "", "C:\\Windows"}, flat));
  ASSERT_TRUE(script::IsLongScript(flat));
  std::string long_form;
  ASSERT_TRUE(script::EncodeLongRecord({3, "", "\x01\\old"}, long_form));
  struct Case {
    std::string bytes;
    script::Form form;
    size_t records;
    std::string lastTarget;
    bool cut;
  } const cases[] = {
      {flat, script::Form::Records, 2, "C:\\Windows", false},
      {long_form, script::Form::Long, 1, "\x01\\old", false},
      {long_form.substr(script::kLongMagicSize), script::Form::Long, 0, "",
       true},
  };
  for (const Case &c : cases) {
    std::string lastTarget;
    const script::ScriptWalk walk =
        script::ForEachRecord(c.bytes, c.form, [&](const script::Record &r) {
          lastTarget = script::TrimBlanks(r.target);
        });
    EXPECT_EQ(walk.records, c.records);
    EXPECT_EQ(lastTarget, c.lastTarget);
    EXPECT_EQ(walk.cut, c.cut);
  }
}

} // namespace
