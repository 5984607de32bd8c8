#include <gtest/gtest.h>

#include <filesystem>

#include "HLXLines.h"
#include "core/QEMStrs.h"
#include "platform/QEMFiles.h"
#include "support/TestSupport.h"

namespace {

using namespace hlxtest;

class TranslatorMgrTest : public ::testing::Test {
protected:
  // A translated file and its notes with one item per text, all of them untranslated.
  std::unique_ptr<TQEMTranslatorMgr> MakeFile(const std::string& Name,
                                              std::initializer_list<std::u16string> Texts) {
    std::string body;
    for (const auto& t : Texts)
      body += UTF16ToUTF8(t) + " = \"" + UTF16ToUTF8(t) + "\"\n";
    qemtest::WriteTextFile(Dir.Path() / Name, body);
    auto mgr = LinesMgrClass().Create(Dir.U16(Name), false);
    mgr->Stats()->SetOrigLCID(0x409);
    mgr->Stats()->SetXlatLCID(0x407);
    for (const auto& t : Texts) {
      auto item = mgr->NotesFile()->CreateNotesItem();
      item->SetID(t);
      item->SetOrigText(t);
      item->SetXlatText(t);
      mgr->Items()->Add(item);
    }
    mgr->Save(false, 0, 0, false);
    return mgr;
  }

  qemtest::TTempDir Dir;
};

TEST_F(TranslatorMgrTest, CountsAndChangesStatuses) {
  auto mgr = MakeFile("a.lines", {u"s0", u"s1", u"s2", u"s3", u"s4", u"s5", u"s6", u"s7"});
  for (int i = 0; i < QEMStatusCount; ++i)
    mgr->Items()->Get(i)->SetStatus(TResStatus(i));
  int32_t translated = 0, untranslated = 0;
  mgr->CalcStats(translated, untranslated);
  EXPECT_EQ(translated, 4);
  EXPECT_EQ(untranslated, 2);

  const auto hold = mgr->Items()->Get(rsHold);
  hold->SetComment(u"x;check;y;check;");
  TQEMChangeStatusData data;
  data.CurrentStatus = {rsHold};
  data.NewStatus = rsTranslated;
  data.Comment = true;
  data.CommentAction = false;
  data.CommentString = u"check;";
  mgr->ChangeStatus(data);
  EXPECT_EQ(hold->GetComment(), u"x;y;check;");
  EXPECT_EQ(hold->GetStatus(), rsTranslated);
  EXPECT_EQ(mgr->Items()->Get(rsUnTranslated)->GetStatus(), rsUnTranslated);
  // The change was saved.
  TLinesNotesFile saved;
  saved.Open(Dir.U16("a.lines.xlf"));
  EXPECT_EQ(saved.GetItems()->Get(rsHold)->GetComment(), u"x;y;check;");

  // A repository that knows nothing leaves translations alone.
  const auto done = mgr->Items()->Get(rsTranslated);
  done->SetXlatText(u"übersetzt");
  TQEMGetFromRepositoryData get;
  get.CurrentStatus = TResStatuses::All();
  get.NewStatus = rsAutoTranslated;
  mgr->GetFromRepository(get);
  EXPECT_EQ(done->GetXlatText(), u"übersetzt");
  EXPECT_EQ(done->GetStatus(), rsTranslated);

  EXPECT_EQ(StrToStatusOrd(u"don't translate"), int32_t(rsDoNotTranslate));
  EXPECT_EQ(StrToStatusOrd(u"Done"), -1);
}

TEST_F(TranslatorMgrTest, FindMgrNeedsTheNotesFile) {
  auto mgr = MakeFile("a.lines", {u"one"});
  EXPECT_EQ(FindMgr(Dir.U16("a.lines")), mgr.get());
  EXPECT_EQ(FindMgr(Dir.U16("b.lines")), nullptr);
  ASSERT_TRUE(DeleteFile(Dir.U16("a.lines.xlf")));
  EXPECT_EQ(FindMgr(Dir.U16("a.lines")), nullptr);
  mgr.reset();
  EXPECT_EQ(FindMgr(Dir.U16("a.lines")), nullptr);
}

// Two files that differ only by extension are two files: a batch over one must never save
// into the other's notes.
TEST_F(TranslatorMgrTest, FindMgrTellsExtensionsApart) {
  auto open = MakeFile("Main.lines", {u"one"});
  MakeFile("Main.lns", {u"two"});
  EXPECT_EQ(FindMgr(Dir.U16("Main.lns")), nullptr);
  EXPECT_EQ(FindMgr(Dir.U16("./Main.lines")), open.get());
}

// A batch works on the manager of an open file and stops when the callback says so.
TEST_F(TranslatorMgrTest, ListUsesOpenManagerAndStops) {
  auto open = MakeFile("a.lines", {u"keep", u"gone"});
  open->Items()->Get(1)->SetStatus(rsUnused);
  for (const char* name : {"b.lines", "c.lines"}) {
    auto other = MakeFile(name, {u"keep", u"gone"});
    other->Items()->Get(1)->SetStatus(rsUnused);
    other->Save(false, 0, 0, false);
  }
  TLinesTranslator translator;
  TLinesFileType type(&translator, nullptr, nullptr);
  TStringList files;
  for (const char* name : {"a.lines", "b.lines", "c.lines"})
    files.Add(Dir.U16(name));
  // The callback gets the progress of the host's request, not the request itself.
  int window = 0;
  TQEMListRequestData request{&window, nullptr};
  std::vector<std::u16string> seen;
  std::vector<void*> progress;
  type.List(lePurge, files, &request, [&](const std::u16string& File, void* Data) {
    seen.push_back(File);
    progress.push_back(Data);
    return seen.size() < 3;
  });
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(progress, std::vector<void*>(3, &window));
  EXPECT_EQ(open->Count(), 1); // the open copy was purged, not a temporary one
  auto count = [&](const char* Name) {
    TLinesNotesFile notes;
    notes.Open(Dir.U16(std::string(Name) + ".xlf"));
    return notes.GetItems()->Count();
  };
  EXPECT_EQ(count("a.lines"), 1);
  EXPECT_EQ(count("b.lines"), 1);
  EXPECT_EQ(count("c.lines"), 2);

  const std::u16string dictionary = Dir.U16("dict.txt");
  open->Items()->Get(0)->SetXlatText(u"bleibt");
  TQEMListRequestData dictionaryRequest{nullptr, &dictionary};
  type.List(leMakeDictionary, files, &dictionaryRequest, {});
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "dict.txt"), "keep=bleibt\nkeep=keep\nkeep=keep\n");
}

// An egg build names a file it cannot open and goes on with the next; a purge stops there.
TEST_F(TranslatorMgrTest, EggBuildGoesOnPastAnUnreadableFile) {
  MakeFile("a.lines", {u"one"});
  MakeFile("b.lines", {u"two"});
  qemtest::WriteTextFile(Dir.Path() / "a.lines.xlf", "<xliff><file>");
  TLinesTranslator translator;
  TLinesFileType type(&translator, nullptr, nullptr);
  TStringList files;
  files.Add(Dir.U16("a.lines"));
  files.Add(Dir.U16("b.lines"));
  std::vector<std::u16string> errors, seen;
  const auto oldError = ShowErrorFunc;
  ShowErrorFunc = [&](const std::u16string& Msg) { errors.push_back(Msg); };
  type.List(leEggBuild, files, nullptr, [&](const std::u16string& File, void*) {
    seen.push_back(File);
    return true;
  });
  EXPECT_THROW(type.List(lePurge, files, nullptr, {}), std::exception);
  ShowErrorFunc = oldError;
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(u"Egg build of " + Dir.U16("a.lines")), std::u16string::npos);
  EXPECT_EQ(seen.size(), 2u);
}

} // namespace
