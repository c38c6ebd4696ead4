// The program run twice on one prefix, as a file manager runs it: the first start installs the
// file it was given, the second hands its file to the first and ends.
#include "tests/fixtures/testgame.h"
#include "tests/qtmain/eventloop.h"

#include <QProcess>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

// Everything a start may take from its user, kept in temporary folders.
QProcessEnvironment Environment(const TTestGame& game, const TTempDir& home) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("WINEPREFIX", QString::fromStdString(game.Prefix.Path()));
  env.insert("HOME", QString::fromStdString(home.Path()));
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(home.Path() + "/config"));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home.Path() + "/run"));
  fs::create_directories(home.Path() + "/run");
  fs::permissions(home.Path() + "/run", fs::perms::owner_all);
  return env;
}

TEST(HandOver, ASecondStartHandsItsFileToTheFirst) {
  TTestGame game;
  TTempDir home, first, second;
  game.WritePatch(first.Path() + "/x.gob", {"x.mat"});
  game.WritePatch(second.Path() + "/y.gob", {"y.mat"});
  const QProcessEnvironment env = Environment(game, home);
  const int kStartMs = 120000; // a sanitizer build on a busy machine starts slowly

  QProcess running;
  running.setProcessEnvironment(env);
  running.setWorkingDirectory(QString::fromStdString(first.Path()));
  running.start(DRAVIK_PROGRAM, {"x.gob"});
  ASSERT_TRUE(running.waitForStarted());
  ASSERT_TRUE(WaitFor([&] { return HostExists(game.InactiveHost("x.gob")); }, kStartMs));

  QProcess later;
  later.setProcessEnvironment(env);
  later.setWorkingDirectory(QString::fromStdString(second.Path()));
  later.start(DRAVIK_PROGRAM, {"y.gob"});
  ASSERT_TRUE(later.waitForFinished(kStartMs)) << "the second start did not end";
  EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardError().toStdString();
  EXPECT_TRUE(WaitFor([&] { return HostExists(game.InactiveHost("y.gob")); }, kStartMs));
  EXPECT_EQ(running.state(), QProcess::Running);

  running.terminate();
  if (!running.waitForFinished(30000)) running.kill();
}

} // namespace
