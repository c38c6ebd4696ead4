// The catalogue of supported games, read from the machine root of the settings store
// ("SOFTWARE\Orlemont\HXPatch\Applications", one numbered sub-key per game), and each game's
// DirectPlay registration ("SOFTWARE\Microsoft\DirectPlay\Applications\<name>"), which says
// whether and where it is installed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dravik {

class TRegistry;

// Value names of a DirectPlay registration, by index: "Path", "File", "CommandLine".
extern const std::array<const char*, 3> DirectPlayValueNames;

// The settings store object on the machine root that the catalogue uses for the whole run.
TRegistry& CatalogueRegistry();

class THXAppInfo {
public:
  THXAppInfo() = default;
  virtual ~THXAppInfo() = default;
  THXAppInfo(const THXAppInfo&) = delete;
  THXAppInfo& operator=(const THXAppInfo&) = delete;

  // Called once while the catalogue is read, with the store open at the game's own sub-key.
  virtual void ReadExtra(TRegistry& reg);

  // Whether the game's DirectPlay registration exists (nothing is read).
  bool IsInstalled() const;
  // "Path" (0, always ending in "\" unless empty), "File" (1) or "CommandLine" (2) of the
  // registration; "" when it is not found. A non-empty answer is cached for the run.
  std::string GetDirectPlayValue(int index);
  // Writes one of them when the registration is found; the cache takes the text either way,
  // unless the store refuses the write (ERegistryException), which leaves the cache as it was.
  void SetDirectPlayValue(int index, const std::string& value);
  // Takes `value` as the registration's without writing it: for a write that waits until Wine
  // lets it through (platform/pendingsaves.h).
  void KeepDirectPlayValue(int index, const std::string& value);

  std::string AppName;
  std::string DirectPlayName;
  std::string DirectPlayDemoName;
  int Number = 0;
  std::string PatchFilter;
  std::vector<uint8_t> Icon; // the bytes of an .ico file; empty when the catalogue has none

private:
  // Opens the registration in `reg`; false when neither name is found.
  bool OpenRegistration(TRegistry& reg) const;
  std::array<std::string, 3> FCache;
};

class THXAppList {
public:
  THXAppList() = default;
  virtual ~THXAppList() = default;
  THXAppList(const THXAppList&) = delete;
  THXAppList& operator=(const THXAppList&) = delete;

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  THXAppInfo* Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }

  // Fills the list from the catalogue, sub-keys in the store's order ("1", "10", "2").
  // A missing catalogue leaves it empty. A value stored with the wrong type throws the store's
  // ERegistryException; the entries read before it stay.
  void LoadCatalogue();

protected:
  // Creates one entry, appends it and returns it.
  virtual THXAppInfo* CreateEntry();
  template <typename T> T* Append(std::unique_ptr<T> entry) {
    T* raw = entry.get();
    FItems.push_back(std::move(entry));
    return raw;
  }

private:
  std::vector<std::unique_ptr<THXAppInfo>> FItems;
};

} // namespace dravik
