#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/QEMIntlUtils.h"
#include "core/QEMXMLUtils.h"
#include "platform/QEMFiles.h"
#include "platform/QEMGuid.h"
#include "project/QEMProjectFile.h"
#include "project/QEMXmlIniFile.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using qemtest::ReadTextFile;
using qemtest::WriteTextFile;

namespace {

std::u16string U(const std::string& S) {
  return UTF8ToUTF16(S);
}
std::string N(const std::u16string& S) {
  return UTF16ToUTF8(S);
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hexadecimal.
bool IsRegistryGuid(const std::string& S) {
  if (S.size() != 38 || S.front() != '{' || S.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const char c = S[i];
    if (i == 9 || i == 14 || i == 19 || i == 24
            ? c != '-'
            : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
      return false;
  }
  return true;
}

std::string DataDir() {
  const char* d = std::getenv("HLX_TEST_DATA");
  return std::string(d ? d : "tests/data") + "/project/";
}

// The message of the project error F raises.
std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const EQEMError& e) {
    return N(e.Message());
  }
  return "<no error>";
}

std::string Langs(const TQEMBaseProjectFile& P) {
  std::string r;
  for (int i = 0; i < P.GetLangCount(); ++i) {
    const TQEMLang& l = P.GetLang(i);
    r += (i ? " | " : "") + N(LCIDToStr(l.LocaleID)) + " " + N(l.Ext) + " " + N(l.XlatPath) + " " +
         N(l.Path);
  }
  return r;
}

std::string Files(const TQEMBaseProjectFile& P) {
  std::string r;
  for (int i = 0; i < P.SourceFiles.Count(); ++i) {
    EXPECT_EQ(P.SourceFiles.Get(i), P.SourceFiles.GetResName(i));
    r += (i ? " | " : "") + N(P.SourceFiles.Get(i)) + ":" + N(P.SourceFiles.Get2(i));
  }
  return r;
}

std::string FenmoorProject(const std::string& Personality, const std::string& Body,
                           const std::string& ProjectType = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FenmoorProject><PersonalityInfo><Option>"
         "<Option Name=\"Personality\">" +
         Personality + "</Option>" +
         (ProjectType.empty() ? "" : "<Option Name=\"ProjectType\">" + ProjectType + "</Option>") +
         "</Option></PersonalityInfo><" + Personality + ">" + Body + "</" + Personality +
         "></FenmoorProject>";
}

std::string ResourceDLLs(const std::string& Value) {
  return "<Resource_DLL_Projects><Resource_DLL_Projects Name=\"Item0\">" + Value +
         "</Resource_DLL_Projects></Resource_DLL_Projects>";
}

class ProjectFileTest : public ::testing::Test {
protected:
  std::u16string Write(const std::string& Name, const std::string& Text) {
    WriteTextFile(FTemp.Path() / Name, Text);
    return FTemp.U16(Name);
  }
  std::u16string Data(const std::string& Name) const { return U(DataDir() + Name); }
  std::string Dir() const { return FTemp.Path().string() + "/"; }
  std::string Read(const std::string& Name) const { return ReadTextFile(FTemp.Path() / Name); }

  // A base stand-alone project of two languages, ready to save.
  TQEMBaseProjectFile& NewProject(TQEMBaseProjectFileList& L) {
    TQEMBaseProjectFile& p = *L.Add(FTemp.U16("app.rqxproj"));
    p.ReadOnly = false;
    p.BaseLang = 0x409;
    TQEMLang& de = p.AddLang(0x407);
    de.Ext = u".DEU";
    de.XlatPath = u"de";
    TQEMLang& fr = p.AddLang(0x40C);
    fr.Ext = u"FRA";
    fr.XlatPath = u"lang\\fr";
    p.SourceFiles.AddPair(u"main.ofm", u"main.ofm", u"ofm");
    p.SourceFiles.AddPair(u"res/strings.rc", u"res/strings.rc", u"");
    return p;
  }

  qemtest::TTempDir FTemp;
  TQEMBaseProjectFileList FList;
};

// ---- personalities and the small model

TEST(ProjectFileModel, PersonalityNamesIgnoreCase) {
  EXPECT_EQ(PersonalityNameToType(u"orrin.PERSONALITY"), OrrinPersonality);
  EXPECT_EQ(PersonalityNameToType(u"HLX.Personality"), HLXPersonality);
  EXPECT_EQ(PersonalityNameToType(u"Default.Personality"), DefaultPersonality);
  EXPECT_EQ(PersonalityNameToType(u"Orrin"), InvalidPersonality);
  EXPECT_EQ(PersonalityNameToType(u""), InvalidPersonality);
  for (size_t i = 0; i < PersonalityNames.size(); ++i)
    EXPECT_EQ(size_t(PersonalityNames[i].PersonalityType), i);
}

TEST(ProjectFileModel, ListAndLanguages) {
  TQEMBaseProjectFileList l;
  TQEMBaseProjectFile* a = l.Add(u"a.rqxproj");
  EXPECT_TRUE(a->ReadOnly);
  EXPECT_EQ(a->BaseLang, QEMUserDefaultLCID());
  TQEMLang& first = a->AddLang(0x407);
  a->AddLang(0x40C);
  a->AddLang(0x407);
  EXPECT_EQ(first.LocaleID, 0x407u); // references survive later additions
  EXPECT_EQ(a->IndexOfLang(0x407), 0);
  EXPECT_EQ(a->IndexOfLang(0x411), -1);
  a->ClearLang();
  EXPECT_EQ(a->GetLangCount(), 0);

  TQEMBaseProjectFile* b = l.Add(u"b.rqxproj");
  EXPECT_EQ(l.IndexOf(b), 1);
  l.SetProject(0, std::make_unique<TQEMBaseProjectFile>(u"c.rqxproj"));
  EXPECT_EQ(l.IndexOf(a), -1);
  EXPECT_EQ(l.GetProject(0)->FileName, u"c.rqxproj");
  l.Clear();
  EXPECT_EQ(l.GetCount(), 0);
}

TEST(ProjectFileModel, GuidsInRegistryForm) {
  const std::string a = N(QEMNewGuid()), b = N(QEMNewGuid());
  EXPECT_TRUE(IsRegistryGuid(a)) << a;
  EXPECT_EQ(a[15], '4') << a;
  EXPECT_NE(a, b);
}

// ---- reading each form

TEST_F(ProjectFileTest, ApplicationProject) {
  FList.LoadFromProjectFile(Data("app.rqxproj"));
  ASSERT_EQ(FList.GetCount(), 1);
  const TQEMBaseProjectFile& p = *FList.GetProject(0);
  EXPECT_TRUE(p.ReadOnly);
  EXPECT_EQ(p.BaseLang, 0x409u);
  const std::string dir = DataDir();
  EXPECT_EQ(Langs(p),
            "$00000407 DEU DEU " + dir + "DEU | $0000040C .FRA lang\\fr " + dir + "lang/fr");
  EXPECT_EQ(Files(p), "main.ofm:ofm | forms\\about.ofm: | strings.rc:rc*extra");
}

TEST_F(ProjectFileTest, MSBuildProjectReadsTheInnerDocument) {
  FList.LoadFromMSBuildProjectFile(Data("app.oproj"));
  ASSERT_EQ(FList.GetCount(), 1);
  EXPECT_EQ(FList.GetProject(0)->BaseLang, 0x407u);
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$00000409 ENU enu " + DataDir() + "enu");
  EXPECT_EQ(Files(*FList.GetProject(0)), "main.cpp:cpp");
}

TEST_F(ProjectFileTest, ResourceModules) {
  FList.LoadFromProjectFile(Data("res_de.rqxproj"));
  ASSERT_EQ(FList.GetCount(), 1);
  const TQEMBaseProjectFile& p = *FList.GetProject(0);
  EXPECT_TRUE(p.ReadOnly);
  EXPECT_EQ(p.BaseLang, 1033u);
  EXPECT_EQ(Langs(p), "$00000407 .DEU  " + DataDir());
  // Files without a name and other elements are skipped; a missing type is empty.
  EXPECT_EQ(Files(p), "main.ofm:ofm | strings.rc:");

  const std::u16string net =
      Write("net.rqxproj",
            FenmoorProject("DotNetResourceDLL.Personality",
                           "<Options><Options Name=\"Culture\">1036</Options></Options>"
                           "<FileList><File FileName=\"a.resx\" FileType=\"resx\"/></FileList>"));
  FList.LoadFromProjectFile(net);
  ASSERT_EQ(FList.GetCount(), 1);
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$0000040C   " + Dir());
  EXPECT_EQ(FList.GetProject(0)->BaseLang, 0u);
}

TEST_F(ProjectFileTest, StarSplitDropsEmptyFields) {
  // Line breaks end fields too, and the empty fields between stars are dropped.
  FList.LoadFromProjectFile(
      Write("a.rqxproj",
            FenmoorProject("Orrin.Personality", ResourceDLLs("German\r\n*$00000407**DEU*\nde"))));
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$00000407 DEU de " + Dir() + "de");
  // Without a name the LCID moves into the unused first field and the extension is read as LCID.
  const std::u16string bad =
      Write("b.rqxproj", FenmoorProject("Orrin.Personality", ResourceDLLs("*$00000407*DEU*de")));
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(bad); }), "'DEU' is not a valid LCID value");
  const std::u16string bad2 =
      Write("c.rqxproj", FenmoorProject("Orrin.Personality", ResourceDLLs("German**DEU*de")));
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(bad2); }), "'DEU' is not a valid LCID value");
}

TEST_F(ProjectFileTest, ApplicationWithoutResourceModulesYieldsNothing) {
  FList.LoadFromProjectFile(
      Write("a.rqxproj", FenmoorProject("Tamsin.Personality", "<Language/>")));
  EXPECT_EQ(FList.GetCount(), 0);
  FList.LoadFromProjectFile(
      Write("b.rqxproj",
            FenmoorProject("Tamsin.Personality", "<Resource_DLL_Projects><Resource_DLL_Projects "
                                                 "Name=\"Item0\"/></Resource_DLL_Projects>")));
  EXPECT_EQ(FList.GetCount(), 0);
}

TEST_F(ProjectFileTest, UnusablePersonalitiesAndProjectTypes) {
  const std::u16string unknown = Write("u.rqxproj", FenmoorProject("Cobol.Personality", ""));
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(unknown); }),
            "Unable to open project file " + N(unknown) +
                ". (Unknown personality Cobol.Personality)");
  const std::u16string group = Data("group.rqxgroup");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(group); }),
            "Unable to open project file " + N(group) +
                ". (Unknown personality Default.Personality)");
  const std::u16string type = Write("t.rqxproj", FenmoorProject("HLX.Personality", "", "Other"));
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(type); }),
            "Unable to open project file " + N(type) + ". (Unknown project type Other)");
  // Build projects hold no personality information, so a stand-alone personality has no type.
  const std::u16string msb =
      Write("m.oproj", "<Project><ProjectExtensions><FenmoorProject><HLX.Personality/>"
                       "</FenmoorProject></ProjectExtensions></Project>");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromMSBuildProjectFile(msb); }),
            "Unable to open project file " + N(msb) + ". (Unknown project type )");
}

TEST_F(ProjectFileTest, MissingPersonalityElements) {
  const std::string noElement = FenmoorProject("Orrin.Personality", "");
  const std::u16string a =
      Write("a.rqxproj",
            noElement.substr(0, noElement.find("<Orrin.Personality>")) + "</FenmoorProject>");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(a); }),
            "Unable to open project file '" + N(a) + "'");
  const std::u16string b = Write(
      "b.oproj", "<Project><ProjectExtensions><FenmoorProject/></ProjectExtensions></Project>");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromMSBuildProjectFile(b); }),
            "Unable to open project file '" + N(b) + "'");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectGroup(a); }),
            "Unable to open project group '" + N(a) + "'");
  const std::u16string c = Write("c.groupproj", "<Other/>");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromMSBProjectGroup(c); }),
            "Unable to open project group '" + N(c) + "'");
  const std::u16string app = Data("app.rqxproj");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectGroup(app); }),
            "Unable to open project file " + N(app) + ". (Unknown personality Orrin.Personality)");
  const std::u16string broken = Write("d.rqxproj", "<FenmoorProject>");
  EXPECT_NE(ErrorOf([&] {
              FList.LoadFromProjectFile(broken);
            }).find("Unable to open project file '" + N(broken) + "': "),
            std::string::npos);
}

TEST_F(ProjectFileTest, BadLanguageValuesFailTheLoad) {
  struct TCase {
    std::string Value, Message;
  } cases[] = {
      {"German*$00000000*DEU*de",
       "Unknown language '$00000000' at 'Item0' of 'Resource_DLL_Projects'"},
      {"German*$0000FFFF*DEU*de",
       "Unknown language '$0000FFFF' at 'Item0' of 'Resource_DLL_Projects'"},
      {"German*$00000407",
       "No file extension for the language '$00000407' at 'Item0' of 'Resource_DLL_Projects'"},
      {"German*$00000407*DEU*", "No translation directory for the language '$00000407' at 'Item0' "
                                "of 'Resource_DLL_Projects'"},
  };
  for (const TCase& c : cases) {
    const std::u16string f =
        Write("a.rqxproj", FenmoorProject("Orrin.Personality", ResourceDLLs(c.Value)));
    EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(f); }),
              "Unable to open project file " + N(f) + ". (" + c.Message + ")");
  }
  const std::u16string xlat =
      Write("x.rqxproj",
            FenmoorProject("HLX.Personality",
                           "<Options><Options Name=\"LCID\">1031</Options></Options>", "Xlat"));
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(xlat); }),
            "Unable to open project file " + N(xlat) +
                ". (No file extension for the language '1031' at 'LCID' of 'Options')");
}

TEST_F(ProjectFileTest, PathsMadeOnWindows) {
  FList.LoadFromProjectFile(
      Write("a.rqxproj", FenmoorProject("Orrin.Personality",
                                        ResourceDLLs("German*$00000407*DEU*..\\trans\\de"))));
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$00000407 DEU ..\\trans\\de " + Dir() + "../trans/de");
  FList.LoadFromProjectFile(
      Write("b.rqxproj", FenmoorProject("Orrin.Personality",
                                        ResourceDLLs("German*$00000407*DEU*/srv/trans/de"))));
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$00000407 DEU /srv/trans/de /srv/trans/de");

  const std::u16string drive =
      Write("c.rqxproj", FenmoorProject("Orrin.Personality",
                                        ResourceDLLs("German*$00000407*DEU*C:\\trans\\de")));
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromProjectFile(drive); }),
            "The project file " + N(drive) +
                " refers to 'C:\\trans\\de', a path on a drive or network share that cannot be "
                "resolved on this system");
  const std::u16string group =
      Write("g.rqxgroup",
            FenmoorProject("Default.Personality",
                           "<Projects><Projects Name=\"a\">C:\\work\\a.rqxproj</Projects><Projects "
                           "Name=\"Targets\">a</Projects></Projects>"));
  EXPECT_NE(
      ErrorOf([&] { FList.LoadFromProjectGroup(group); }).find("refers to 'C:\\work\\a.rqxproj'"),
      std::string::npos);
  const std::u16string msb =
      Write("g.groupproj", "<Project><ItemGroup><Projects "
                           "Include=\"\\\\server\\share\\a.oproj\"/></ItemGroup></Project>");
  EXPECT_NE(ErrorOf([&] {
              FList.LoadFromMSBProjectGroup(msb);
            }).find("refers to '\\\\server\\share\\a.oproj'"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(FTemp.Path() / "C:"));
}

// ---- groups

TEST_F(ProjectFileTest, GroupLoadsItsApplicationProjects) {
  FList.LoadFromProjectGroup(Data("group.rqxgroup"));
  ASSERT_EQ(FList.GetCount(), 2); // the resource module and the empty path are skipped
  EXPECT_EQ(N(FList.GetProject(0)->FileName), DataDir() + "app.rqxproj");
  EXPECT_EQ(N(FList.GetProject(1)->FileName), DataDir() + "sub/second.rqxproj");
  EXPECT_EQ(Langs(*FList.GetProject(1)), "$00000411 JPN jpn " + DataDir() + "sub/jpn");
  // The same resource module opened by itself is a project of one language.
  FList.LoadFromProjectFile(Data("res_de.rqxproj"));
  EXPECT_EQ(FList.GetProject(0)->GetLangCount(), 1);
}

TEST_F(ProjectFileTest, BuildGroupLoadsByExtension) {
  FList.LoadFromMSBProjectGroup(Data("group.groupproj"));
  ASSERT_EQ(FList.GetCount(), 2);
  EXPECT_EQ(FList.GetProject(0)->BaseLang, 0x407u); // the build project
  EXPECT_EQ(ExtractFileName(FList.GetProject(1)->FileName), u"second.rqxproj");
}

TEST_F(ProjectFileTest, FailingMemberKeepsTheMembersBefore) {
  Write("ok.rqxproj", FenmoorProject("Orrin.Personality", ResourceDLLs("German*$00000407*DEU*de")));
  const std::u16string g = Write(
      "g.rqxgroup", FenmoorProject("Default.Personality",
                                   "<Projects><Projects Name=\"a\">ok.rqxproj</Projects><Projects "
                                   "Name=\"b\">missing.rqxproj</Projects>"
                                   "<Projects Name=\"Targets\">a b</Projects></Projects>"));
  EXPECT_NE(ErrorOf([&] { FList.LoadFromProjectGroup(g); }).find("missing.rqxproj"),
            std::string::npos);
  EXPECT_EQ(FList.GetCount(), 1);
}

// ---- the old INI form

TEST_F(ProjectFileTest, LegacyProject) {
  FList.LoadFromHLXFile(Data("legacy.hlx"));
  ASSERT_EQ(FList.GetCount(), 1);
  const TQEMBaseProjectFile& p = *FList.GetProject(0);
  EXPECT_TRUE(p.ReadOnly);
  EXPECT_EQ(p.BaseLang, 0x409u);
  const std::string dir = DataDir();
  EXPECT_EQ(Langs(p), "$00000407 DEU lang/de " + dir + "lang/de | $0000040C .FRA french files " +
                          dir + "french files");
  EXPECT_EQ(Files(p), "main.ofm:ofm | forms\\about box.ofm: | strings.rc:");
}

TEST_F(ProjectFileTest, LegacyProjectValues) {
  // No Root: directories are taken relative to the file; ANSI text is read in the code page.
  const std::u16string f =
      Write("p.hlx", "[environment]\nLCID=1031\n[Extensions]\nx=ENU,1033,\"" + Dir() +
                         "en\"\ny=FRA,$40C,fr\n[Files]\n=\"caf\xE9.rc\",rc,ignored\n");
  FList.LoadFromHLXFile(f);
  EXPECT_EQ(FList.GetProject(0)->BaseLang, 1031u);
  EXPECT_EQ(Langs(*FList.GetProject(0)),
            "$00000409 ENU en " + Dir() + "en | $0000040C FRA fr " + Dir() + "fr");
  EXPECT_EQ(Files(*FList.GetProject(0)), "caf\xC3\xA9.rc:rc");

  const std::u16string bad = Write("q.hlx", "[Extensions]\n\n; note\nx=DEU,1031,de\nx=FRA,,fr\n");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromHLXFile(bad); }),
            "Unable to open project file " + N(bad) + ". (Unknown language '' at line 5)");
  const std::u16string bad2 = Write("r.hlx", "[Extensions]\nx=DEU,1031,de\nx=FRA,1036\n");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromHLXFile(bad2); }),
            "Unable to open project file " + N(bad2) +
                ". (No translation directory for the language '1036' at line 3)");
  const std::u16string missing = FTemp.U16("none.hlx");
  EXPECT_EQ(ErrorOf([&] { FList.LoadFromHLXFile(missing); }),
            "Unable to open project file '" + N(missing) + "'");
}

// ---- saving

TEST_F(ProjectFileTest, SaveAsWritesBaseAndLanguageFiles) {
  NewProject(FList);
  const std::u16string base = FTemp.U16("app.rqxproj");
  FList.SaveAs(base);
  const std::string text = Read("app.rqxproj");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
  EXPECT_NE(text.find("<FenmoorProject xmlns=\"" + N(std::u16string(QEMProjectNamespace)) + "\">"),
            std::string::npos);
  const size_t guid = text.find("<Option Name=\"GUID\">");
  ASSERT_NE(guid, std::string::npos);
  EXPECT_TRUE(IsRegistryGuid(text.substr(guid + 20, 38))) << text.substr(guid, 70);
  EXPECT_NE(text.find("<Option Name=\"ProjectType\">Base</Option>"), std::string::npos);
  EXPECT_NE(text.find("<Languages Name=\"Item1\">$0000040C*FRA*lang/fr</Languages>"),
            std::string::npos);
  EXPECT_NE(text.find("<File FileName=\"main.ofm\" FileType=\"ofm\" ContainerId=\"\""),
            std::string::npos);

  TQEMBaseProjectFileList again;
  again.LoadFromProjectFile(base);
  ASSERT_EQ(again.GetCount(), 1);
  const TQEMBaseProjectFile& p = *again.GetProject(0);
  EXPECT_FALSE(p.ReadOnly);
  EXPECT_EQ(p.BaseLang, 0x409u);
  EXPECT_EQ(Langs(p),
            "$00000407 .DEU de " + Dir() + "de | $0000040C FRA lang/fr " + Dir() + "lang/fr");
  EXPECT_EQ(Files(p), "main.ofm:ofm | res/strings.rc:");

  again.LoadFromProjectFile(FTemp.U16("lang/fr/app.rqxproj"));
  const TQEMBaseProjectFile& fr = *again.GetProject(0);
  EXPECT_TRUE(fr.ReadOnly);
  EXPECT_EQ(fr.BaseLang, 0x409u);
  EXPECT_EQ(Langs(fr), "$0000040C FRA  " + Dir() + "lang/fr/");
  EXPECT_EQ(Files(fr), "main.ofm:ofm | res/strings.rc:");
  EXPECT_NE(Read("lang/fr/app.rqxproj").find("<Option Name=\"ProjectType\">Xlat</Option>"),
            std::string::npos);

  // Saving what was loaded gives the same files, GUIDs included.
  const std::string de = Read("de/app.rqxproj");
  TQEMBaseProjectFileList reloaded;
  reloaded.LoadFromProjectFile(base);
  reloaded.SaveAs(base);
  EXPECT_EQ(Read("app.rqxproj"), text);
  EXPECT_EQ(Read("de/app.rqxproj"), de);
  EXPECT_EQ(Read("app.~rqxproj"), text);
  EXPECT_EQ(Read("de/app.~rqxproj"), de);
}

TEST_F(ProjectFileTest, SaveOverAnExistingFileKeepsWhatItDoesNotWrite) {
  const std::u16string base =
      Write("app.rqxproj",
            FenmoorProject(
                "HLX.Personality",
                "<Custom><Custom Name=\"Keep\">me</Custom></Custom><Options><Options "
                "Name=\"Other\">x</Options>"
                "<Options Name=\"BaseLang\">1031</Options></Options><FileList><File "
                "FileName=\"old.rc\"/></FileList>"
                "<Languages><Languages Name=\"Item0\">$00000407*DEU*de</Languages></Languages>",
                "Base"));
  const std::string before = Read("app.rqxproj");
  NewProject(FList);
  FList.SaveAs(base);
  EXPECT_EQ(Read("app.~rqxproj"), before);
  const std::string text = Read("app.rqxproj");
  EXPECT_NE(text.find("<Custom Name=\"Keep\">me</Custom>"), std::string::npos);
  EXPECT_NE(text.find("<Options Name=\"Other\">x</Options>"), std::string::npos);
  EXPECT_EQ(text.find("old.rc"), std::string::npos);
  EXPECT_EQ(text.find("GUID"), std::string::npos); // the file's own information is kept as it was
  TQEMBaseProjectFileList again;
  again.LoadFromProjectFile(base);
  EXPECT_EQ(again.GetProject(0)->BaseLang, 0x409u);
  EXPECT_EQ(again.GetProject(0)->GetLangCount(), 2);
}

TEST_F(ProjectFileTest, RemovedLanguagesStayRemoved) {
  TQEMBaseProjectFile& p = NewProject(FList);
  p.AddLang(0x411).Ext = u"JPN";
  p.GetLang(2).XlatPath = u"ja";
  const std::u16string base = FTemp.U16("app.rqxproj");
  FList.SaveAs(base);
  p.DeleteLang(0);
  p.DeleteLang(1);
  FList.SaveAs(base);
  TQEMBaseProjectFileList again;
  again.LoadFromProjectFile(base);
  EXPECT_EQ(Langs(*again.GetProject(0)), "$0000040C FRA lang/fr " + Dir() + "lang/fr");
}

TEST_F(ProjectFileTest, SavedHlxProjectOpensAgain) {
  FList.LoadFromHLXFile(Data("legacy.hlx"));
  // An old project may be saved, and is then written in the XML form.
  const std::u16string target = FTemp.U16("legacy.hlx");
  FList.SaveAs(target);
  TQEMBaseProjectFileList again;
  again.LoadFromHLXFile(target);
  ASSERT_EQ(again.GetCount(), 1);
  EXPECT_FALSE(again.GetProject(0)->ReadOnly);
  EXPECT_EQ(Langs(*again.GetProject(0)), "$00000407 DEU lang/de " + Dir() +
                                             "lang/de | $0000040C .FRA french files " + Dir() +
                                             "french files");
  EXPECT_EQ(Files(*again.GetProject(0)), "main.ofm:ofm | forms/about box.ofm: | strings.rc:");

  // Saved over itself, the old INI file is replaced and kept as the backup.
  const std::u16string old = Write("old.hlx", ReadTextFile(DataDir() + "legacy.hlx"));
  FList.GetProject(0)->FileName = old;
  FList.SaveAs(old);
  EXPECT_EQ(Read("old.~hlx"), ReadTextFile(DataDir() + "legacy.hlx"));
  again.LoadFromHLXFile(old);
  EXPECT_EQ(again.GetProject(0)->GetLangCount(), 2);
}

TEST_F(ProjectFileTest, RefusedSavesRaiseAndWriteNothing) {
  const std::u16string target = FTemp.U16("out.rqxproj");
  NewProject(FList);
  NewProject(FList);
  EXPECT_EQ(ErrorOf([&] { FList.SaveAs(target); }),
            "Unable to save the project as " + N(target) +
                ": only a single project can be saved, and there are 2");
  FList.Clear();
  EXPECT_EQ(ErrorOf([&] { FList.SaveAs(target); }),
            "Unable to save the project as " + N(target) +
                ": only a single project can be saved, and there are 0");

  FList.LoadFromProjectFile(Data("app.rqxproj"));
  EXPECT_EQ(ErrorOf([&] { FList.SaveAs(target); }), "Unable to save the project as " + N(target) +
                                                        ": the project " + DataDir() +
                                                        "app.rqxproj is read-only");

  FList.Clear();
  TQEMBaseProjectFile& p = NewProject(FList);
  p.GetLang(1).XlatPath = u"D:\\fr";
  EXPECT_NE(ErrorOf([&] { FList.SaveAs(target); }).find("refers to 'D:\\fr'"), std::string::npos);
  p.GetLang(1).XlatPath = u"";
  EXPECT_EQ(ErrorOf([&] { FList.SaveAs(target); }),
            "Unable to save the project as " + N(target) +
                ": the language $0000040C has no translation directory");
  p.GetLang(1).XlatPath = u"fr";
  p.GetLang(1).Ext = u"";
  EXPECT_NE(ErrorOf([&] { FList.SaveAs(target); }).find("has no file extension"),
            std::string::npos);
  p.GetLang(1).Ext = u"FRA";
  p.GetLang(1).LocaleID = 0;
  EXPECT_NE(ErrorOf([&] { FList.SaveAs(target); }).find("'$00000000' is not a known language"),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(FTemp.Path()));

  // An application project of the same name belongs to the IDE.
  p.GetLang(1).LocaleID = 0x40C;
  const std::u16string app = Write("app.rqxproj", ReadTextFile(DataDir() + "app.rqxproj"));
  EXPECT_EQ(ErrorOf([&] { FList.SaveAs(app); }),
            "Unable to save the project as " + N(app) +
                ": the file is a project of the personality Orrin.Personality, "
                "not a stand-alone project");
  EXPECT_EQ(Read("app.rqxproj"), ReadTextFile(DataDir() + "app.rqxproj"));
}

TEST_F(ProjectFileTest, FailedSaveLeavesTheOldFile) {
  TQEMBaseProjectFile& p = NewProject(FList);
  const std::u16string base = FTemp.U16("app.rqxproj");
  FList.SaveAs(base);
  const std::string before = Read("app.rqxproj");
  // A character XML cannot hold fails the save after the backup was made.
  p.SourceFiles.AddPair(u"bad\x01.rc", u"bad\x01.rc", u"");
  EXPECT_NE(ErrorOf([&] { FList.SaveAs(base); }), "<no error>");
  EXPECT_EQ(Read("app.rqxproj"), before);
  for (const auto& e : fs::directory_iterator(FTemp.Path()))
    EXPECT_TRUE(e.path().filename() == "app.rqxproj" || e.path().filename() == "app.~rqxproj" ||
                e.is_directory())
        << e.path();

  // A backup that cannot be replaced stops the save before the file is touched.
  fs::remove(FTemp.Path() / "app.~rqxproj");
  fs::create_directories(FTemp.Path() / "app.~rqxproj" / "x");
  p.SourceFiles.Delete(2);
  EXPECT_EQ(ErrorOf([&] { FList.SaveAs(base); }), "Unable to delete '" + Dir() + "app.~rqxproj'.");
  EXPECT_EQ(Read("app.rqxproj"), before);
}

} // namespace
