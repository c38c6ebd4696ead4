#include "pendingsaves.h"

#include "dialogs.h"
#include "prefix.h"
#include "registry.h"
#include "sysutils.h"
#include "wineserver.h"

#include <algorithm>

namespace dravik {

namespace {

// The question after a refusal; `cancel` says what Cancel does.
std::string RefusedText(const std::string& what, const std::string& cancel) {
  return Format("Wine is running for the prefix %s, so Dravik cannot save %s now: Wine keeps the "
                "prefix's registry in memory and would overwrite the change.\n\n"
                "Quit the game (and any other Wine program of this prefix) and choose Retry, or "
                "choose Cancel to %s.",
                WinePrefix(), what, cancel);
}

// Runs `save` until it is not refused or the user cancels. True when saved.
bool RetryWhileRefused(const std::string& what, const std::string& cancel,
                       const std::function<void()>& save) {
  for (;;) {
    try {
      save();
      return true;
    } catch (const EWineRunning&) {
      if (Dialogs().MessageDlg(RefusedText(what, cancel), mtWarning, {mbRetry, mbCancel}) !=
          mrRetry)
        return false;
    }
  }
}

} // namespace

bool TPendingSaves::Save(const std::string& key, const std::string& what,
                         std::function<void()> save, bool ask) {
  Flush(); // what waits goes first, so the newer change is written last
  bool saved;
  if (ask && !Waiting(key)) {
    saved = RetryWhileRefused(
        what, "keep the change in Dravik and save it as soon as Wine has ended", save);
  } else {
    try {
      save();
      saved = true;
    } catch (const EWineRunning&) {
      saved = false;
    }
  }
  if (saved)
    Remove(key);
  else
    Keep(key, what, std::move(save));
  return saved;
}

bool TPendingSaves::Waiting(const std::string& key) const {
  return std::any_of(FWaiting.begin(), FWaiting.end(),
                     [&](const TChange& c) { return c.Key == key; });
}

std::vector<std::string> TPendingSaves::Descriptions() const {
  std::vector<std::string> what;
  for (const TChange& change : FWaiting)
    what.push_back(change.What);
  return what;
}

void TPendingSaves::Keep(const std::string& key, const std::string& what,
                         std::function<void()> save) {
  for (TChange& change : FWaiting)
    if (change.Key == key) {
      change.What = what;
      change.Save = std::move(save);
      return;
    }
  FWaiting.push_back({key, what, std::move(save)});
}

void TPendingSaves::Remove(const std::string& key) {
  std::erase_if(FWaiting, [&](const TChange& c) { return c.Key == key; });
}

void TPendingSaves::Flush() noexcept {
  for (size_t i = 0; i < FWaiting.size();) {
    TChange change = FWaiting[i];
    std::string error;
    try {
      change.Save();
    } catch (const EWineRunning&) {
      ++i;
      continue;
    } catch (const std::exception& e) {
      error = e.what();
    } catch (...) {
      error = "Unexpected error";
    }
    const size_t before = FWaiting.size();
    Remove(change.Key);
    if (FWaiting.size() == before) ++i;
    if (!error.empty())
      Guarded([&] {
        Dialogs().ShowException(Format("Dravik could not save %s: %s", change.What, error));
      });
  }
}

void TPendingSaves::SaveOrDiscard() {
  const std::string prefix = WinePrefix();
  while (Flush(), !Empty()) {
    std::string list;
    for (const std::string& what : Descriptions())
      list += "- " + what + "\n";
    const std::string question =
        Format("Wine is still running for the prefix %s, so Dravik has not saved:\n\n%s\n"
               "Choose Yes to wait until Wine has ended (quit the game and any other Wine "
               "program of this prefix) and save then, or No to discard these changes.",
               prefix, list);
    if (Dialogs().MessageDlg(question, mtWarning, {mbYes, mbNo}) != mrYes) break;
    Dialogs().WaitUntil(Format("Waiting for Wine to end for the prefix %s.\n\n"
                               "Quit the game and any other Wine program of this prefix: Dravik "
                               "saves its changes as soon as Wine has ended. Cancel asks again.",
                               prefix),
                        [&prefix] { return !WineServerRunning(prefix); });
  }
  Clear();
}

TPendingSaves& PendingSaves() {
  static TPendingSaves saves;
  return saves;
}

bool SaveWhenWineAllows(const std::string& what, const std::function<void()>& save) {
  return RetryWhileRefused(what, "leave the prefix as it is", save);
}

} // namespace dravik
