// Handing files to the running instance over a local socket: the round trip, a socket left by
// a crash, an instance that does not answer, and peers that send garbage.
#include "platform/instance.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/qtmain/eventloop.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace dravik;
using namespace dravik::test;

namespace {

// A socket file at `path` with a listener that never accepts (alive = true: a hung instance)
// or with none at all (alive = false: what a crash leaves). Returns the listening descriptor.
int RawSocket(const std::string& path, bool alive) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::listen(fd, 4), 0);
  if (alive) return fd;
  ::close(fd); // the file stays
  return -1;
}

class Instance : public ::testing::Test {
protected:
  TTempDir runtime;
  std::string name;
  TInstanceServer server;
  std::vector<THandedOver> received;

  void SetUp() override {
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    name = InstanceName("/some/prefix");
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
};

TEST_F(Instance, NamesFollowThePrefixFolderNotItsSpelling) {
  TTempDir prefix;
  const std::string name1 = InstanceName(prefix.Path());
  EXPECT_EQ(InstanceName(prefix.Path() + "/"), name1);
  EXPECT_EQ(
      InstanceName(prefix.Path() + "/../" + prefix.Path().substr(prefix.Path().rfind('/') + 1)),
      name1);
  EXPECT_NE(InstanceName(runtime.Path()), name1);
  EXPECT_EQ(name1.rfind(runtime.Path() + "/dravik-", 0), 0u);
}

TEST_F(Instance, HandsOverWhatTheCommandLineNamed) {
  EXPECT_EQ(HandToRunningInstance(name, {}, 1000), hoNoInstance);
  ASSERT_TRUE(server.Listen(name));
  const THandedOver what{
      {"/home/me/two words.gob", "/tmp/línea\nnueva.zip", "https://h.example/x.gob"},
      {"-bogus", ""}};
  EXPECT_EQ(HandOver(what), hoDelivered);
  ASSERT_TRUE(WaitFor([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0].Items, what.Items);
  EXPECT_EQ(received[0].Unknown, what.Unknown);
  // A second instance does not take the name from the first.
  TInstanceServer second;
  EXPECT_FALSE(second.Listen(name));
  EXPECT_EQ(HandOver({{"/a.gob"}, {}}), hoDelivered);
  ASSERT_TRUE(WaitFor([&] { return received.size() == 2; }));
}

TEST_F(Instance, ASocketLeftByACrashIsNoInstanceAndIsReplaced) {
  RawSocket(name, false);
  EXPECT_EQ(HandToRunningInstance(name, {{"/a.gob"}, {}}, 1000), hoNoInstance);
  ASSERT_TRUE(server.Listen(name));
  EXPECT_EQ(HandOver({{"/a.gob"}, {}}), hoDelivered);
}

TEST_F(Instance, AnInstanceThatDoesNotAnswerTimesOutAndKeepsItsName) {
  const int fd = RawSocket(name, true);
  EXPECT_EQ(HandToRunningInstance(name, {{"/a.gob"}, {}}, 200), hoNoAnswer);
  EXPECT_FALSE(server.Listen(name));
  ::close(fd);
}

TEST_F(Instance, GarbageIsDroppedAndTheServerGoesOn) {
  ASSERT_TRUE(server.Listen(name));
  const QByteArray bad[] = {
      QByteArray("HTTP/1.0 200 OK\r\n\r\n"), // not a hand-over
      QByteArray("DRVK\xff\xff\xff\xff", 8), // claims 4 GB
      QByteArray("DRVK\0\0\0\x03Xab", 11),   // an entry of no known kind
      QByteArray("DRVK\0\0\0\x03Iab", 11),   // an entry without its end
  };
  for (const QByteArray& message : bad) {
    QLocalSocket peer;
    peer.connectToServer(QString::fromStdString(name));
    ASSERT_TRUE(peer.waitForConnected(5000));
    peer.write(message);
    peer.flush();
    EXPECT_TRUE(WaitFor([&] { return peer.state() == QLocalSocket::UnconnectedState; }))
        << message.toHex().toStdString();
  }
  EXPECT_TRUE(received.empty());
  EXPECT_EQ(HandOver({{"/a.gob"}, {}}), hoDelivered);
  EXPECT_TRUE(WaitFor([&] { return received.size() == 1; }));
}

} // namespace
