#include "gob/gobdocument.h"
#include "platform/dialogs.h"
#include "platform/sysutils.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/tempprefix.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;
using namespace std::string_literals;

namespace {

class GobDocument : public ::testing::Test {
protected:
  TTempPrefix prefix;
  TScriptedDialogs dialogs;
  TGOBDocument doc;

  // A file under C:\ with the given bytes; returns its Windows path.
  std::string File(const std::string& rel, const std::string& bytes) {
    WriteHostFile(prefix.HostC(rel), bytes);
    std::string win = "C:\\" + rel;
    std::replace(win.begin(), win.end(), '/', '\\');
    return win;
  }
  TGOBDirectory* Dir(const std::string& path) { return doc.ForceDirectory(path, doc.Root()); }
  static std::vector<std::string> Names(const TGOBDirectory* d) {
    std::vector<std::string> r;
    for (const auto& m : d->Members)
      r.push_back(m->Name);
    return r;
  }
  static std::vector<std::string> Children(const TGOBDirectory* d) {
    std::vector<std::string> r;
    for (const auto& c : d->Children)
      r.push_back(c->Caption);
    return r;
  }
  static std::string Bytes(const TGOBThing& t) { return std::string(t.Data.begin(), t.Data.end()); }
  // Full names stored in an archive, in directory order.
  std::vector<std::string> Stored(const std::string& rel) {
    std::vector<std::string> r;
    for (const auto& m : ReadGOB("C:\\" + rel))
      r.push_back(m.FullName);
    return r;
  }
};

TEST_F(GobDocument, NewDocumentHasRootTableAndNoChanges) {
  EXPECT_EQ(doc.Root()->Caption, "\\");
  EXPECT_TRUE(doc.Root()->Children.empty());
  EXPECT_EQ(doc.Caption, "Dazer Erezez");
  EXPECT_TRUE(doc.FileName.empty());
  EXPECT_FALSE(doc.Modified);
  ASSERT_EQ(doc.ExtensionDirs.Count(), 16);
  EXPECT_EQ(doc.ExtensionDirs[0], ".3do=3do\\");
  EXPECT_EQ(doc.ExtensionDirs[4], ".bm=ui\\bm");
  EXPECT_EQ(doc.ExtensionDirs[15], ".uni=ui\\");
}

TEST_F(GobDocument, AddedFilesArePlacedByTheExtensionTable) {
  doc.AddFile(File("mods/wall.MAT", "mat"), true, "");
  doc.AddFile(File("mods/boom.wav", "wav"), true, "");
  doc.AddFile(File("mods/README", "r"), true, "");
  doc.AddFile(File("mods/logo.BM", "bm"), true, "");
  doc.AddFile(File("mods/x.ai2", "ai"), true, "");
  EXPECT_TRUE(doc.Modified);
  EXPECT_EQ(Names(Dir("3do\\mat\\")), std::vector<std::string>{"wall.MAT"});
  EXPECT_EQ(Names(doc.Root()), (std::vector<std::string>{"boom.wav", "README"}));
  EXPECT_EQ(Names(Dir("ui\\bm")), std::vector<std::string>{"logo.BM"});
  EXPECT_EQ(Names(Dir("misc\\ai")), std::vector<std::string>{"x.ai2"});
  // Directories appear in the order they were first needed, each once.
  EXPECT_EQ(Children(doc.Root()), (std::vector<std::string>{"3do", "ui", "misc"}));
  EXPECT_EQ(Bytes(*Dir("3do\\mat")->Members[0]), "mat");
  EXPECT_EQ(Dir("3do\\mat")->Members[0]->Length, 3);
  EXPECT_TRUE(dialogs.Asked().empty());
}

TEST_F(GobDocument, AddingANameAlreadyThereAsksBeforeReplacingInPlace) {
  doc.AddFile(File("a/wall.mat", "old"), true, "");
  doc.AddFile(File("a/floor.mat", "f"), true, "");
  dialogs.Answer(mrNo);
  doc.AddFile(File("b/wall.mat", "new"), true, "");
  ASSERT_EQ(dialogs.Asked().size(), 1u);
  EXPECT_EQ(dialogs.Asked()[0].Text, "Overwrite 3do\\mat\\wall.mat?");
  EXPECT_EQ(dialogs.Asked()[0].Type, mtConfirmation);
  EXPECT_EQ(dialogs.Asked()[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_EQ(Bytes(*Dir("3do\\mat")->Members[0]), "old");
  dialogs.Answer(mrYes);
  doc.AddFile(File("b/wall.mat", "new"), true, "");
  EXPECT_EQ(Names(Dir("3do\\mat")), (std::vector<std::string>{"wall.mat", "floor.mat"}));
  EXPECT_EQ(Bytes(*Dir("3do\\mat")->Members[0]), "new");
  // Letter case counts: a second member, no question.
  doc.AddFile(File("c/Wall.mat", "W"), true, "");
  EXPECT_EQ(Names(Dir("3do\\mat")),
            (std::vector<std::string>{"wall.mat", "floor.mat", "Wall.mat"}));
  // Placed by path below the selected directory, the question names that path.
  doc.Selected = Dir("misc");
  doc.AddFile(File("d/x.cog", "1"), false, "extra");
  dialogs.Answer(mrNo);
  doc.AddFile(File("e/x.cog", "2"), false, "extra");
  EXPECT_EQ(dialogs.Asked().back().Text, "Overwrite extra\\x.cog?");
  EXPECT_EQ(Names(Dir("misc\\extra")), std::vector<std::string>{"x.cog"});
  EXPECT_TRUE(dialogs.AllAnswered());
}

TEST_F(GobDocument, PatchinfoFileReplacesTheDescriptorWithoutAMember) {
  doc.AddFile(File("x/PatchInfo.TXT", "Name=Big Guns\r\nType=Weapon\nAuthor=Me\rtail\0after"s),
              true, "");
  EXPECT_EQ(doc.PatchInfo.Lines(),
            (std::vector<std::string>{"Name=Big Guns", "Type=Weapon", "Author=Me", "tail"}));
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(doc.MemberCount(), 0);
  doc.AddFile(File("y/a.cog", ""), true, "");
  doc.AddFile(File("y/patchinfo.txt", "Name=\xE9t\xE9"), false, "sub");
  EXPECT_TRUE(doc.Modified);
  EXPECT_EQ(doc.PatchInfo.Lines(), std::vector<std::string>{"Name=\xC3\xA9t\xC3\xA9"});
  EXPECT_THROW(doc.AddFile("C:\\missing\\patchinfo.txt", true, ""), EFOpenError);
}

TEST_F(GobDocument, NamesAWindowsArchiveCannotHoldAreRefusedByName) {
  dialogs.Answer(mrOk);
  doc.AddFile(File("m/\xE6\x97\xA5\xE6\x9C\xAC.cog", "x"), true, "");
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_NE(dialogs.Messages()[0].find("C:\\m\\\xE6\x97\xA5\xE6\x9C\xAC.cog"), std::string::npos);
  EXPECT_EQ(doc.MemberCount(), 0);
  EXPECT_FALSE(doc.Modified);
  // Letters Windows-1252 has are stored in it.
  doc.AddFile(File("m/caf\xC3\xA9.cog", "x"), true, "");
  doc.WriteGOB("C:\\out.gob");
  EXPECT_NE(ReadHostFile(prefix.HostC("out.gob")).find("cog\\caf\xE9.cog"), std::string::npos);
}

TEST_F(GobDocument, UnreadableFilesAreSkippedSilently) {
  doc.AddFile("C:\\nowhere\\gone.cog", true, "");
  MakeHostDirs(prefix.HostC("folder.cog"));
  doc.AddFile("C:\\folder.cog", true, "");
  EXPECT_EQ(doc.MemberCount(), 0);
  EXPECT_TRUE(doc.Modified);
  EXPECT_TRUE(dialogs.Asked().empty());
}

TEST_F(GobDocument, LoadingPlacesMembersAndTakesTheRootDescriptor) {
  WriteHostFile(prefix.HostC("x/mypatch.gob"),
                MakeGOBBytes({{"cog\\a.cog", "A"},
                              {"PATCHINFO.TXT", "Name=First\r\n"},
                              {"\\3do\\b.3do", "B"},
                              {"misc\\patchinfo.txt", "not a descriptor"},
                              {"\\patchinfo.txt", "Name=Big Guns\r\nType=Weapon\r\n"},
                              {"top.wav", "W"},
                              {"3do\\mat\\c.mat", "C"}}));
  doc.Modified = true;
  dialogs.Answer(mrNo);
  ASSERT_TRUE(doc.LoadGOB("C:\\x\\mypatch.gob"));
  EXPECT_EQ(dialogs.Asked()[0].Text, "File has changed! Save?");
  EXPECT_EQ(doc.FileName, "C:\\x\\mypatch.gob");
  EXPECT_EQ(doc.Caption, "Dazer Erezez - mypatch.gob");
  EXPECT_FALSE(doc.Modified);
  // The last root descriptor decides; neither becomes a member.
  EXPECT_EQ(doc.PatchInfo.Lines(), (std::vector<std::string>{"Name=Big Guns", "Type=Weapon"}));
  EXPECT_EQ(Names(doc.Root()), std::vector<std::string>{"top.wav"});
  EXPECT_EQ(Children(doc.Root()), (std::vector<std::string>{"cog", "3do", "misc"}));
  EXPECT_EQ(Names(Dir("3do")), std::vector<std::string>{"b.3do"});
  EXPECT_EQ(Children(Dir("3do")), std::vector<std::string>{"mat"});
  EXPECT_EQ(Names(Dir("misc")), std::vector<std::string>{"patchinfo.txt"});
  EXPECT_EQ(doc.MemberCount(), 5);
}

TEST_F(GobDocument, ArchiveThatCannotBeOpenedLeavesAnEmptyDocumentUnderItsName) {
  doc.AddFile(File("a.cog", "x"), true, "");
  doc.Modified = false;
  EXPECT_THROW(doc.LoadGOB("C:\\missing.gob"), EFOpenError);
  EXPECT_EQ(doc.FileName, "C:\\missing.gob");
  EXPECT_EQ(doc.Caption, "Dazer Erezez - missing.gob");
  EXPECT_EQ(doc.MemberCount(), 0);
}

TEST_F(GobDocument, SavingWritesTreeOrderWithTheDescriptorLastInTheRoot) {
  doc.AddFile(File("s/b.cog", "bb"), true, "");
  doc.AddFile(File("s/z.wav", "z"), true, "");
  doc.AddFile(File("s/a.mat", "a"), true, "");
  doc.AddFile(File("s/m.3do", "m"), true, "");
  doc.AddFile(File("s/a.wav", "a"), true, "");
  doc.Selected = doc.Root();
  doc.NewDirectory(); // empty: not stored
  doc.PatchInfo.SetText("Name=X\r\nType=Skin");
  doc.WriteGOB("C:\\one.gob");
  EXPECT_EQ(doc.FileName, "C:\\one.gob");
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(Stored("one.gob"),
            (std::vector<std::string>{"z.wav", "a.wav", "patchinfo.txt", "cog\\b.cog", "3do\\m.3do",
                                      "3do\\mat\\a.mat"}));
  auto read = ReadGOB("C:\\one.gob");
  EXPECT_EQ(Bytes(*read[2].Thing), "Name=X\r\nType=Skin\r\n");
  // The document is unchanged by saving, and saving again gives the same bytes.
  EXPECT_EQ(Names(doc.Root()), (std::vector<std::string>{"z.wav", "a.wav"}));
  doc.WriteGOB("C:\\two.gob");
  EXPECT_EQ(ReadHostFile(prefix.HostC("one.gob")), ReadHostFile(prefix.HostC("two.gob")));
  // Reloading: the empty directory is gone, one descriptor, same members.
  doc.LoadGOB("C:\\two.gob");
  EXPECT_EQ(Children(doc.Root()), (std::vector<std::string>{"cog", "3do"}));
  EXPECT_EQ(doc.PatchInfo.Lines(), (std::vector<std::string>{"Name=X", "Type=Skin"}));
  doc.WriteGOB("C:\\three.gob");
  EXPECT_EQ(ReadHostFile(prefix.HostC("one.gob")), ReadHostFile(prefix.HostC("three.gob")));
  // An empty descriptor writes no descriptor member.
  doc.PatchInfo.Clear();
  doc.WriteGOB("C:\\four.gob");
  EXPECT_EQ(Stored("four.gob").size(), 5u);
}

TEST_F(GobDocument, SiblingsOfTheSameNameMergeWhenReloaded) {
  doc.Selected = doc.Root();
  doc.NewDirectory()->Members.push_back(std::make_unique<TGOBThing>());
  doc.Root()->Children[0]->Members[0]->Name = "one.cog";
  doc.NewDirectory()->Members.push_back(std::make_unique<TGOBThing>());
  doc.Root()->Children[1]->Members[0]->Name = "two.cog";
  doc.WriteGOB("C:\\dup.gob");
  EXPECT_EQ(Stored("dup.gob"),
            (std::vector<std::string>{"New Directory\\one.cog", "New Directory\\two.cog"}));
  doc.LoadGOB("C:\\dup.gob");
  EXPECT_EQ(Children(doc.Root()), std::vector<std::string>{"New Directory"});
  EXPECT_EQ(Names(Dir("New Directory")), (std::vector<std::string>{"one.cog", "two.cog"}));
}

TEST_F(GobDocument, SaveThatCannotStoreAPathChangesNothing) {
  File("keep.gob", "old archive");
  doc.AddFile(File("ok.cog", "x"), true, "");
  TGOBDirectory* deep = Dir(std::string(60, 'd') + "\\" + std::string(60, 'e'));
  deep->Members.push_back(std::make_unique<TGOBThing>());
  deep->Members[0]->Name = "long-name.cog"; // 60 + 1 + 60 + 1 + 13 = 135 characters
  try {
    doc.WriteGOB("C:\\keep.gob");
    FAIL() << "saved a path the archive cannot hold";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("long-name.cog"), std::string::npos);
  }
  EXPECT_TRUE(doc.FileName.empty());
  EXPECT_TRUE(doc.Modified);
  EXPECT_EQ(ReadHostFile(prefix.HostC("keep.gob")), "old archive");
  // Descriptor text the archive's characters cannot carry is refused too.
  deep->Members.clear();
  doc.PatchInfo.SetText("Name=\xE6\x97\xA5");
  EXPECT_THROW(doc.WriteGOB("C:\\keep.gob"), Exception);
  EXPECT_EQ(ReadHostFile(prefix.HostC("keep.gob")), "old archive");
}

TEST_F(GobDocument, SaveQuestionAnswers) {
  EXPECT_TRUE(doc.QuerySave()); // nothing changed: no question
  EXPECT_TRUE(dialogs.Asked().empty());
  doc.AddFile(File("a.cog", "x"), true, "");
  // Cancel keeps everything, and the next attempt asks again.
  dialogs.Answer(mrCancel);
  EXPECT_FALSE(doc.NewGOB());
  EXPECT_EQ(doc.MemberCount(), 1);
  EXPECT_TRUE(doc.Modified);
  EXPECT_EQ(dialogs.Asked()[0].Text, "File has changed! Save?");
  EXPECT_EQ(dialogs.Asked()[0].Type, mtWarning);
  EXPECT_EQ(dialogs.Asked()[0].Buttons, (TMsgDlgButtons{mbYes, mbNo, mbCancel}));
  // Yes, but no archive gets written (Save As cancelled): stop, nothing lost.
  int saves = 0;
  doc.OnSave = [&] {
    ++saves;
    return false;
  };
  dialogs.Answer(mrYes);
  EXPECT_FALSE(doc.QuerySave());
  EXPECT_EQ(saves, 1);
  EXPECT_TRUE(doc.Modified);
  // Yes and a save: go on.
  doc.OnSave = [&] {
    doc.WriteGOB("C:\\mypatch.gob");
    return true;
  };
  dialogs.Answer(mrYes);
  EXPECT_TRUE(doc.QuerySave());
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(Stored("mypatch.gob"), std::vector<std::string>{"cog\\a.cog"});
  // The question names the document's file; No discards.
  doc.AddFile(File("b.cog", "x"), true, "");
  dialogs.Answer(mrNo);
  EXPECT_TRUE(doc.NewGOB());
  EXPECT_EQ(dialogs.Asked().back().Text, "mypatch.gob has changed! Save?");
  EXPECT_EQ(doc.MemberCount(), 0);
  EXPECT_TRUE(doc.FileName.empty());
  EXPECT_FALSE(doc.Modified);
  // A save that fails ends the command with its error; the document stays.
  doc.AddFile(File("c.cog", "x"), true, "");
  doc.OnSave = [&] {
    doc.WriteGOB("C:\\no\\such\\folder\\x.gob");
    return true;
  };
  dialogs.Answer(mrYes);
  EXPECT_THROW(doc.NewGOB(), Exception);
  EXPECT_EQ(doc.MemberCount(), 1);
  EXPECT_TRUE(doc.Modified);
  EXPECT_TRUE(dialogs.AllAnswered());
}

TEST_F(GobDocument, DirectoryEditing) {
  TGOBDirectory* cog = Dir("cog");
  TGOBDirectory* misc = Dir("misc");
  Dir("misc\\snd")->Members.push_back(std::make_unique<TGOBThing>());
  // New directories go under the selected one, or the root; they change nothing saved.
  TGOBDirectory* fresh = doc.NewDirectory();
  EXPECT_EQ(fresh->Parent(), doc.Root());
  EXPECT_EQ(fresh->Caption, "New Directory");
  doc.Selected = misc;
  EXPECT_EQ(doc.NewDirectory()->Parent(), misc);
  EXPECT_FALSE(doc.Modified);
  // A sibling's exact name is refused; another letter case is not.
  dialogs.Answer(mrOk);
  EXPECT_EQ(doc.RenameDirectory(fresh, "cog"), "New Directory");
  EXPECT_EQ(dialogs.Messages().back(), "A directory by that name already exists.");
  EXPECT_EQ(dialogs.Asked().back().Type, mtWarning);
  EXPECT_TRUE(doc.Modified);
  EXPECT_EQ(doc.RenameDirectory(fresh, "COG"), "COG");
  EXPECT_EQ(doc.RenameDirectory(cog, "cog"), "cog"); // its own name is no conflict
  EXPECT_EQ(doc.NodePath(Dir("misc\\snd")), "misc\\snd\\");
  // The root's caption is no part of any path: taken as it is, nothing changes.
  doc.Modified = false;
  EXPECT_EQ(doc.RenameDirectory(doc.Root(), "cog"), "cog");
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(doc.NodePath(misc), "misc\\");
  // Deleting takes the subtree; the root stays.
  doc.Selected = Dir("misc\\snd");
  doc.DeleteDirectory(misc);
  EXPECT_EQ(doc.Selected, nullptr);
  EXPECT_EQ(Children(doc.Root()), (std::vector<std::string>{"cog", "COG"}));
  EXPECT_EQ(doc.MemberCount(), 0);
  EXPECT_TRUE(doc.Modified);
  doc.DeleteDirectory(doc.Root());
  EXPECT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.FindDirectory(cog->Id()), cog);
  EXPECT_TRUE(dialogs.AllAnswered());
}

TEST_F(GobDocument, MemberSortingMovingDeletingAndRenaming) {
  TGOBDirectory* d = Dir("x");
  for (const char* n : {"b.cog", "_u.cog", "a.cog", "A.COG", "ab", "a", "\xC3\xA9.cog",
                        "\xE2\x82\xAC.cog", "Z.cog"}) {
    d->Members.push_back(std::make_unique<TGOBThing>());
    d->Members.back()->Name = n;
  }
  TGOBDocument::SortMembers(d);
  // a..z as A..Z ('_' after 'Z'), a beginning first, equal names in their order, and other
  // letters by their Windows-1252 code (the euro sign 0x80 before e-acute 0xE9).
  EXPECT_EQ(Names(d), (std::vector<std::string>{"a", "a.cog", "A.COG", "ab", "b.cog", "Z.cog",
                                                "_u.cog", "\xE2\x82\xAC.cog", "\xC3\xA9.cog"}));
  // Moving takes the last selected first and appends: they arrive in reverse order.
  TGOBDirectory* to = Dir("y");
  doc.MoveMembers(d, {0, 3, 1}, d);
  EXPECT_FALSE(doc.Modified);
  doc.MoveMembers(d, {0, 3, 1}, to);
  EXPECT_EQ(Names(to), (std::vector<std::string>{"ab", "a.cog", "a"}));
  EXPECT_EQ(d->Members.size(), 6u);
  EXPECT_TRUE(doc.Modified);
  doc.DeleteMembers(d, {5, 0, 5});
  EXPECT_EQ(Names(d), (std::vector<std::string>{"b.cog", "Z.cog", "_u.cog", "\xE2\x82\xAC.cog"}));
  doc.Modified = false;
  doc.RenameMember(d, 1, "renamed\\as typed");
  EXPECT_EQ(d->Members[1]->Name, "renamed\\as typed");
  EXPECT_TRUE(doc.Modified);
}

TEST_F(GobDocument, AddingAFolderKeepsItsTreeUnderTheSelectedDirectory) {
  File("work/3do/a.3do", "a");
  File("work/3do/.hidden.3do", "h");
  File("work/3do/sub/b.mat", "b");
  File("work/3do/.git/config", "g");
  File("work/3do/patchinfo.txt", "Name=From Folder");
  MakeHostDirs(prefix.HostC("work/3do/empty"));
  doc.Selected = Dir("misc");
  doc.AddFolder("C:\\work\\3do", "");
  EXPECT_TRUE(doc.Modified);
  EXPECT_EQ(Names(Dir("misc\\3do")), std::vector<std::string>{"a.3do"}); // not by extension
  EXPECT_EQ(Names(Dir("misc\\3do\\sub")), std::vector<std::string>{"b.mat"});
  EXPECT_EQ(Children(Dir("misc\\3do")), std::vector<std::string>{"sub"});
  EXPECT_EQ(doc.PatchInfo.Lines(), std::vector<std::string>{"Name=From Folder"});
  EXPECT_EQ(doc.MemberCount(), 2);
  // With a trailing backslash, the folder keeps its name.
  doc.Selected = nullptr;
  doc.AddFolder("C:\\work\\3do\\sub\\", "");
  EXPECT_EQ(Names(Dir("sub")), std::vector<std::string>{"b.mat"});
}

TEST_F(GobDocument, FolderThatLinksBackToItselfEnds) {
  File("loop/x.cog", "x");
  std::filesystem::create_directory_symlink(".", prefix.HostC("loop/again"));
  dialogs.Answer(mrOk);
  doc.AddFolder("C:\\loop", "");
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_NE(dialogs.Messages()[0].find("longer than 127"), std::string::npos);
  // Every level that can still hold a member was added.
  EXPECT_GT(doc.MemberCount(), 10);
  EXPECT_EQ(Names(Dir("loop\\again")), std::vector<std::string>{"x.cog"});
}

TEST_F(GobDocument, FolderWithANameTheArchiveCannotHoldIsRefused) {
  File("\xE6\x97\xA5/x.cog", "x");
  dialogs.Answer(mrOk);
  doc.AddFolder("C:\\\xE6\x97\xA5", "");
  EXPECT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(doc.MemberCount(), 0);
  EXPECT_TRUE(doc.Root()->Children.empty());
}

} // namespace
