// Benchmark input: a flat folder of files of mixed sizes with deterministic
// content (a seeded xorshift generator), so every run measures the same
// bytes. Many small files, some medium ones, a few large ones; half of the
// small and medium files are text, the rest random bytes.
//
//   gen_tree FOLDER TOTAL_BYTES SEED
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Rng {
  uint64_t state;
  uint64_t Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 2685821657736338717ULL;
  }
  int64_t Between(int64_t low, int64_t high) {
    return low +
           static_cast<int64_t>(Next() % static_cast<uint64_t>(high - low + 1));
  }
};

void WriteFile(const std::string &path, int64_t size, bool text, Rng &rng) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::perror(path.c_str());
    std::exit(1);
  }
  static const char words[][10] = {"update ",  "quorix ", "file ",     "data ",
                                   "version ", "1.1 ",    "install\n", "pack "};
  std::vector<unsigned char> chunk(1 << 16);
  int64_t left = size;
  while (left > 0) {
    const size_t n = static_cast<size_t>(left < 65536 ? left : 65536);
    if (text) {
      size_t i = 0;
      while (i < n) {
        const char *word = words[rng.Next() % 8];
        for (const char *c = word; *c && i < n; ++c)
          chunk[i++] = static_cast<unsigned char>(*c);
      }
    } else {
      for (size_t i = 0; i < n; i += 8) {
        const uint64_t r = rng.Next();
        for (size_t k = 0; k < 8 && i + k < n; ++k)
          chunk[i + k] = static_cast<unsigned char>(r >> (8 * k));
      }
    }
    if (std::fwrite(chunk.data(), 1, n, file) != n) {
      std::perror(path.c_str());
      std::exit(1);
    }
    left -= static_cast<int64_t>(n);
  }
  std::fclose(file);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gen_tree FOLDER TOTAL_BYTES SEED\n");
    return 64;
  }
  const std::string folder = argv[1];
  const int64_t total = std::atoll(argv[2]);
  Rng rng{std::strtoull(argv[3], nullptr, 10) * 0x9E3779B97F4A7C15ULL + 1};

  // 20% in small files (100 B to 16 KB), 40% in medium ones (64 KB to
  // 4 MB, at most a tenth of the total), 40% in three large ones.
  int64_t written = 0;
  int count = 0;
  char name[64];
  const int64_t smallEnd = total / 5;
  while (written < smallEnd) {
    const int64_t size =
        std::min<int64_t>(rng.Between(100, 16384), smallEnd - written);
    ++count;
    std::snprintf(name, sizeof name, "/small_%05d.%s", count,
                  count % 2 ? "txt" : "bin");
    WriteFile(folder + name, size, count % 2, rng);
    written += size;
  }
  const int64_t mediumEnd = written + total * 2 / 5;
  const int64_t mediumMax =
      std::max<int64_t>(65536, std::min<int64_t>(4 << 20, total / 10));
  count = 0;
  while (written < mediumEnd) {
    const int64_t size = std::min<int64_t>(
        rng.Between(std::min<int64_t>(65536, mediumMax), mediumMax),
        mediumEnd - written);
    ++count;
    std::snprintf(name, sizeof name, "/medium_%03d.%s", count,
                  count % 2 ? "txt" : "bin");
    WriteFile(folder + name, size, count % 2, rng);
    written += size;
  }
  for (int i = 1; i <= 3; ++i) {
    const int64_t size = (total - written) / (4 - i);
    std::snprintf(name, sizeof name, "/large_%d.dat", i);
    WriteFile(folder + name, size, false, rng);
    written += size;
  }
  return 0;
}
