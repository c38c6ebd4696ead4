#include "fileindex.h"

#include "patch.h"
#include "platform/sysutils.h"

#include <algorithm>
#include <cstring>

namespace dravik {

uint64_t TFileIndex::Hash(std::string_view name) noexcept {
  // Eight bytes at a time: the letters A..Z among them folded to a..z, then mixed in.
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  uint64_t h = 0x9E3779B97F4A7C15ull ^ name.size();
  auto mix = [&h](uint64_t word) {
    const uint64_t low = word & ~kHigh;
    const uint64_t upper = (low + (0x80 - 'A') * kOnes) & ~(low + (0x80 - 'Z' - 1) * kOnes) &
                           ~word & kHigh; // the bytes A..Z
    word |= upper >> 2;                   // 0x80 >> 2 is the case bit
    h = (h ^ word) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  };
  size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, name.data() + i, 8);
    mix(word);
  }
  if (i < name.size()) {
    uint64_t word = 0;
    std::memcpy(&word, name.data() + i, name.size() - i);
    mix(word);
  }
  h ^= h >> 29;
  return h ? h : 1;
}

void TFileIndex::Reserve(size_t names) {
  const size_t live = FEntries.size() - FFree.size();
  FEntries.reserve(FEntries.size() + names);
  if (2 * (live + names) > FSlots.size()) Grow(live + names);
}

void TFileIndex::Clear() noexcept {
  std::fill(FSlots.begin(), FSlots.end(), TSlot{});
  FEntries.clear();
  FFree.clear();
  FShared.clear();
  FFreeShared.clear();
}

// Makes the table at least twice `live` and places every name anew.
void TFileIndex::Grow(size_t live) {
  size_t size = 16;
  while (size < 2 * live)
    size *= 2;
  FSlots.assign(size, TSlot{});
  for (size_t e = 0; e < FEntries.size(); ++e) {
    if (!FEntries[e].First) continue;
    size_t i = Home(FEntries[e].Hash);
    while (FSlots[i].Entry)
      i = (i + 1) & (size - 1);
    FSlots[i] = {static_cast<uint32_t>(e + 1), static_cast<uint32_t>(FEntries[e].Hash >> 32)};
  }
}

size_t TFileIndex::Find(uint64_t hash, std::string_view name) const {
  const uint32_t tag = static_cast<uint32_t>(hash >> 32);
  size_t i = Home(hash);
  for (; FSlots[i].Entry; i = (i + 1) & (FSlots.size() - 1)) {
    if (FSlots[i].Tag != tag) continue;
    const TEntry& e = FEntries[FSlots[i].Entry - 1];
    if (e.Hash == hash && SameText(e.Name, name)) break;
  }
  return i;
}

std::span<TPatch* const> TFileIndex::Insert(uint64_t hash, TPatch* patch, std::string_view name) {
  const size_t live = FEntries.size() - FFree.size();
  if (2 * (live + 1) > FSlots.size()) Grow(2 * (live + 1));
  TSlot& slot = FSlots[Find(hash, name)];
  if (!slot.Entry) {
    uint32_t e;
    if (!FFree.empty()) {
      e = FFree.back();
      FFree.pop_back();
      FEntries[e] = {name, hash, patch, 0};
    } else {
      e = static_cast<uint32_t>(FEntries.size());
      FEntries.push_back({name, hash, patch, 0});
    }
    slot = {e + 1, static_cast<uint32_t>(hash >> 32)};
    return {};
  }
  TEntry& entry = FEntries[slot.Entry - 1];
  if (!entry.Shared) {
    if (entry.First == patch) return {}; // the same name twice in one patch
    uint32_t s;
    if (!FFreeShared.empty()) {
      s = FFreeShared.back();
      FFreeShared.pop_back();
    } else {
      s = static_cast<uint32_t>(FShared.size());
      FShared.emplace_back();
    }
    FShared[s] = {entry.First, patch};
    entry.Shared = s + 1;
    return {FShared[s].data(), 1};
  }
  std::vector<TPatch*>& carriers = FShared[entry.Shared - 1];
  if (carriers.back() == patch) return {};
  carriers.push_back(patch);
  return {carriers.data(), carriers.size() - 1};
}

std::span<TPatch* const> TFileIndex::Carriers(uint64_t hash, std::string_view name) const {
  if (FSlots.empty()) return {};
  const TSlot& slot = FSlots[Find(hash, name)];
  if (!slot.Entry) return {};
  const TEntry& entry = FEntries[slot.Entry - 1];
  if (!entry.Shared) return {&entry.First, 1};
  return FShared[entry.Shared - 1];
}

void TFileIndex::Remove(uint64_t hash, TPatch* patch, std::string_view name) {
  if (FSlots.empty()) return;
  const size_t i = Find(hash, name);
  if (!FSlots[i].Entry) return;
  TEntry& entry = FEntries[FSlots[i].Entry - 1];
  if (!entry.Shared) {
    if (entry.First == patch) Free(i);
    return;
  }
  std::vector<TPatch*>& carriers = FShared[entry.Shared - 1];
  auto it = std::find(carriers.begin(), carriers.end(), patch);
  if (it == carriers.end()) return;
  carriers.erase(it);
  if (entry.First == patch) {
    // The name was spelt by the leaving patch: the next carrier lends its own spelling.
    for (const std::string& spelling : carriers.front()->Files.Lines())
      if (SameText(spelling, entry.Name)) {
        entry.Name = spelling;
        break;
      }
    entry.First = carriers.front();
  }
  if (carriers.size() == 1) {
    std::vector<TPatch*>().swap(carriers);
    FFreeShared.push_back(entry.Shared - 1);
    entry.Shared = 0;
  }
}

// Empties slot i and frees its entry, moving up the names after it that it kept from their home
// slots (deletion from a linearly probed table).
void TFileIndex::Free(size_t i) {
  const uint32_t e = FSlots[i].Entry - 1;
  FEntries[e] = TEntry{};
  FFree.push_back(e);
  const size_t mask = FSlots.size() - 1;
  for (size_t j = (i + 1) & mask; FSlots[j].Entry; j = (j + 1) & mask) {
    const size_t home = Home(FEntries[FSlots[j].Entry - 1].Hash);
    // The name at j may move to i when its home does not lie cyclically in (i, j].
    const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (stays) continue;
    FSlots[i] = FSlots[j];
    i = j;
  }
  FSlots[i] = TSlot{};
}

} // namespace dravik
