// The repository window on the demo prefix: the demo repository is read from the prefix and
// its patches install offline. With DRAVIK_SCREENSHOT set to a file name, the window is saved
// there as a picture.
#include "platform/dialogs.h"
#include "platform/html.h"
#include "platform/prefix.h"
#include "platform/scopeexit.h"
#include "repository/repositoryform.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/tempprefix.h"
#include "tools/demoprefix.h"
#include "uitest.h"

#include <QComboBox>
#include <QTextBrowser>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

TEST(RepositoryDemo, TheDemoRepositoryWorksOffline) {
  TTempDir dir;
  MakeDemoPrefix(dir.Path() + "/demo", DRAVIK_STAND_IN_GAME);
  TScopeExit unsetPrefix([] { SetWinePrefix(""); });
  THXPatchedAppList list;
  list.LoadCatalogue();
  THXPatchedApp* halvex = list.Items(0);
  halvex->OpenStore();
  const int before = halvex->Patches.Count();

  TScriptedDialogs dialogs;
  TInstallingMainWindow main(halvex);

  TRepositoryForm form(nullptr, &main);
  form.resize(640, 420);
  form.show();
  ASSERT_TRUE(WaitFor([&] { return !HtmlOf(form)->Busy(); }));
  EXPECT_EQ(HtmlOf(form)->ErrorText(), "");
  EXPECT_EQ(Named<QComboBox>(form, "RepositoryName")->currentText(), "Dravik Demo Repository");
  EXPECT_EQ(Named<QComboBox>(form, "RepositoryName")->count(), 2);
  ASSERT_EQ(EntryCount(form), 7);
  EXPECT_EQ(ListOf(form)->Model->columnCount(), 5);
  EXPECT_NE(HtmlOf(form)->Browser()->toPlainText().indexOf("Dravik Demo Repository"), -1);

  if (const char* shot = std::getenv("DRAVIK_SCREENSHOT")) {
    QTest::qWait(50);
    EXPECT_TRUE(form.grab().save(shot));
    // And the large icons view beside it ("x.png": "x-icons.png").
    form.ViewButtonClick();
    QTest::qWait(50);
    QString icons = QString::fromLocal8Bit(shot);
    icons.insert(icons.lastIndexOf('.') < 0 ? icons.size() : icons.lastIndexOf('.'), "-icons");
    EXPECT_TRUE(form.grab().save(icons));
    form.ViewStyleClick(Named(form, "Details1"));
  }

  form.SelectAll1Click();
  form.Install1Click();
  EXPECT_EQ(main.Downloads().size(), 7u);
  EXPECT_TRUE(dialogs.Asked().empty()) << dialogs.Messages().front();
  halvex->Rescan();
  EXPECT_EQ(halvex->Patches.Count(), before + 8); // the pack holds two
}
