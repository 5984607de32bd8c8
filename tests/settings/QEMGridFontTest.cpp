#include "settings/QEMGridFont.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/QEMIntlUtils.h"
#include "settings/SettingsTestUtil.h"
#include "support/TestSupport.h"

using namespace settingstest;

namespace {

const std::u16string kFontKey = kNormalBase + u"\\GridFonts";
constexpr LCID kGerman = 0x0407;
constexpr LCID kFrench = 0x040C;
constexpr LCID kJapanese = 0x0411;

class GridFonts : public ::testing::Test {
protected:
  void SetUp() override { WipeSettings(); }
  void TearDown() override { WipeSettings(); }
};

const TQEMFont kSome{u"Noto Serif CJK", 14, fpFixed, {fsItalic}, 128, 0x336699};

// Records which subscriber heard a change, in order.
struct TListener {
  std::vector<std::string>* Log;
  std::string Name;
  TQEMGridFonts* Unsubscribe = nullptr;
  TListener* Victim = nullptr;
  void Changed(TQEMGridFonts& Sender) {
    Log->push_back(Name);
    if (Victim)
      Sender.RemoveFontChangeEvent(TQEMFontChangeEvent::Bind<&TListener::Changed>(Victim));
  }
  void Other(TQEMGridFonts&) { Log->push_back(Name + "-other"); }
};

} // namespace

TEST_F(GridFonts, ALanguageWithoutAFontGetsTheDefaultFontObjectItself) {
  TQEMGridFonts fonts;
  EXPECT_EQ(fonts.GetFont(kGerman), &fonts.DefaultFont());
  fonts.DefaultFont().Size = 20;
  EXPECT_EQ(fonts.GetFont(kGerman)->Size, 20);

  TQEMFont* german = fonts.Add(kGerman);
  EXPECT_NE(german, &fonts.DefaultFont());
  EXPECT_EQ(*german, fonts.DefaultFont()); // nothing stored: a copy of the default
  EXPECT_EQ(fonts.Add(kGerman), german);
  EXPECT_EQ(fonts.GetFont(kGerman), german);
  fonts.Add(kFrench);
  EXPECT_EQ(fonts.GetFont(kGerman), german); // fonts keep their address as the table grows
  EXPECT_EQ(fonts.GetLang(1), kFrench);
  EXPECT_EQ(fonts.IndexOf(kJapanese), -1);
  fonts.Delete(0);
  EXPECT_EQ(fonts.GetFont(kGerman), &fonts.DefaultFont());
  EXPECT_THROW(fonts.GetLang(3), EQEMError);
}

TEST_F(GridFonts, BoldAndUnderlineAreStoredAsFiveAndReadBack) {
  {
    TQEMGridFonts fonts;
    TQEMFont* f = fonts.Add(kGerman);
    *f = kSome;
    f->Style = {fsBold, fsUnderline};
    fonts.Save(kGerman);
  }
  const std::u16string key = kFontKey + u"\\00000407";
  EXPECT_EQ(GetInt(key, u"Style"), 5);
  EXPECT_EQ(GetStr(key, u"Name"), u"Noto Serif CJK");
  EXPECT_EQ(GetInt(key, u"Height"), 14);
  EXPECT_EQ(GetInt(key, u"Pitch"), 2);
  EXPECT_EQ(GetInt(key, u"Charset"), 128);
  EXPECT_EQ(GetInt(key, u"Color"), 0x336699);
  QEMCloseHive();

  TQEMGridFonts fonts;
  fonts.Load(kGerman, false);
  ASSERT_EQ(fonts.IndexOf(kGerman), 0);
  EXPECT_EQ(fonts.GetFont(kGerman)->Style, (TFontStyles{fsBold, fsUnderline}));
  EXPECT_EQ(fonts.GetFont(kGerman)->Pitch, fpFixed);
}

TEST_F(GridFonts, LoadOfAMissingLanguageAddsOnlyWhenAsked) {
  TQEMGridFonts fonts;
  fonts.DefaultFont().Name = u"Default Face";
  fonts.Load(kFrench, false);
  EXPECT_EQ(fonts.GetCount(), 0);
  fonts.Load(kFrench, true);
  ASSERT_EQ(fonts.GetCount(), 1);
  EXPECT_NE(fonts.GetFont(kFrench), &fonts.DefaultFont());
  EXPECT_EQ(fonts.GetFont(kFrench)->Name, u"Default Face");

  // Saving writes only languages of the table.
  fonts.Save(kJapanese);
  EXPECT_FALSE(HasValue(kFontKey + u"\\00000411", u"Name"));
  fonts.Save(kFrench);
  EXPECT_EQ(GetStr(kFontKey + u"\\0000040C", u"Name"), u"Default Face");
}

TEST_F(GridFonts, StoredValuesOutOfRangeTakeTheDefaultFontsValues) {
  const std::u16string key = kFontKey + u"\\00000407";
  PutStr(key, u"Name", u"");
  PutInt(key, u"Height", 0);
  PutInt(key, u"Pitch", 3);
  PutInt(key, u"Style", 16);
  PutInt(key, u"Charset", 256);
  PutInt(key, u"Color", -1);
  TQEMGridFonts fonts;
  fonts.DefaultFont() = kSome;
  fonts.Load(kGerman, false);
  ASSERT_NE(fonts.IndexOf(kGerman), -1);
  EXPECT_EQ(*fonts.GetFont(kGerman), kSome);

  // Values that are in range are taken, the missing ones default.
  PutInt(key, u"Height", 1638);
  PutInt(key, u"Style", 15);
  fonts.Load(kGerman, false);
  EXPECT_EQ(fonts.GetFont(kGerman)->Size, 1638);
  EXPECT_EQ(fonts.GetFont(kGerman)->Style.Bits(), 15);
}

TEST_F(GridFonts, LoadAllReadsTheStoredLanguagesAndTheCommentFont) {
  PutStr(kFontKey + u"\\0000040c", u"Name", u"French Face"); // a hand-written key in lower case
  PutStr(kFontKey + u"\\00000407", u"Name", u"German Face");
  PutStr(kFontKey + u"\\7FFFFFFF", u"Name", u"No Such Language");
  PutInt(kFontKey + u"\\Comment", u"Height", 7);
  TQEMGridFonts fonts;
  fonts.LoadAll();
  ASSERT_EQ(fonts.GetCount(), 2);
  EXPECT_EQ(fonts.GetLang(0), kGerman); // language table order
  EXPECT_EQ(fonts.GetFont(kFrench)->Name, u"French Face");
  EXPECT_EQ(fonts.CommentFont().Size, 7);
  EXPECT_EQ(fonts.CommentFont().Name, fonts.DefaultFont().Name);

  fonts.CommentFont().Name = u"Comment Face";
  fonts.GetFont(kGerman)->Size = 22;
  fonts.SaveAll();
  EXPECT_EQ(GetStr(kFontKey + u"\\Comment", u"Name"), u"Comment Face");
  EXPECT_EQ(GetInt(kFontKey + u"\\00000407", u"Height"), 22);
}

// A key is a language's only when it is eight hexadecimal digits, in either case.
TEST_F(GridFonts, LoadAllTakesOnlyKeysThatNameALanguage) {
  PutStr(kFontKey + u"\\0000040C", u"Name", u"French Face");
  PutStr(kFontKey + u"\\0000O407", u"Name", u"Letter O");
  PutStr(kFontKey + u"\\000411", u"Name", u"Short");
  PutStr(kFontKey + u"\\000004110", u"Name", u"Long");
  PutStr(kFontKey + u"\\Comment", u"Name", u"Comment Face");
  TQEMGridFonts fonts;
  fonts.LoadAll();
  ASSERT_EQ(fonts.GetCount(), 1);
  EXPECT_EQ(fonts.GetLang(0), kFrench);
  EXPECT_EQ(fonts.GetFont(kFrench)->Name, u"French Face");
  EXPECT_EQ(fonts.CommentFont().Name, u"Comment Face");

  // The comment font alone reads no language.
  WipeSettings();
  PutInt(kFontKey + u"\\Comment", u"Height", 9);
  TQEMGridFonts comment;
  comment.LoadAll();
  EXPECT_EQ(comment.GetCount(), 0);
  EXPECT_EQ(comment.CommentFont().Size, 9);
}

TEST_F(GridFonts, CopyToAndMergeCarryThePairs) {
  TQEMGridFonts fonts;
  *fonts.Add(kGerman) = kSome;
  fonts.Add(kFrench)->Size = 30;

  TQEMGridFonts page;
  page.Add(kJapanese);
  fonts.CopyTo(page);
  ASSERT_EQ(page.GetCount(), 2);
  EXPECT_EQ(*page.GetFont(kGerman), kSome);
  EXPECT_NE(page.GetFont(kGerman), fonts.GetFont(kGerman));

  TQEMFont* german = fonts.GetFont(kGerman);
  page.GetFont(kGerman)->Size = 40;
  page.Add(kJapanese)->Name = u"Japanese Face";
  fonts.Merge(page);
  EXPECT_EQ(fonts.GetCount(), 3);
  EXPECT_EQ(fonts.GetFont(kGerman), german); // merged into the same object grids already hold
  EXPECT_EQ(german->Size, 40);
  EXPECT_EQ(fonts.GetFont(kJapanese)->Name, u"Japanese Face");
}

TEST_F(GridFonts, SubscribersAreCalledInOrderAndRemovedOnlyWhenSubscribed) {
  std::vector<std::string> log;
  TListener a{&log, "a"}, b{&log, "b"}, c{&log, "c"};
  TQEMGridFonts fonts;
  fonts.AddFontChangeEvent(TQEMFontChangeEvent::Bind<&TListener::Changed>(&a));
  fonts.AddFontChangeEvent(TQEMFontChangeEvent::Bind<&TListener::Changed>(&b));
  fonts.AddFontChangeEvent(TQEMFontChangeEvent::Bind<&TListener::Changed>(&c));

  // Same function, other object; same object, other function: neither is subscribed.
  TListener stranger{&log, "x"};
  fonts.RemoveFontChangeEvent(TQEMFontChangeEvent::Bind<&TListener::Changed>(&stranger));
  fonts.RemoveFontChangeEvent(TQEMFontChangeEvent::Bind<&TListener::Other>(&b));
  EXPECT_EQ(fonts.FontChangeEventCount(), 3);
  fonts.FontChanged();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));

  fonts.RemoveFontChangeEvent(TQEMFontChangeEvent::Bind<&TListener::Changed>(&b));
  log.clear();
  fonts.FontChanged();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));

  // A subscriber that closes a later window while being told: that window hears nothing.
  a.Victim = &c;
  log.clear();
  fonts.FontChanged();
  EXPECT_EQ(log, (std::vector<std::string>{"a"}));
  EXPECT_EQ(fonts.FontChangeEventCount(), 1);
}

TEST_F(GridFonts, AFailedLoadLeavesTheTableAsItWas) {
  TQEMGridFonts fonts;
  *fonts.Add(kGerman) = kSome;
  fonts.CommentFont().Size = 33;
  qemtest::TTempDir dir;
  {
    TDamagedHive damaged(dir.Path().string());
    EXPECT_THROW(fonts.LoadAll(), EQEMError);
    EXPECT_THROW(fonts.Load(kGerman, true), EQEMError);
  }
  EXPECT_EQ(fonts.GetCount(), 1);
  EXPECT_EQ(*fonts.GetFont(kGerman), kSome);
  EXPECT_EQ(fonts.CommentFont().Size, 33);
}

TEST_F(GridFonts, UnitShutdownKeepsTheCommentFontOnly) {
  const bool had = QEMGridFonts != nullptr;
  QEMGridFontFinalize();
  WipeSettings();
  QEMGridFontInitialize();
  ASSERT_NE(QEMGridFonts, nullptr);
  QEMGridFonts->CommentFont().Name = u"Kept At Exit";
  QEMGridFonts->Add(kGerman)->Name = u"Not Kept";
  QEMGridFontFinalize();
  EXPECT_EQ(QEMGridFonts, nullptr);
  EXPECT_EQ(GetStr(kFontKey + u"\\Comment", u"Name"), u"Kept At Exit");
  EXPECT_FALSE(HasValue(kFontKey + u"\\00000407", u"Name"));

  QEMGridFontInitialize();
  EXPECT_EQ(QEMGridFonts->CommentFont().Name, u"Kept At Exit");
  if (!had) QEMGridFontFinalize();
}

// The process's fonts are read on first use: what the file holds by then counts, a stop saves
// the comment font of fonts that were used, and a stop without any use writes nothing.
TEST_F(GridFonts, UnitReadsOnFirstUseAndSavesOnlyWhatWasUsed) {
  const bool had = QEMGridFonts != nullptr;
  QEMGridFontFinalize();
  QEMGridFontInitialize();
  ASSERT_NE(QEMGridFonts, nullptr);
  EXPECT_EQ(QEMGridFonts.Made(), nullptr);
  PutStr(kFontKey + u"\\00000407", u"Name", u"Set Before Use");
  PutInt(kFontKey + u"\\Comment", u"Height", 21);
  EXPECT_EQ(QEMGridFonts->GetFont(kGerman)->Name, u"Set Before Use");
  EXPECT_EQ(QEMGridFonts->CommentFont().Size, 21);
  QEMGridFonts->CommentFont().Size = 23;
  QEMGridFontFinalize();
  EXPECT_EQ(QEMGridFonts, nullptr);
  EXPECT_EQ(GetInt(kFontKey + u"\\Comment", u"Height"), 23);

  WipeSettings();
  QEMGridFontInitialize();
  const TQEMFont host = QEMHostDefaultFont();
  QEMSetHostDefaultFont(u"Unused Face", 12); // tells no font object: none was made
  EXPECT_EQ(QEMGridFonts.Made(), nullptr);
  QEMGridFontFinalize();
  EXPECT_FALSE(HasValue(kFontKey + u"\\Comment", u"Name"));
  QEMSetHostDefaultFont(host.Name, host.Size);
  if (had) QEMGridFontInitialize();
}
