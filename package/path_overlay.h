// What the records before one of a script leave on disk, as far as they
// tell: so that a record is judged against the folder as the earlier
// records would leave it (a copy into a folder an earlier record creates,
// a file in a folder an earlier record removes). Keys are folded paths
// (platform::fs::FoldName); "\" and "/" both separate names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "package/expected_state.h"
#include "package/script_record.h"

namespace package::expect {

// Folded keys to numbers, found in constant time: an open-addressing table,
// a fraction of the program image's room that std::unordered_map takes.
class KeyIndex {
public:
  static constexpr size_t kNone = ~size_t{0};

  static constexpr uint64_t kFirstHash = 14695981039346656037u; // FNV-1a

  // hash followed by one more unit of a key.
  static uint64_t Hashed(uint64_t hash, char16_t unit) {
    return (hash ^ unit) * 1099511628211u;
  }

  // The number set for key, or kNone.
  size_t Find(const std::u16string &key) const {
    if (slots_.empty())
      return kNone;
    const Slot &slot = slots_[SlotOf(key)];
    return slot.used ? slot.value : kNone;
  }

  // The same, for a key whose hash is known (Hashed from kFirstHash over
  // its units): the text compared only with keys of its length.
  size_t Find(std::u16string_view key, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask; !slots_.empty() && slots_[at].used;
         at = (at + 1) & mask)
      if (std::u16string_view(slots_[at].key) == key)
        return slots_[at].value;
    return kNone;
  }

  // Sets key's number, replacing the one it had.
  void Set(const std::u16string &key, size_t value) {
    if (2 * (used_ + 1) > slots_.size())
      Grow();
    Slot &slot = slots_[SlotOf(key)];
    if (!slot.used) {
      slot.key = key;
      slot.used = true;
      ++used_;
    }
    slot.value = value;
  }

private:
  struct Slot {
    std::u16string key;
    size_t value = 0;
    bool used = false;
  };

  // The slot that holds key, or the free one where it would go.
  size_t SlotOf(const std::u16string &key) const {
    uint64_t hash = kFirstHash;
    for (const char16_t unit : key)
      hash = Hashed(hash, unit);
    const size_t mask = slots_.size() - 1;
    size_t at = static_cast<size_t>(hash) & mask;
    while (slots_[at].used && slots_[at].key != key)
      at = (at + 1) & mask;
    return at;
  }

  void Grow() {
    std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size());
    old.swap(slots_);
    for (Slot &slot : old)
      if (slot.used)
        slots_[SlotOf(slot.key)] = std::move(slot);
  }

  std::vector<Slot> slots_; // a power of two of them, at most half used
  size_t used_ = 0;
};

// The records laid over the disk so far, indexed by their folded target,
// so that a script of many records is judged in time proportional to its
// length rather than its square.
class LaidRecords {
public:
  // The next record of the script: its target, folded, and its operation.
  void Lay(const std::u16string &key, uint8_t operation) {
    latest_.Set(key, laid_.size());
    laid_.push_back(operation);
  }

  // What the laid records leave at key: the latest one that names it, or
  // Nothing below the latest one that names a folder above it (a file, a
  // removed folder, or a folder it made, which starts empty). False when no
  // laid record tells: the disk says.
  bool At(const std::u16string &key, Kind &kind) const {
    if (laid_.empty())
      return false;
    // Each folder above looked up by the hash of the key so far, not
    // hashed again from the start: a path's every folder costs its own
    // units, not the whole path's.
    size_t best = latest_.Find(key);
    bool exact = best != KeyIndex::kNone;
    uint64_t hash = KeyIndex::kFirstHash;
    for (size_t at = 0; at < key.size();
         hash = KeyIndex::Hashed(hash, key[at++])) {
      if (key[at] != u'\\' && key[at] != u'/')
        continue;
      const size_t above = latest_.Find({key.data(), at}, hash);
      if (above != KeyIndex::kNone &&
          (best == KeyIndex::kNone || above > best)) {
        best = above;
        exact = false;
      }
    }
    if (best == KeyIndex::kNone)
      return false;
    kind = !exact                                 ? Kind::Nothing
           : laid_[best] == script::kCopyFile     ? Kind::File
           : laid_[best] == script::kCreateFolder ? Kind::Folder
                                                  : Kind::Nothing;
    return true;
  }

  // True when a laid record names key itself.
  bool Names(const std::u16string &key) const {
    return latest_.Find(key) != KeyIndex::kNone;
  }

private:
  KeyIndex latest_;           // the latest record on each path
  std::vector<uint8_t> laid_; // the operation of each record, in order
};

} // namespace package::expect
