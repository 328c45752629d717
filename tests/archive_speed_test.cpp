// Speed of the byte loops with a user interface that takes a turn every few
// thousand yields, as the console and window backends do. Disabled by
// default; run with --gtest_also_run_disabled_tests --gtest_filter='*Speed*'.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "archive/cls_arch.h"
#include "platform/files.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace {

// Counts its turns and lets 4096 yields pass between them.
class TurnCountingUi : public testsupport::ScriptedUi {
public:
  int32_t OnYield() override {
    ++turns;
    return 4096;
  }
  int64_t turns = 0;
};

double Seconds(const std::function<void()> &work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

TEST(ArchiveSpeed, DISABLED_PackAndExtractOneHundredMegabytes) {
  TurnCountingUi ui;
  testsupport::TempFolder dir;
  const std::string src = dir / "src";
  const std::string out = dir / "out";
  testsupport::MakeFolder(src);
  testsupport::MakeFolder(out);
  constexpr int64_t kSize = int64_t{100} * 1000 * 1000;
  {
    std::string chunk(1 << 20, '\0');
    uint32_t seed = 1;
    for (char &c : chunk)
      c = static_cast<char>((seed = seed * 1664525 + 1013904223) >> 24);
    FILE *f = std::fopen((src + "/big.bin").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int64_t left = kSize; left > 0;) {
      const size_t n = static_cast<size_t>(
          std::min<int64_t>(left, static_cast<int64_t>(chunk.size())));
      std::fwrite(chunk.data(), 1, n, f);
      left -= static_cast<int64_t>(n);
    }
    std::fclose(f);
  }

  archive::cls_arch arch;
  arch.FileName(dir / "big.pack");
  const double pack = Seconds([&] { arch.Pack(src); });
  ASSERT_EQ(arch.Load(), platform::kTrue);
  const double extract = Seconds([&] { arch.Extract(out); });
  ASSERT_TRUE(ui.messages.empty());
  EXPECT_EQ(arch.FullSeek(), kSize + 28);

  std::printf("pack:    %.3f s, %.3f ns/byte\n", pack, pack * 1e9 / kSize);
  std::printf("extract: %.3f s, %.3f ns/byte\n", extract,
              extract * 1e9 / kSize);
  std::printf("user interface turns: %lld\n", static_cast<long long>(ui.turns));
}

} // namespace
