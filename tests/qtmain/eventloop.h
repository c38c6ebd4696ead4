// For tests of widgets that work through the event loop (page retrieval, queued commands):
// waiting until what the test waits for has happened, and Qt's own requests kept off proxies.
// Link Qt6::Test and Qt6::Network.
#pragma once

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTest>
#include <functional>

namespace dravik::test {

// Runs the event loop until `done` holds; false after `ms` milliseconds without.
inline bool WaitFor(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QTest::qWait(5);
  }
  return true;
}

// Requests go straight to 127.0.0.1, whatever the environment says about proxies.
inline void NoProxies() {
  QNetworkProxyFactory::setUseSystemConfiguration(false);
  QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

} // namespace dravik::test
