// The menu entry and the GOB file type as the desktop's own tools read them: valid, a GOB
// archive known by its name or by its first bytes, and Dravik offered for it.
#include "tests/fixtures/tempprefix.h"

#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik::test;
namespace fs = std::filesystem;

namespace {

class DesktopEntry : public ::testing::Test {
protected:
  TTempDir data; // a data folder as /usr/share is one
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

  void SetUp() override {
    for (const char* tool :
         {"desktop-file-validate", "update-mime-database", "update-desktop-database", "gio"})
      if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << "no " << tool;
    const QString dir = QString::fromStdString(data.Path());
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS"})
      env.insert(name, dir);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
      env.insert(name, dir + "/config");
    // GLib offers only programs it finds on the path.
    WriteHostFile(data.Path() + "/bin/dravik", "#!/bin/sh\n");
    fs::permissions(data.Path() + "/bin/dravik", fs::perms::owner_all);
    env.insert("PATH", dir + "/bin:" + env.value("PATH"));
  }
  // Runs a tool; its output, after checking that it ended well.
  std::string Run(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    const std::string output = process.readAll().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << output;
    return output;
  }
};

TEST_F(DesktopEntry, FileManagersOfferDravikForGobArchives) {
  const std::string resources = DRAVIK_RESOURCES;
  EXPECT_EQ(Run("desktop-file-validate", {QString::fromStdString(resources + "/dravik.desktop")}),
            "");
  MakeHostDirs(data.Path() + "/mime/packages");
  MakeHostDirs(data.Path() + "/applications");
  fs::copy_file(resources + "/dravik-mime.xml", data.Path() + "/mime/packages/dravik.xml");
  fs::copy_file(resources + "/dravik.desktop", data.Path() + "/applications/dravik.desktop");
  Run("update-mime-database", {QString::fromStdString(data.Path() + "/mime")});
  Run("update-desktop-database", {QString::fromStdString(data.Path() + "/applications")});

  WriteHostFile(data.Path() + "/by-content", std::string("GOB \x14\0\0\0", 8));
  WriteHostFile(data.Path() + "/by-name.GOB", std::string("\x01\x02\x03", 3));
  for (const char* file : {"by-content", "by-name.GOB"})
    EXPECT_NE(Run("gio", {"info", "-a", "standard::content-type",
                          QString::fromStdString(data.Path() + "/" + file)})
                  .find("standard::content-type: application/x-halvex-gob"),
              std::string::npos)
        << file;
  EXPECT_NE(Run("gio", {"mime", "application/x-halvex-gob"})
                .find("Registered applications:\n\tdravik.desktop"),
            std::string::npos);
}

} // namespace
