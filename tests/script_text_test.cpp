// The text form of install scripts: compile errors with their places, the
// field limits, and show/compile round trips over any bytes.
#include <gtest/gtest.h>
#include <random>
#include <sstream>

#include "tests/support/package_builder.h"
#include "tools/script_compiler.h"

#include "package/long_records.h"
#include "tools/script_printer.h"

namespace {

using package::script::FormOfBytes;
using pkgbuild::P;
using pkgbuild::ScriptRecord;
using pkgbuild::T;
using tools::script_text::CompileScript;
using tools::script_text::Installs;
using tools::script_text::ScriptBytes;
using tools::script_text::ShowScript;

// Compiles text that must hold no error.
std::string Compiled(const std::string &text) {
  const auto compiled = CompileScript(text, Installs::Refused);
  for (const auto &e : compiled.errors)
    ADD_FAILURE() << text << "\n"
                  << e.pos.line << ":" << e.pos.column << ": " << e.message;
  return ScriptBytes(compiled);
}

TEST(ScriptText, OperationsBecomeTheirRecords) {
  const std::string cyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2"; // Привет, 1251
  const struct {
    const char *text;
    std::string bytes;
  } cases[] = {
      {"copy {temp}\\app.exe {app}\\app.exe",
       ScriptRecord(0, T + "\\app.exe", P + "\\app.exe")},
      {"delete  {app}\\*.tmp", ScriptRecord(1, "", P + "\\*.tmp")},
      {"mkdir {app}\\data\\logs", ScriptRecord(2, "", P + "\\data\\logs")},
      {"\trmdir\t{app}\\cache   # trailing comment",
       ScriptRecord(3, "", P + "\\cache")},
      {"op 7 {temp}\\x {app}\\y", ScriptRecord(7, T + "\\x", P + "\\y")},
      {"op 255 \"\" \"\"", ScriptRecord(255, "", "")},
      {"mkdir \"{app}\\a b\"", ScriptRecord(2, "", P + "\\a b")},
      {"mkdir {app}\\Привет", ScriptRecord(2, "", P + "\\" + cyrillic)},
      {"mkdir {app}{temp}x{app}", ScriptRecord(2, "", P + T + "x" + P)},
      {"mkdir {0x20}a{0x7b}{0x7D}", ScriptRecord(2, "", " a{}")},
      {"copy {0x00}{0x00} {0x41}{0x20}", ScriptRecord(0, T + T, "A ")},
      {"# only a comment\n\n   \nmkdir x\r\nmkdir y\r\n",
       ScriptRecord(2, "", "x") + ScriptRecord(2, "", "y")},
      {"mkdir a#b", ScriptRecord(2, "", "a#b")},
      {"mkdir \"#a\"", ScriptRecord(2, "", "#a")},
      {"mkdir x\n#@tail ab{0x00}{0x20}",
       ScriptRecord(2, "", "x") + std::string("ab\0 ", 4)},
      {"#@tailnot a tail line", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Compiled(c.text), c.bytes) << c.text;
}

TEST(ScriptText, ErrorsNameTheirLineAndColumn) {
  const struct {
    const char *text;
    int line;
    int column;
    const char *message;
  } cases[] = {
      {"frob {app}\\x", 1, 1, "unknown operation \"frob\""},
      {"\n  mkdir", 2, 8, "missing target path: mkdir takes one path"},
      {"copy {app}\\x", 1, 13, "missing target path: copy takes a source"},
      {"copy", 1, 5, "missing source path"},
      {"delete a b", 1, 10, "unexpected word \"b\""},
      {"op 256 a b", 1, 4, "op needs a code from 0 to 255, not \"256\""},
      {"op -1 a b", 1, 4, "op needs a code"},
      {"op", 1, 3, "op needs a code"},
      {"op 1 a", 1, 7, "missing target path"},
      {"mkdir \"{app}\\x", 1, 7, "missing closing quote"},
      {"mkdir \"a\"b", 1, 10, "a blank must follow the closing quote"},
      {"mkdir a\"b\"", 1, 8, "a quote inside a word"},
      {"mkdir {tmp}\\x", 1, 7, "'{' begins {temp}, {app} or {0xNN}"},
      {"mkdir ab{0xG0}", 1, 9, "{0x7B}"},
      {"mkdir \" x\"", 1, 8, "leading blank in the target path"},
      {"mkdir \"x \"", 1, 9, "trailing blank in the target path"},
      {"copy \"x \" y", 1, 8, "trailing blank in the source path"},
      {"mkdir Жx\xE2\x98\x83", 1, 9, "U+2603 is not in code page 1251"},
      {"mkdir a\xFF", 1, 8, "is not in code page 1251"},
      {"mkdir a\x01", 1, 8, "a raw byte 0x01 in a path"},
      {"install x {app}\\x", 1, 1, "only `updpack build --from"},
      {"\"mkdir\" x", 1, 1, "an operation is not quoted"},
      {"#@tail\n#@tail", 2, 1, "a second #@tail line"},
      {"#@tail a\nmkdir x", 2, 1, "no operation may follow the #@tail"},
      {"#@tail a b", 1, 1, "#@tail holds printable ASCII"},
  };
  for (const auto &c : cases) {
    const auto compiled = CompileScript(c.text, Installs::Refused);
    ASSERT_EQ(compiled.errors.size(), 1u) << c.text;
    EXPECT_EQ(compiled.errors[0].pos.line, c.line) << c.text;
    EXPECT_EQ(compiled.errors[0].pos.column, c.column) << c.text;
    EXPECT_NE(compiled.errors[0].message.find(c.message), std::string::npos)
        << c.text << ": " << compiled.errors[0].message;
  }
  const auto nul =
      CompileScript(std::string("mkdir a\0b", 9), Installs::Refused);
  ASSERT_EQ(nul.errors.size(), 1u);
  EXPECT_EQ(nul.errors[0].pos.column, 8);
  EXPECT_NE(nul.errors[0].message.find("a raw byte 0x00"), std::string::npos);
}

TEST(ScriptText, FieldsOfSixteenAndFortyEightBytesFitARecord) {
  // {temp} and {app} are one byte each, and so is a Cyrillic letter. A
  // field longer (longer: 6 or 8, the word's column) sends the script to
  // the long script entry; only a field above its limit is an error.
  std::string cyrillic16;
  for (int i = 0; i < 16; ++i)
    cyrillic16 += "Ж";
  const struct {
    std::string source;
    std::string target;
    int errorColumn;
  } cases[] = {
      {"{temp}\\" + std::string(14, 'a'), "{app}\\" + std::string(46, 'b'), 0},
      {"{temp}\\" + std::string(15, 'a'), "t", 6},
      {"s", "{app}\\" + std::string(47, 'b'), 8},
      {"s", std::string(48, 'b'), 0},
      {"s", std::string(49, 'b'), 8},
      {std::string("\"aaaaaaaa aaaaaaa\""), "t", 0},
      {std::string("\"aaaaaaaa aaaaaaaa\""), "t", 6},
      {"{0x20}" + std::string(15, 'a'), "t", 0},
      {"{0x20}" + std::string(16, 'a'), "t", 6},
      {cyrillic16, "t", 0},
      {"Ж" + cyrillic16, "t", 6},
  };
  for (const auto &c : cases) {
    const std::string text = "copy " + c.source + " " + c.target;
    const auto compiled = CompileScript(text, Installs::Refused);
    ASSERT_TRUE(compiled.errors.empty()) << text;
    const std::string bytes = ScriptBytes(compiled);
    EXPECT_EQ(package::script::IsLongScript(bytes), c.errorColumn != 0) << text;
    if (c.errorColumn == 0) {
      EXPECT_EQ(bytes.size(), 65u) << text;
    }
  }
  const auto tooLong = CompileScript("mkdir {app}\\" + std::string(32766, 'a'),
                                     Installs::Refused);
  ASSERT_EQ(tooLong.errors.size(), 1u);
  EXPECT_EQ(tooLong.errors[0].pos.column, 7);
  EXPECT_NE(tooLong.errors[0].message.find("a path holds at most 32767"),
            std::string::npos)
      << tooLong.errors[0].message;
}

TEST(ScriptText, CompilationStopsAfterTenErrorsAndTellsWhenMoreFollow) {
  for (const int lines : {10, 11, 30}) {
    std::string text;
    for (int i = 0; i < lines; ++i)
      text += "frob\n";
    const auto compiled = CompileScript(text, Installs::Refused);
    ASSERT_EQ(compiled.errors.size(), std::min<size_t>(lines, 11));
    std::ostringstream out;
    tools::PrintDiagnostics(out, "t", text, compiled.errors);
    const std::string printed = out.str();
    EXPECT_NE(printed.find("t:10:1: error"), std::string::npos);
    EXPECT_EQ(printed.find("t:11:1: error"), std::string::npos);
    EXPECT_EQ(printed.find("too many errors") != std::string::npos, lines > 10);
  }
}

TEST(ScriptText, InstallLinesKeepTheirProductFile) {
  const auto compiled = CompileScript(
      "install \"data/big file.dat\"  {app}\\big.dat\n", Installs::Allowed);
  ASSERT_TRUE(compiled.errors.empty());
  ASSERT_EQ(compiled.records.size(), 1u);
  EXPECT_TRUE(compiled.records[0].install);
  EXPECT_EQ(compiled.records[0].payload, "data/big file.dat");
  EXPECT_EQ(compiled.records[0].sourcePos.column, 10);
  EXPECT_EQ(compiled.records[0].target, P + "\\big.dat");
}

std::string Repeat(const std::string &text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i)
    repeated += text;
  return repeated;
}

TEST(ScriptText, ShowWritesEachRecordInItsShortestForm) {
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {ScriptRecord(0, T + "\\app.exe", P + "\\app.exe"),
       "copy    {temp}\\app.exe          {app}\\app.exe\n"},
      {ScriptRecord(1, "", P + "\\*.tmp"), "delete  {app}\\*.tmp\n"},
      {ScriptRecord(1, "x", P + "\\*.tmp"),
       "op 1    x                       {app}\\*.tmp\n"},
      {ScriptRecord(3, "", "", '\0'),
       "op 3    " + Repeat("{temp}", 16) + " " + Repeat("{temp}", 48) + "\n"},
      {ScriptRecord(2, "", " a b\"{#\x98\x7F\t"),
       "mkdir   \"{0x20}a b{0x22}{0x7B}#{0x98}{0x7F}{0x09}\"\n"},
      {ScriptRecord(2, "", "#a"), "mkdir   {0x23}a\n"},
      {ScriptRecord(9, "", ""),
       "op 9    \"\"" + std::string(22, ' ') + "\"\"\n"},
      {std::string("\x07 a{", 4),
       "# 4 bytes after the last whole record are never carried out\n"
       "#@tail {0x07}{0x20}a{0x7B}\n"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ShowScript(c.bytes, FormOfBytes(c.bytes)), c.text);
    EXPECT_EQ(Compiled(ShowScript(c.bytes, FormOfBytes(c.bytes))), c.bytes)
        << c.text;
  }
}

// Bytes that the text form treats specially turn up far more often than
// in uniform noise.
std::string RandomBytes(std::mt19937 &random, size_t length) {
  static const char kSpecial[] = {'\0', '\x01', ' ',  '"',    '{',    '}',
                                  '#',  '\\',   '0',  'x',    '\x98', '\x7F',
                                  '\t', '\n',   '\r', '\xC0', '@'};
  std::string bytes;
  for (size_t i = 0; i < length; ++i)
    bytes += random() % 3 == 0 ? kSpecial[random() % sizeof kSpecial]
                               : static_cast<char>(random() % 256);
  return bytes;
}

TEST(ScriptText, CompileOfShowGivesBackAnyBytes) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    const size_t records = random() % 4;
    std::string bytes = RandomBytes(random, records * 65 + random() % 65);
    // Padding runs and all-blank fields, as real scripts have them.
    if (round % 3 == 0 && bytes.size() >= 65)
      bytes.replace(1 + random() % 16, 64, 64, round % 2 ? ' ' : '\0');
    bytes.resize(bytes.size() < 65 || round % 5 ? bytes.size()
                                                : bytes.size() - 10);
    const std::string text = ShowScript(bytes, FormOfBytes(bytes));
    const auto compiled = CompileScript(text, Installs::Refused);
    ASSERT_TRUE(compiled.errors.empty()) << text << compiled.errors[0].message;
    ASSERT_EQ(ScriptBytes(compiled), bytes) << text;
    EXPECT_EQ(compiled.records.size(), bytes.size() / 65);
  }
}

} // namespace
