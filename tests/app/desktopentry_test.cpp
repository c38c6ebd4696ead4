// The menu entry and the GOB file type as the desktop's own tools read them: valid, a GOB
// archive known by its name or by its first bytes, and Dravik offered for it.
#include "tests/fixtures/tempprefix.h"

#include <QProcess>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

TEST(DesktopEntry, FileManagersOfferDravikForGobArchives) {
  TTempDir data; // a data folder as /usr/share is one
  const std::string res = DRAVIK_RESOURCES;
  const QString dir = QString::fromStdString(data.Path());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
    env.insert(name, dir);
  env.insert("PATH", dir + "/bin:" + env.value("PATH")); // GLib offers programs on the path
  WriteHostFile(data.Path() + "/bin/dravik", "#!/bin/sh\n");
  fs::permissions(data.Path() + "/bin/dravik", fs::perms::owner_all);
  WriteHostFile(data.Path() + "/mime/packages/dravik.xml", ReadHostFile(res + "/dravik-mime.xml"));
  WriteHostFile(data.Path() + "/applications/dravik.desktop",
                ReadHostFile(res + "/dravik.desktop"));
  WriteHostFile(data.Path() + "/by-content", std::string("GOB \x14\0\0\0", 8));
  WriteHostFile(data.Path() + "/by-name.GOB", "\x01\x02");
  auto run = [&](const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0) << program.toStdString();
    return process.readAll().toStdString();
  };
  EXPECT_EQ(run("desktop-file-validate", {dir + "/applications/dravik.desktop"}), "");
  run("update-mime-database", {dir + "/mime"});
  run("update-desktop-database", {dir + "/applications"});
  for (const char* file : {"/by-content", "/by-name.GOB"})
    EXPECT_NE(run("gio", {"info", "-a", "standard::content-type", dir + file})
                  .find("content-type: application/x-halvex-gob"),
              std::string::npos)
        << file;
  EXPECT_NE(run("gio", {"mime", "application/x-halvex-gob"})
                .find("Registered applications:\n\tdravik.desktop"),
            std::string::npos);
}

} // namespace
