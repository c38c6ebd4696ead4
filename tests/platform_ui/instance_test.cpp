// Handing files to the running instance over a local socket: the round trip, a socket left by
// a crash, an instance that does not answer, and peers that send garbage.
#include "platform/instance.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/qtmain/eventloop.h"

#include <QLocalSocket>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;

namespace {

class Instance : public ::testing::Test {
protected:
  TTempDir runtime;
  std::string name;
  TInstanceServer server;
  std::vector<THandedOver> received;

  void SetUp() override {
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    name = InstanceName(runtime.Path());
    server.OnReceive = [this](const THandedOver& what) { received.push_back(what); };
  }
  void TearDown() override { ::unsetenv("XDG_RUNTIME_DIR"); }
  // Hands `what` over from another thread, while this one runs the server.
  THandOver HandOver(const THandedOver& what, int timeoutMs = 10000) {
    auto result = std::async(std::launch::async,
                             [&] { return HandToRunningInstance(name, what, timeoutMs); });
    EXPECT_TRUE(WaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return result.get();
  }
  // A socket file at `name` whose listener never accepts (a hung instance), or, closed, none
  // at all (what a crash leaves).
  int RawListener() {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd, 4), 0);
    return fd;
  }
};

TEST_F(Instance, HandsOverWhatTheCommandLineNamed) {
  // One name per prefix folder, however it is spelled.
  EXPECT_EQ(InstanceName(runtime.Path() + "/./"), name);
  EXPECT_NE(InstanceName("/elsewhere"), name);
  EXPECT_EQ(name.rfind(runtime.Path() + "/dravik-", 0), 0u);

  EXPECT_EQ(HandToRunningInstance(name, {}, 1000), hoNoInstance);
  ASSERT_TRUE(server.Listen(name));
  const THandedOver what{{"/a b.gob", "/tmp/línea\nnueva.zip", "https://h.example/x.gob"},
                         {"-bogus", ""},
                         "Duel Night"};
  EXPECT_EQ(HandOver(what), hoDelivered);
  ASSERT_TRUE(WaitFor([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0].Items, what.Items);
  EXPECT_EQ(received[0].Unknown, what.Unknown);
  EXPECT_EQ(received[0].Set, what.Set);
  EXPECT_FALSE(TInstanceServer().Listen(name)); // a second instance leaves the name alone
  EXPECT_EQ(HandOver({{"/a.gob"}, {}, std::nullopt}), hoDelivered);
  ASSERT_TRUE(WaitFor([&] { return received.size() == 2; }));
  EXPECT_FALSE(received[1].Set);
}

TEST_F(Instance, ASocketLeftByACrashIsReplacedASilentInstanceKeepsItsName) {
  ::close(RawListener());
  EXPECT_EQ(HandToRunningInstance(name, {{"/a.gob"}, {}, std::nullopt}, 1000), hoNoInstance);
  ASSERT_TRUE(server.Listen(name));
  server.Close();
  const int hung = RawListener();
  EXPECT_EQ(HandToRunningInstance(name, {{"/a.gob"}, {}, std::nullopt}, 200), hoNoAnswer);
  EXPECT_FALSE(server.Listen(name));
  ::close(hung);
}

TEST_F(Instance, GarbageIsDroppedAndTheServerGoesOn) {
  ASSERT_TRUE(server.Listen(name));
  for (const QByteArray& message : {
           QByteArray("HTTP/1.0 200 OK\r\n\r\n"), // not a hand-over
           QByteArray("DRVK\xff\xff\xff\xff", 8), // claims 4 GB
           QByteArray("DRVK\0\0\0\x03Xab", 11),   // an entry of no known kind
           QByteArray("DRVK\0\0\0\x03Iab", 11),   // an entry without its end
       }) {
    QLocalSocket peer;
    peer.connectToServer(QString::fromStdString(name));
    ASSERT_TRUE(peer.waitForConnected(5000));
    peer.write(message);
    EXPECT_TRUE(WaitFor([&] { return peer.state() == QLocalSocket::UnconnectedState; }))
        << message.toHex().toStdString();
  }
  EXPECT_TRUE(received.empty());
  EXPECT_EQ(HandOver({{"/a.gob"}, {}, std::nullopt}), hoDelivered);
  ASSERT_TRUE(WaitFor([&] { return received.size() == 1; }));
  EXPECT_FALSE(received[0].Set);
}

} // namespace
