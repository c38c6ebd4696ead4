// The name index of a patch list: every game file name that its patches carry, letter case
// (a..z) ignored, with the patches that carry it, in the order they came. Each name is hashed
// once (Hash); the table is open-addressed, sized before it is filled when the caller knows how
// many names come (Reserve), and doubles when it runs full.
//
// Names are not copied: an entry keeps a view of its first carrier's spelling, so a patch's
// Files must stay as they are while the patch is indexed.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace dravik {

class TPatch;

class TFileIndex {
public:
  // The hash of a name with a..z folded, as the index keys it; never 0.
  static uint64_t Hash(std::string_view name) noexcept;

  // Makes room for `names` more names than the index holds.
  void Reserve(size_t names);
  void Clear() noexcept;

  // Adds `patch` to the carriers of `name`, one of its Files (`hash` its Hash), and returns the
  // patches that carried it before, in the order they came: none for a new name, and none when
  // `patch` carries it already. The span holds until the index changes.
  std::span<TPatch* const> Insert(uint64_t hash, TPatch* patch, std::string_view name);
  // Takes `patch` from the carriers of `name`, one of its Files, if it is one; the name goes
  // with its last carrier.
  void Remove(uint64_t hash, TPatch* patch, std::string_view name);

  // The patches that carry `name` (`hash` its Hash), in the order they came; none when no patch
  // does. The span holds until the index changes.
  std::span<TPatch* const> Carriers(uint64_t hash, std::string_view name) const;

  // Starts fetching the table's memory where a name of this hash is looked for.
  void Prefetch(uint64_t hash) const {
    if (!FSlots.empty()) __builtin_prefetch(&FSlots[Home(hash)]);
  }

private:
  struct TEntry {
    std::string_view Name; // as the first carrier spells it
    uint64_t Hash = 0;
    TPatch* First = nullptr; // null: a free entry
    uint32_t Shared = 0;     // 1 + the entry of FShared listing every carrier; 0: First alone
  };
  struct TSlot {
    uint32_t Entry = 0; // 1 + the entry; 0: empty
    uint32_t Tag = 0;   // the hash's upper half, to pass over most other names unread
  };
  size_t Home(uint64_t hash) const { return static_cast<size_t>(hash) & (FSlots.size() - 1); }
  // The slot holding `name`, or the empty one where it would go.
  size_t Find(uint64_t hash, std::string_view name) const;
  void Grow(size_t live);
  void Free(size_t slot);

  std::vector<TSlot> FSlots;                 // a power of two, at most half full
  std::vector<TEntry> FEntries;              // in the order the names came
  std::vector<uint32_t> FFree;               // free entries
  std::vector<std::vector<TPatch*>> FShared; // carriers of names with more than one
  std::vector<uint32_t> FFreeShared;
};

} // namespace dravik
