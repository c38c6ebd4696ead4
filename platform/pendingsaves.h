// Changes to the prefix's registry that Wine does not let the program save yet.
//
// While a wineserver runs for the prefix, the settings store refuses writes (EWineRunning):
// Wine keeps the registry in memory and would overwrite them. Every save of something the user
// changed goes through Save(): a refusal asks the user to quit Wine and retry, or to let the
// change wait. A waiting change lives here, in memory, and is saved by the next save, by
// Flush() (the main window calls it when it sees Wine end) and at the latest by SaveOrDiscard()
// as the program ends, which asks before it drops anything. So no change the user made is lost
// without a word.
//
// One object for the program (PendingSaves()), used on the user-interface thread. The changes
// wait for the Wine of the prefix current when they were kept; SaveOrDiscard() must run before
// the program moves to another prefix.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dravik {

class TPendingSaves {
public:
  // Runs `save`. When Wine refuses it and `ask` is set, asks whether to retry (after quitting
  // Wine) or to let the change wait; without `ask`, or when a change of the same `key` waits
  // already (the user has been told), it waits without a question. `what` names the change
  // for the user ("the Zone option of Halvex"). A waiting change of the same key is replaced
  // (by the new one) or, once saved, removed. Returns true when saved now. Other failures pass
  // to the caller, and nothing waits for them.
  bool Save(const std::string& key, const std::string& what, std::function<void()> save,
            bool ask = true);

  bool Empty() const noexcept { return FWaiting.empty(); }
  bool Waiting(const std::string& key) const;
  // What waits, in the order it was first kept.
  std::vector<std::string> Descriptions() const;

  // Saves every waiting change that Wine no longer refuses. A change that fails otherwise is
  // dropped and its error shown; what Wine still refuses keeps waiting. Asks nothing.
  void Flush() noexcept;

  // As the program ends: saves what it can; while Wine still refuses, names what waits and asks
  // whether to wait for Wine to end (watching its lock, then saving) or to discard it. Empty
  // afterwards.
  void SaveOrDiscard();

  // Drops everything without a word (tests; a program that ends by SaveOrDiscard never needs it).
  void Clear() noexcept { FWaiting.clear(); }

private:
  struct TChange {
    std::string Key, What;
    std::function<void()> Save;
  };
  void Keep(const std::string& key, const std::string& what, std::function<void()> save);
  void Remove(const std::string& key);

  std::vector<TChange> FWaiting;
};

TPendingSaves& PendingSaves();

// For a change that cannot wait (it is needed at once): runs `save`, and while Wine refuses it,
// asks to quit Wine and retry, or to cancel. Returns false when cancelled: nothing was saved
// then (unless `save` had done part of its work before Wine started). Other failures pass.
bool SaveWhenWineAllows(const std::string& what, const std::function<void()>& save);

} // namespace dravik
