// Drives the codec for bench/codec.sh: compresses one file (a tar, or a
// single program file) at a level, decodes the stream again and checks it,
// and prints one line of figures (times in processor seconds).
//
//   codec_cli LEVEL FILTER [--order] FILE [STREAM_OUT]
//
// FILTER: none; tar (the x86 filter on every tar member that is an x86 or
// x86-64 PE file); all (the whole file as one range). --order puts the tar
// members in the order codec::SolidOrder gives (PE files, then by
// extension) before compressing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/lzma_decoder.h"
#include "codec/lzma_encoder.h"
#include "codec/range_filter.h"
#include "codec/solid_order.h"

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Die(const std::string &what) {
  std::fprintf(stderr, "codec_cli: %s\n", what.c_str());
  std::exit(1);
}

uint32_t Le32(const uint8_t *p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// An x86 or x86-64 PE image: "MZ", e_lfanew at 0x3C pointing at "PE\0\0",
// then the machine i386 (0x14C) or AMD64 (0x8664).
bool IsX86Image(const uint8_t *data, uint64_t size) {
  if (size < 0x40 || data[0] != 'M' || data[1] != 'Z')
    return false;
  const uint64_t pe = Le32(data + 0x3C);
  if (pe + 6 > size || std::memcmp(data + pe, "PE\0\0", 4) != 0)
    return false;
  const unsigned machine = data[pe + 4] | data[pe + 5] << 8;
  return machine == 0x14C || machine == 0x8664;
}

// A member of a tar file: its name, the offset of its header and the
// offset and size of its data; a member spans whole 512-byte blocks.
struct Member {
  std::string name;
  uint64_t header;
  uint64_t data;
  uint64_t size;
  uint64_t End() const { return data + (size + 511) / 512 * 512; }
};

std::vector<Member> TarMembers(const Bytes &tar) {
  std::vector<Member> members;
  uint64_t at = 0;
  while (at + 512 <= tar.size() && tar[at] != 0) {
    const char *header = reinterpret_cast<const char *>(&tar[at]);
    const uint64_t size =
        std::strtoull(std::string(header + 124, 12).c_str(), nullptr, 8);
    Member m{std::string(header, strnlen(header, 100)), at, at + 512, size};
    if (m.End() > tar.size())
      Die("a tar member runs past the end");
    members.push_back(m);
    at = m.End();
  }
  return members;
}

// Processor time since start: what other programs on a busy machine do not
// change as much as they change the time on the clock.
double Seconds(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool order = false;
  for (size_t i = 0; i < args.size(); ++i)
    if (args[i] == "--order") {
      order = true;
      args.erase(args.begin() + static_cast<ptrdiff_t>(i));
      break;
    }
  if (args.size() < 3 || args.size() > 4) {
    std::fprintf(stderr, "usage: codec_cli LEVEL none|tar|all [--order] "
                         "FILE [STREAM_OUT]\n");
    return 64;
  }
  const int level = std::atoi(args[0].c_str());
  const std::string filter = args[1];
  if (filter != "none" && filter != "tar" && filter != "all")
    Die("unknown filter " + filter);
  std::ifstream file(args[2], std::ios::binary);
  if (!file)
    Die("cannot open " + args[2]);
  Bytes raw((std::istreambuf_iterator<char>(file)), {});

  std::vector<codec::ByteRange> ranges;
  if (filter == "all") {
    ranges.push_back({0, raw.size()});
  } else if (filter == "tar" || order) {
    std::vector<Member> members = TarMembers(raw);
    std::vector<bool> x86(members.size());
    for (size_t i = 0; i < members.size(); ++i)
      x86[i] = IsX86Image(raw.data() + members[i].data, members[i].size);
    if (order) {
      std::vector<codec::SolidEntry> entries;
      for (size_t i = 0; i < members.size(); ++i)
        entries.push_back({members[i].name, x86[i]});
      Bytes sorted;
      std::vector<Member> moved;
      std::vector<bool> movedX86;
      for (size_t i : codec::SolidOrder(entries)) {
        Member m = members[i];
        const uint64_t header = sorted.size();
        sorted.insert(sorted.end(), raw.begin() + m.header,
                      raw.begin() + m.End());
        m.data = header + (m.data - m.header);
        m.header = header;
        moved.push_back(m);
        movedX86.push_back(x86[i]);
      }
      const uint64_t tail = members.empty() ? 0 : members.back().End();
      sorted.insert(sorted.end(), raw.begin() + tail, raw.end());
      raw.swap(sorted);
      members.swap(moved);
      x86.swap(movedX86);
    }
    if (filter == "tar")
      for (size_t i = 0; i < members.size(); ++i)
        if (x86[i])
          ranges.push_back({members[i].data, members[i].size});
  }

  // Encode: the raw bytes through the range filter, into the encoder.
  const std::clock_t encodeStart = std::clock();
  Bytes stream;
  codec::RangeFilter encodeFilter(ranges.data(), ranges.size(),
                                  codec::FilterDirection::kEncode);
  size_t at = 0;
  Bytes pending;
  size_t pendingAt = 0;
  const codec::EncodeStatus status = codec::Encode(
      raw.size(), level,
      [&](uint8_t *buffer, size_t size) {
        while (pendingAt == pending.size()) {
          if (at == raw.size()) {
            pending.resize(codec::RangeFilter::kMaxHeld);
            pending.resize(encodeFilter.Finish(pending.data()));
            pendingAt = 0;
            if (pending.empty())
              return size_t{0};
            break;
          }
          const size_t n = std::min<size_t>(1 << 16, raw.size() - at);
          pending.resize(n + codec::RangeFilter::kMaxHeld);
          pending.resize(encodeFilter.Convert(&raw[at], n, pending.data()));
          pendingAt = 0;
          at += n;
        }
        size = std::min(size, pending.size() - pendingAt);
        std::memcpy(buffer, &pending[pendingAt], size);
        pendingAt += size;
        return size;
      },
      [&](const uint8_t *bytes, size_t size) {
        stream.insert(stream.end(), bytes, bytes + size);
      });
  if (status != codec::EncodeStatus::kOk)
    Die("encoding failed");
  const double encodeSeconds = Seconds(encodeStart);

  // Decode in 64 KiB pieces, through the range filter, and compare.
  const std::clock_t decodeStart = std::clock();
  codec::LzmaDecoder decoder(raw.size());
  codec::RangeFilter decodeFilter(ranges.data(), ranges.size(),
                                  codec::FilterDirection::kDecode);
  Bytes room(1 << 16);
  Bytes plain(room.size() + codec::RangeFilter::kMaxHeld);
  uint64_t checked = 0;
  auto compare = [&](size_t n) {
    if (checked + n > raw.size() ||
        std::memcmp(plain.data(), &raw[checked], n) != 0)
      Die("the decoded bytes differ");
    checked += n;
  };
  for (size_t in = 0; in < stream.size();) {
    const size_t n = std::min<size_t>(1 << 16, stream.size() - in);
    size_t used = 0;
    codec::DecodeStep step{};
    do {
      step = decoder.Decode(&stream[in + used], n - used, room.data(),
                            room.size());
      used += step.consumed;
      compare(decodeFilter.Convert(room.data(), step.produced, plain.data()));
    } while (step.status == codec::DecodeStatus::kMore &&
             (used < n || step.produced == room.size()));
    if (step.status != codec::DecodeStatus::kMore &&
        step.status != codec::DecodeStatus::kDone)
      Die("decoding failed");
    in += n;
  }
  if (decoder.Finish() != codec::DecodeStatus::kDone)
    Die("the stream did not end");
  compare(decodeFilter.Finish(plain.data()));
  if (checked != raw.size())
    Die("decoded too few bytes");
  const double decodeSeconds = Seconds(decodeStart);

  if (args.size() == 4) {
    std::ofstream out(args[3], std::ios::binary);
    out.write(reinterpret_cast<const char *>(stream.data()),
              static_cast<std::streamsize>(stream.size()));
  }
  std::printf("level %d filter %s%s ranges %zu: %zu -> %zu bytes (%.2f%%), "
              "encode %.1f s CPU (%.2f MB/s), decode %.2f s CPU\n",
              level, filter.c_str(), order ? " ordered" : "", ranges.size(),
              raw.size(), stream.size(),
              raw.empty() ? 0.0 : 100.0 * stream.size() / raw.size(),
              encodeSeconds, raw.size() / encodeSeconds / 1e6, decodeSeconds);
  return 0;
}
