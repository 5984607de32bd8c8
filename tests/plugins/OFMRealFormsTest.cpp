// Forms as users have them, through the form-file package as built: UTF-8 forms with and without
// a byte-order mark, binary forms, and the strings that are not text for people.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "qem.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using qemtest::ReadTextFile;
using qemtest::WriteTextFile;

namespace {

constexpr LCID kENU = 0x409, kDEU = 0x407, kRUS = 0x419, kJPN = 0x411;
using TItems = std::vector<std::pair<std::u16string, std::u16string>>;

fs::path DataDir() {
  return fs::path(getenv("HLX_TEST_DATA")) / "ofm";
}
std::u16string U16(const fs::path& P) {
  return UTF8ToUTF16(P.string());
}

// A binary form written byte by byte.
struct TBin {
  std::string B = "TPF0";
  TBin& Byte(int V) {
    B.push_back(char(V));
    return *this;
  }
  TBin& LE(uint64_t V, int N) {
    for (int i = 0; i < N; ++i)
      B.push_back(char(V >> (8 * i)));
    return *this;
  }
  TBin& Raw(std::string_view S) {
    B += S;
    return *this;
  }
  TBin& Name(std::string_view S) { return Byte(int(S.size())).Raw(S); }
  TBin& Str(std::string_view Bytes) { return Byte(6).Name(Bytes); }
  TBin& LStr(std::string_view Bytes) { return Byte(12).LE(Bytes.size(), 4).Raw(Bytes); }
  TBin& Utf8(std::string_view Bytes) { return Byte(20).LE(Bytes.size(), 4).Raw(Bytes); }
  TBin& WStr(std::u16string_view S) {
    Byte(18).LE(S.size(), 4);
    for (char16_t c : S)
      LE(c, 2);
    return *this;
  }
  TBin& End() { return Byte(0); }
};

const std::string kLong(300, 'x');

// A form with a value of every type, collections, an inherited child at a position and an
// inline frame. Caption, the column title and the long line are parameters, so that a test
// can build the translated copy it expects.
std::string BinaryForm(const std::function<void(TBin&)>& Caption = nullptr,
                       const std::function<void(TBin&)>& Title = nullptr,
                       const std::function<void(TBin&)>& LongLine = nullptr) {
  TBin b;
  b.Name("TMainForm").Name("MainForm");
  b.Name("Left").Byte(3).LE(192, 2);
  b.Name("Tag").Byte(2).Byte(-5);
  b.Name("Width").Byte(4).LE(100000, 4);
  b.Name("Big").Byte(19).LE(5000000000ull, 8);
  b.Name("Caption");
  Caption ? Caption(b)
          : void(b.Str("Gr\xF6\xDF"
                       "e"));
  b.Name("Hint").WStr(u"\u03a9\u2026");
  b.Name("Font.Name").Str("Tahoma");
  b.Name("Scaled").Byte(5).LE(0xFA00000000000000ull, 8).LE(0x4005, 2); // 125
  b.Name("Ratio").Byte(15).LE(0x3FC00000, 4);                          // 1.5
  b.Name("Price").Byte(16).LE(125000, 8);                              // 12.5
  b.Name("Stamp").Byte(17).LE(0x40E5F91000000000ull, 8);               // 45000.5
  b.Name("Fraction").Byte(21).LE(0x3FB999999999999Aull, 8);            // 0.1
  b.Name("Visible").Byte(9).Name("Enabled").Byte(8).Name("PopupMenu").Byte(13);
  b.Name("Color").Byte(7).Name("clBtnFace");
  b.Name("Font.Style").Byte(11).Name("fsBold").Name("fsItalic").End();
  b.Name("Icon.Data").Byte(10).LE(3, 4).Raw(std::string_view("\x00\x01\xFF", 3));
  b.Name("Lines.Strings").Byte(1).Str("First").Str("Line\r\ntwo").Utf8("\xC3\x9Cn\xC3\xAF").Str("");
  LongLine ? LongLine(b) : void(b.LStr(kLong));
  b.End();
  b.Name("Columns").Byte(14);
  b.Byte(2).Byte(0).Byte(1).Name("Title.Caption");
  Title ? Title(b) : void(b.Str("Name"));
  b.End();
  b.Byte(1).Name("Width").Byte(2).Byte(64).End();
  b.End();
  b.Name("LCLVersion").Str("1.0");
  b.End();
  b.Byte(0xF3).Byte(2).Byte(2).Name("TButton").Name("OkButton");
  b.Name("Caption").Str("OK").End().End();
  b.Byte(0xF4).Name("TFrame1").Name("Frame1");
  b.Name("Label1.Caption").Str("Text").End().End();
  b.End();
  return b.B;
}

class OFMRealForms : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Module = QEMLoadPackage(UTF8ToUTF16(OFM_PACKAGE_PATH));
    for (int i = 0; i < QEMFileTypes().Count(); ++i)
      if (QEMFileTypes().GetQEMFileType(i)->GetName() == u"Form")
        Type = QEMFileTypes().GetQEMFileType(i);
  }
  static void TearDownTestSuite() {
    Type.reset();
    QEMUnloadPackage(Module);
  }
  void SetUp() override {
    ASSERT_TRUE(Type);
    ShowErrorFunc = [this](const std::u16string& M) { Errors.push_back(UTF16ToUTF8(M)); };
  }
  void TearDown() override { ShowErrorFunc = nullptr; }

  void Source(const std::string& Name, const std::string& Bytes) {
    Src = Dir.Path() / Name;
    WriteTextFile(Src, Bytes);
  }
  fs::path Xlat(LCID L) const {
    return Dir.Path() / (L == kDEU ? "deu" : L == kRUS ? "rus" : "jpn") / Src.filename();
  }
  fs::path Notes(LCID L) const { return fs::path(Xlat(L).string() + ".xlf"); }
  TStats Update(LCID L) {
    TStringList files;
    files.Add(U16(Src));
    TStats stats;
    Type->GetUpdater()->Execute(&files, u"", u"", Dir.U16(), U16(Xlat(L).parent_path()), stats,
                                false, kENU, L, nullptr, {});
    return stats;
  }
  void TouchSource(const std::string& Bytes) {
    const auto before = fs::last_write_time(Src);
    WriteTextFile(Src, Bytes);
    fs::last_write_time(Src, before + std::chrono::seconds(10));
  }
  std::unique_ptr<TQEMTranslatorMgr> Mgr(LCID L) {
    auto* base = dynamic_cast<TQEMBaseFileType*>(Type.get());
    return base->Translator()->GetMgrClass().Create(U16(Xlat(L)), false);
  }
  TItems Items(LCID L) {
    TItems r;
    auto mgr = Mgr(L);
    for (int i = 0; i < mgr->Count(); ++i)
      r.emplace_back(mgr->Items()->Get(i)->GetID(), mgr->Items()->Get(i)->GetOrigText());
    return r;
  }
  // Translates ID to Text in language L and writes the copy.
  void Translate(LCID L, const std::vector<std::pair<std::u16string, std::u16string>>& Pairs) {
    auto mgr = Mgr(L);
    for (const auto& [id, text] : Pairs) {
      IQEMNotesItemPtr item;
      for (int i = 0; i < mgr->Count() && !item; ++i)
        if (mgr->Items()->Get(i)->GetID() == id) item = mgr->Items()->Get(i);
      ASSERT_TRUE(item) << UTF16ToUTF8(id);
      item->SetXlatText(text);
      item->SetStatus(rsTranslated);
    }
    mgr->Save(true, 0, 0, false);
  }
  std::string FirstError() const { return Errors.empty() ? "" : Errors[0]; }

  static inline void* Module = nullptr;
  static inline IQEMFileTypePtr Type;
  qemtest::TTempDir Dir;
  fs::path Src;
  std::vector<std::string> Errors;
};

// The UTF-8 form reaches the translator as the form's author wrote it, an empty caption and the
// designer's version stamp are not offered, and each copy is UTF-8 with the translations in
// plain characters, whatever the target's code page.
TEST_F(OFMRealForms, Utf8FormThroughRussianAndJapanese) {
  Source("Main.lfm", ReadTextFile(DataDir() / "Main.lfm"));
  for (LCID lang : {kRUS, kJPN})
    EXPECT_EQ(Update(lang).NewCount, 6);
  const TItems want{{u"MainForm.Caption", u"'Gr\u00f6\u00dfe und Ma\u00dfe'"},
                    {u"MainForm.Label1.Caption",
                     u"'\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac: "
                     u"\u03b1\u03b2\u03b3'"},
                    {u"MainForm.Memo1.Lines.Strings[0]", u"'Zeile eins'"},
                    {u"MainForm.Memo1.Lines.Strings[1]", u"'\u041f\u0440\u0438\u0432\u0435\u0442, "
                                                         u"\u043c\u0438\u0440'"},
                    {u"MainForm.Memo1.Lines.Strings[2]", u"'Tab'#9'stop'"},
                    {u"MainForm.Button1.Caption", u"'\u65e5\u672c\u8a9e\u306e\u30dc\u30bf\u30f3'"}};
  EXPECT_EQ(Items(kRUS), want);
  EXPECT_EQ(ReadTextFile(Xlat(kRUS)), ReadTextFile(Src));

  Translate(kRUS, {{u"MainForm.Caption", u"'\u0420\u0430\u0437\u043c\u0435\u0440'"},
                   {u"MainForm.Memo1.Lines.Strings[0]",
                    u"'\u0421\u0442\u0440\u043e\u043a\u0430'#9'\u0440\u0430\u0437'#127"}});
  Translate(kJPN, {{u"MainForm.Caption", u"'\u5927\u304d\u3055'"},
                   {u"MainForm.Memo1.Lines.Strings[1]", u"'\u3053\u3093\u306b\u3061\u306f'"}});
  EXPECT_EQ(ReadTextFile(Xlat(kRUS)), ReadTextFile(DataDir() / "Main.rus.lfm"));
  EXPECT_EQ(ReadTextFile(Xlat(kJPN)), ReadTextFile(DataDir() / "Main.jpn.lfm"));

  // A second run reads the copies back as they were written.
  TouchSource(ReadTextFile(Src));
  for (LCID lang : {kRUS, kJPN}) {
    const std::string before = ReadTextFile(Xlat(lang));
    const TStats stats = Update(lang);
    EXPECT_EQ(stats.UnchangedCount, 6);
    EXPECT_EQ(stats.NewCount + stats.ChangedCount + stats.UnusedCount, 0);
    EXPECT_EQ(ReadTextFile(Xlat(lang)), before);
  }
  EXPECT_TRUE(Errors.empty()) << FirstError();
}

// A form with a byte-order mark keeps it, one without gets none; bytes that are not UTF-8 in
// a UTF-8 form are refused by line.
TEST_F(OFMRealForms, ByteOrderMarkIsKeptAndBadUtf8Refused) {
  const std::string body = "object F: TF\n  Caption = 'Ma\xC3\x9F'\nend\n";
  for (const std::string name : {"Bom.lfm", "Bom.ofm"}) {
    Source(name, "\xEF\xBB\xBF" + body);
    Update(kDEU);
    EXPECT_EQ(ReadTextFile(Xlat(kDEU)), ReadTextFile(Src)) << name;
    EXPECT_EQ(Items(kDEU), (TItems{{u"F.Caption", u"'Ma\u00df'"}})) << name;
    // Half a surrogate pair has no UTF-8: a code keeps it.
    Translate(kDEU, {{u"F.Caption", u"'\u03a9 Ma\u00df'#55357"}});
    EXPECT_EQ(ReadTextFile(Xlat(kDEU)),
              "\xEF\xBB\xBFobject F: TF\n  Caption = '\xCE\xA9 Ma\xC3\x9F'#55357\nend\n")
        << name;
  }
  Source("Bad.lfm", "object F: TF\n  Caption = 'x'\n  Hint = 'Ma\xDF'\nend\n");
  Update(kDEU);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find("Bad.lfm(3): invalid UTF-8"), std::string::npos) << Errors[0];
  EXPECT_FALSE(fs::exists(Xlat(kDEU)));
}

// A binary form is read through its text form; its copy is binary again, byte for byte the
// source while nothing is translated, and each translation in a string type that holds it.
TEST_F(OFMRealForms, BinaryFormIsTranslatedAsBinary) {
  const std::string source = BinaryForm();
  Source("Main.ofm", source);
  EXPECT_TRUE(Type->AcceptsFile(U16(Src)));
  EXPECT_EQ(Update(kDEU).NewCount, 9);
  EXPECT_TRUE(Errors.empty()) << FirstError();
  const TItems want{{u"MainForm.Caption", u"'Gr\u00f6\u00dfe'"},
                    {u"MainForm.Hint", u"'\u03a9\u2026'"},
                    {u"MainForm.Lines.Strings[0]", u"'First'"},
                    {u"MainForm.Lines.Strings[1]", u"'Line'#13#10'two'"},
                    {u"MainForm.Lines.Strings[2]", u"'\u00dcn\u00ef'"},
                    {u"MainForm.Lines.Strings[4]", u"'" + std::u16string(300, u'x') + u"'"},
                    {u"MainForm.Columns[0].Title.Caption", u"'Name'"},
                    {u"MainForm.OkButton.Caption", u"'OK'"},
                    {u"MainForm.Frame1.Label1.Caption", u"'Text'"}};
  EXPECT_EQ(Items(kDEU), want);
  EXPECT_EQ(ReadTextFile(Xlat(kDEU)), source);

  // A translation cp1252 holds stays a short string, one it lacks becomes UTF-16, a long string
  // stays long however short its translation.
  Translate(kDEU, {{u"MainForm.Caption", u"'\u00dcbersetzt'"},
                   {u"MainForm.Columns[0].Title.Caption", u"'\u03a9-Name'"},
                   {u"MainForm.Lines.Strings[4]", u"'kurz'"}});
  EXPECT_EQ(ReadTextFile(Xlat(kDEU)),
            BinaryForm(
                [](TBin& b) {
                  b.Str("\xDC"
                        "bersetzt");
                },
                [](TBin& b) { b.WStr(u"\u03a9-Name"); }, [](TBin& b) { b.LStr("kurz"); }));
  // Read back from the copy, as after a translator's edit of it.
  fs::last_write_time(Xlat(kDEU), fs::last_write_time(Xlat(kDEU)) + std::chrono::seconds(10));
  TStats stats;
  Type->GetUpdater()->Execute(nullptr, U16(Xlat(kDEU)), u"", Dir.U16(),
                              U16(Xlat(kDEU).parent_path()), stats, false, kENU, kDEU, nullptr, {});
  auto mgr = Mgr(kDEU);
  std::vector<std::u16string> xlat;
  for (int i = 0; i < mgr->Count(); ++i)
    xlat.push_back(mgr->Items()->Get(i)->GetXlatText());
  EXPECT_EQ(xlat[0], u"'\u00dcbersetzt'");
  EXPECT_EQ(xlat[6], u"'\u03a9-Name'");
  EXPECT_EQ(xlat[5], u"'kurz'");

  // cp1251 lacks the umlauts of the untranslated caption: UTF-16 keeps them.
  Update(kRUS);
  EXPECT_EQ(ReadTextFile(Xlat(kRUS)), BinaryForm([](TBin& b) { b.WStr(u"Gr\u00f6\u00dfe"); }));
  EXPECT_TRUE(Errors.empty()) << FirstError();
}

// Damaged binary forms are refused by name and byte, whatever is wrong: no crash, no huge
// allocation, the translation left as it was.
TEST_F(OFMRealForms, DamagedBinaryFormIsRefused) {
  const std::string good = BinaryForm();
  Source("Main.ofm", good);
  Update(kDEU);
  const std::string xlat = ReadTextFile(Xlat(kDEU)), notes = ReadTextFile(Notes(kDEU));
  const std::string head = TBin().Name("TF").Name("F").Name("P").B;
  std::vector<std::pair<std::string, std::string>> cases{
      {head + "\x0C\xF0\xFF\xFF\xFF", "a length of 4294967280 bytes runs past"},
      {head + std::string(300, '\x01'), "nesting too deep"},
      {head + "\x63", "unknown value type 99"},
      {good + "x", "data after the end"},
      {TBin().Name("TF").Name("F\nend").B, "a name holds characters"},
      {TBin().Name("TF").Name("F").Name("P").Utf8("\xC3(").End().End().B, "code page 65001"},
      {TBin().Byte(0xF8).B, "unknown object flags 8"}};
  // Every cut of the good form.
  for (size_t n = 4; n < good.size(); n += 3)
    cases.emplace_back(good.substr(0, n), "damaged binary form");
  for (const auto& [bytes, message] : cases) {
    Errors.clear();
    TouchSource(bytes);
    Update(kDEU);
    ASSERT_EQ(Errors.size(), 1u) << message;
    EXPECT_NE(Errors[0].find(message), std::string::npos) << Errors[0];
    EXPECT_NE(Errors[0].find(Src.string() + " is a damaged binary form"), std::string::npos)
        << Errors[0];
    EXPECT_EQ(ReadTextFile(Xlat(kDEU)), xlat);
    EXPECT_EQ(ReadTextFile(Notes(kDEU)), notes);
  }
}

// Other forms stay in their code page: a character the target's lacks becomes a code.
TEST_F(OFMRealForms, CodePageFormsStayInTheirCodePage) {
  Source("Main.xfm", "object F: TF\n  Caption = 'Gr\xF6\xDF"
                     "e'\n  Hint = 'x'\nend\n");
  Update(kRUS);
  EXPECT_EQ(Items(kRUS), (TItems{{u"F.Caption", u"'Gr\u00f6\u00dfe'"}, {u"F.Hint", u"'x'"}}));
  Translate(kRUS, {{u"F.Hint", u"'\u0414\u0430 \u00f6'"}});
  EXPECT_EQ(ReadTextFile(Xlat(kRUS)),
            "object F: TF\n  Caption = 'Gr'#246#223'e'\n  Hint = '\xC4\xE0 '#246\nend\n");
  EXPECT_TRUE(Errors.empty()) << FirstError();
}

// Empty strings and designer stamps are written back as they stand and never offered; text
// properties stay items.
TEST_F(OFMRealForms, EmptyStringsAndVersionStampsAreNotItems) {
  Source("Main.ofm", "object F: TF\n  Caption = ''\n  LCLVersion = '3.0.0.3'\n"
                     "  Hint = ''#13''\n  Items.Strings = (\n    ''\n    'a')\n"
                     "  Filter = 'Text|*.txt'\n  Title = 'T'\nend\n");
  Update(kDEU);
  EXPECT_EQ(Items(kDEU), (TItems{{u"F.Hint", u"#13"},
                                 {u"F.Items.Strings[1]", u"'a'"},
                                 {u"F.Filter", u"'Text|*.txt'"},
                                 {u"F.Title", u"'T'"}}));
  Translate(kDEU, {{u"F.Title", u"'Titel'"}});
  EXPECT_NE(ReadTextFile(Xlat(kDEU)).find("Caption = ''\n  LCLVersion = '3.0.0.3'\n"),
            std::string::npos);
  EXPECT_TRUE(Errors.empty()) << FirstError();
}

} // namespace
