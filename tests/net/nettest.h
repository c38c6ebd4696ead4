// Helpers shared by the network tests: a scripted message pump (the stand-in for the user's
// clicks during a wait), a host resolver that never leaves the machine, a fake progress
// dialog, and the message of an expected error.
#pragma once

#include "net/powersock.h"
#include "net/statusdialog.h"
#include "platform/pump.h"
#include "tests/fixtures/tcpserver.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace dravik::test {

using Clock = std::chrono::steady_clock;

inline long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// The message of the E that `f` throws; "(no error)" when it returns.
template <typename E, typename F> std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "(no error)";
}

// Installs a message pump for the test's lifetime. `At(ms, action)` runs `action` once from
// inside the pump when `ms` have passed since the call, as a click handled during a wait
// would; ClickTime() is when it ran.
class TPumpScript {
public:
  TPumpScript() {
    Calls() = 0;
    Action() = nullptr;
    FPrevious = SetMessagePump(&Pump);
  }
  ~TPumpScript() {
    SetMessagePump(FPrevious);
    Action() = nullptr;
  }
  void At(int ms, std::function<void()> action) {
    auto due = Clock::now() + std::chrono::milliseconds(ms);
    Action() = [due, action = std::move(action)]() mutable {
      if (!action || Clock::now() < due) return;
      auto run = std::move(action);
      action = nullptr;
      ClickTime() = Clock::now();
      run();
    };
  }
  static int& Calls() {
    static int calls = 0;
    return calls;
  }
  static Clock::time_point& ClickTime() {
    static Clock::time_point t;
    return t;
  }

private:
  static std::function<void()>& Action() {
    static std::function<void()> action;
    return action;
  }
  static void Pump() {
    ++Calls();
    if (Action()) Action()();
  }
  TPumpFunction FPrevious = nullptr;
};

// Resolves names from a fixed table (no name lookup leaves the machine), optionally slowly.
// Counts lookups. The resolver it installs refers to no test state.
class TFakeResolver {
public:
  // `delayMs`: how long each lookup takes.
  explicit TFakeResolver(int delayMs = 0) {
    Lookups() = 0;
    FPrevious = SetHostResolver([delayMs](const std::string& host) {
      ++Lookups();
      if (delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      if (host == "halvex.test" || host == "localhost")
        return std::vector<std::string>{"127.0.0.1"};
      // Both families, the one that is not served first: each address is tried in turn.
      if (host == "dual.test") return std::vector<std::string>{"::1", "127.0.0.1"};
      return std::vector<std::string>();
    });
  }
  ~TFakeResolver() { SetHostResolver(FPrevious); }
  static std::atomic<int>& Lookups() {
    static std::atomic<int> n{0};
    return n;
  }

private:
  THostResolver FPrevious;
};

class TFakeStatusDialog : public TStatusDialog {
public:
  std::string Caption, Line1, Line2, ProgressText;
  int64_t Max = 100, Position = 0;
  bool Shown = false;
  int ShowCount = 0;
  std::vector<std::string> Lines1, Lines2; // every text set, in order
  TCancelEvent OnCancel;

  void SetCaption(const std::string& c) override { Caption = c; }
  void SetStatus1(const std::string& t) override {
    Line1 = t;
    Lines1.push_back(t);
  }
  void SetStatus2(const std::string& t) override {
    Line2 = t;
    Lines2.push_back(t);
  }
  void SetProgressMax(int64_t m) override { Max = m; }
  void SetProgressPosition(int64_t p) override { Position = p; }
  void SetProgressText(const std::string& t) override { ProgressText = t; }
  void Show() override {
    Shown = true;
    ++ShowCount;
    Position = 0;
    Line1.clear();
    Line2.clear();
    ProgressText.clear();
  }
  void Hide() override { Shown = false; }
  bool Visible() const override { return Shown; }
  void SetOnCancel(TCancelEvent h) override { OnCancel = std::move(h); }
  // What a click on Cancel does.
  void ClickCancel() {
    if (OnCancel) OnCancel(*this);
  }
};

// A peer that answers any request with `reply`.
inline TTcpServer::THandler Reply(std::string reply) {
  return [reply](TTcpConnection& c) {
    c.ReadUntil("\r\n\r\n");
    c.Send(reply);
  };
}

// What the handler threads of a peer record, in order.
class TRecord {
public:
  // Adds `item`; returns how many items there are now.
  size_t Add(std::string item) {
    std::lock_guard<std::mutex> lock(FMutex);
    FItems.push_back(std::move(item));
    return FItems.size();
  }
  std::vector<std::string> Items() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FItems;
  }

private:
  std::mutex FMutex;
  std::vector<std::string> FItems;
};

// Sets environment variables for its lifetime.
class TEnvironment {
public:
  explicit TEnvironment(std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      FOld.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(name, value.c_str(), 1);
    }
  }
  ~TEnvironment() {
    for (const auto& [name, value] : FOld)
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }

private:
  std::vector<std::pair<const char*, std::optional<std::string>>> FOld;
};

// No proxy from the machine's environment: the tests' requests go to 127.0.0.1 and nowhere else.
class TNoProxies : public TEnvironment {
public:
  TNoProxies()
      : TEnvironment({{"http_proxy", ""},
                      {"https_proxy", ""},
                      {"HTTPS_PROXY", ""},
                      {"all_proxy", ""},
                      {"ALL_PROXY", ""}}) {}
};

} // namespace dravik::test
