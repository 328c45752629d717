// Runs the fuzz target over saved inputs (files, or folders of files), so
// the corpus is also a plain test without libFuzzer. Like libFuzzer, it
// calls LLVMFuzzerInitialize before the first input.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void Replay(const std::filesystem::path &path, int &count) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()),
                         bytes.size());
  ++count;
}

} // namespace

int main(int argc, char **argv) {
  LLVMFuzzerInitialize(&argc, &argv);
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    if (std::filesystem::is_directory(path)) {
      for (const auto &entry : std::filesystem::directory_iterator(path))
        if (entry.is_regular_file())
          Replay(entry.path(), count);
    } else {
      Replay(path, count);
    }
  }
  std::printf("%d passed, 0 failed\n", count);
  return count > 0 ? 0 : 1;
}
