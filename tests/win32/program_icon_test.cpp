// The program's icon as Windows decodes it: each of the two images of the
// checked-in .ico (32 x 32 and 16 x 16, 16 colours) becomes an icon of its
// own size.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/win32/temp_folder.h"

namespace {

std::string SourceFile(const std::string &relative) {
  // Wine's Z: drive is the root of the machine the tests run on.
  std::string source = __FILE__;
  if (!source.empty() && source[0] == '/')
    source = "Z:" + source;
  return source.substr(0, source.find_last_of("\\/")) + "/../../" + relative;
}

uint32_t Le32(const std::string &bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

TEST(Win32ProgramIcon, EveryImageDecodesAtItsSize) {
  std::string ico;
  try {
    ico = wintest::ReadFile(SourceFile("stub/resources/program.ico"));
  } catch (const std::exception &) {
    GTEST_SKIP() << "no source tree";
  }
  ASSERT_GE(ico.size(), 6u);
  const int count = static_cast<uint8_t>(ico[4]) | static_cast<uint8_t>(ico[5])
                                                       << 8;
  ASSERT_EQ(count, 2);
  for (int i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * static_cast<size_t>(i);
    const int size = static_cast<uint8_t>(ico[entry])
                         ? static_cast<uint8_t>(ico[entry])
                         : 256;
    const uint32_t length = Le32(ico, entry + 8);
    const uint32_t offset = Le32(ico, entry + 12);
    ASSERT_LE(static_cast<size_t>(offset) + length, ico.size()) << size;
    auto *bits = reinterpret_cast<BYTE *>(ico.data() + offset);
    HICON icon = ::CreateIconFromResourceEx(bits, length, TRUE, 0x00030000,
                                            size, size, LR_DEFAULTCOLOR);
    ASSERT_TRUE(icon) << size << " x " << size << " does not decode";
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap,
                 &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    if (info.hbmColor)
      ::DeleteObject(info.hbmColor);
    if (info.hbmMask)
      ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
  }
}

} // namespace
