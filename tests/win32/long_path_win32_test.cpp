// Paths of MAX_PATH characters or more reach the file API in the "\\?\"
// form, resolved first as the API resolves a shorter path; shorter,
// relative and prefixed paths stay as they are.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "platform/win32/windows_support.h"

namespace {

using platform::win32::kLongPathFrom;
using platform::win32::LongPathForm;
using platform::win32::WidePath;

// head, then names of 9 characters and "\" until the path has length
// characters (the last name shorter, never a "\" at the end).
std::wstring Padded(std::wstring head, size_t length) {
  while (head.size() < length)
    head += (head.size() % 10 == 9 && head.size() + 1 < length) ? L'\\' : L'n';
  return head;
}

TEST(LongPath, PrefixedFromTheLengthTheApiRefuses) {
  const std::wstring at = Padded(L"C:\\", kLongPathFrom);
  const std::wstring max = Padded(L"C:\\", MAX_PATH);
  const std::wstring unc = Padded(L"\\\\server\\share\\", 300);
  const std::wstring deep = Padded(L"C:\\d\\", 300);
  struct Case {
    std::wstring in;
    std::wstring out;
  };
  const Case cases[] = {
      {L"C:\\a\\b.txt", L"C:\\a\\b.txt"},
      {Padded(L"C:\\", kLongPathFrom - 1), Padded(L"C:\\", kLongPathFrom - 1)},
      {at, L"\\\\?\\" + at},
      {Padded(L"C:\\", MAX_PATH - 1),
       L"\\\\?\\" + Padded(L"C:\\", MAX_PATH - 1)},
      {max, L"\\\\?\\" + max},
      {unc, L"\\\\?\\UNC" + unc.substr(1)},
      {L"\\\\?\\" + deep, L"\\\\?\\" + deep},
      {L"\\\\.\\" + deep, L"\\\\.\\" + deep},
      {Padded(L"rel\\", 300), Padded(L"rel\\", 300)},
      {L"C:" + Padded(L"", 300),
       L"C:" + Padded(L"", 300)}, // the drive's folder
  };
  for (size_t k = 0; k < std::size(cases); ++k)
    EXPECT_EQ(std::wstring(LongPathForm(cases[k].in).view()), cases[k].out)
        << "case " << k;
}

// What the long form takes as it is comes resolved: "/", ".", ".." and
// the dots and blanks that end the last name, as for a shorter path.
TEST(LongPath, ResolvedBeforeItIsPrefixed) {
  const std::string deep = "C:\\d\\" + std::string(300, 'n');
  EXPECT_EQ(std::wstring(
                WidePath("C:/d/./x/../" + deep.substr(5) + "/end. .").view()),
            L"\\\\?\\C:\\d\\" + std::wstring(300, L'n') + L"\\end");
  EXPECT_EQ(std::wstring(WidePath("C:\\a.txt").view()), L"C:\\a.txt");
}

} // namespace
