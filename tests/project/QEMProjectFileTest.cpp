#include <gmock/gmock.h>
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
using ::testing::HasSubstr;

namespace {

std::u16string U(const std::string& S) {
  return UTF8ToUTF16(S);
}
std::string N(const std::u16string& S) {
  return UTF16ToUTF8(S);
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hexadecimal.
bool IsRegistryGuid(const std::string& S) {
  static const std::string shape = "{........-....-....-....-............}";
  if (S.size() != shape.size()) return false;
  for (size_t k = 0; k < S.size(); ++k) {
    const char c = S[k];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    if (shape[k] == '.' ? !hex : c != shape[k]) return false;
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

// An application project of one resource module described by Value.
std::string OrrinProject(const std::string& Value) {
  return FenmoorProject("Orrin.Personality",
                        "<Resource_DLL_Projects><Resource_DLL_Projects Name=\"Item0\">" + Value +
                            "</Resource_DLL_Projects></Resource_DLL_Projects>");
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

  // The message of loading F with Load, F's path shown as "@".
  std::string Refusal(const std::u16string& F,
                      void (TQEMBaseProjectFileList::*Load)(const std::u16string&) =
                          &TQEMBaseProjectFileList::LoadFromProjectFile) {
    std::string m = ErrorOf([&] { (FList.*Load)(F); });
    const size_t at = m.find(N(F));
    return at == std::string::npos ? m : m.replace(at, N(F).size(), "@");
  }

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
  for (size_t i = 0; i < PersonalityNames.size(); ++i)
    EXPECT_EQ(size_t(PersonalityNames[i].PersonalityType), i);
}

TEST(ProjectFileModel, NewProjectsAndLanguages) {
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
}

TEST(ProjectFileModel, GuidsInRegistryForm) {
  const std::string a = N(QEMNewGuid()), b = N(QEMNewGuid());
  EXPECT_TRUE(IsRegistryGuid(a)) << a;
  EXPECT_EQ(a[15], '4') << a;
  EXPECT_NE(a, b);
}

// ---- reading each form

// Each form read from the data folder: application, build, resource module and old INI project.
// In a resource module, files without a name and other elements are skipped; a missing type is
// empty.
TEST_F(ProjectFileTest, EachFormReadsBaseLanguagesAndFiles) {
  using L = TQEMBaseProjectFileList;
  const std::string d = DataDir();
  const struct {
    void (L::*Load)(const std::u16string&);
    const char* File;
    unsigned Base;
    std::string Langs, Files;
  } forms[] = {
      {&L::LoadFromProjectFile, "app.rqxproj", 0x409,
       "$00000407 DEU DEU " + d + "DEU | $0000040C .FRA lang\\fr " + d + "lang/fr",
       "main.ofm:ofm | forms\\about.ofm: | strings.rc:rc*extra"},
      {&L::LoadFromMSBuildProjectFile, "app.oproj", 0x407, "$00000409 ENU enu " + d + "enu",
       "main.cpp:cpp"},
      {&L::LoadFromProjectFile, "res_de.rqxproj", 1033, "$00000407 .DEU  " + d,
       "main.ofm:ofm | strings.rc:"},
      {&L::LoadFromHLXFile, "legacy.hlx", 0x409,
       "$00000407 DEU lang/de " + d + "lang/de | $0000040C .FRA french files " + d + "french files",
       "main.ofm:ofm | forms\\about box.ofm: | strings.rc:"},
  };
  for (const auto& f : forms) {
    (FList.*f.Load)(Data(f.File));
    ASSERT_EQ(FList.GetCount(), 1) << f.File;
    const TQEMBaseProjectFile& p = *FList.GetProject(0);
    EXPECT_TRUE(p.ReadOnly) << f.File;
    EXPECT_EQ(p.BaseLang, f.Base) << f.File;
    EXPECT_EQ(Langs(p), f.Langs);
    EXPECT_EQ(Files(p), f.Files);
  }

  FList.LoadFromProjectFile(
      Write("net.rqxproj",
            FenmoorProject("DotNetResourceDLL.Personality",
                           "<Options><Options Name=\"Culture\">1036</Options></Options>"
                           "<FileList><File FileName=\"a.resx\" FileType=\"resx\"/></FileList>")));
  ASSERT_EQ(FList.GetCount(), 1);
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$0000040C   " + Dir());
  EXPECT_EQ(FList.GetProject(0)->BaseLang, 0u);
}

TEST_F(ProjectFileTest, StarSplitDropsEmptyFields) {
  // Line breaks end fields too, and the empty fields between stars are dropped.
  FList.LoadFromProjectFile(Write("a.rqxproj", OrrinProject("German\r\n*$00000407**DEU*\nde")));
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$00000407 DEU de " + Dir() + "de");
  // Without a name the LCID moves into the unused first field and the extension is read as LCID.
  for (const std::string value : {"*$00000407*DEU*de", "German**DEU*de"})
    EXPECT_EQ(Refusal(Write("b.rqxproj", OrrinProject(value))), "'DEU' is not a valid LCID value");
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
  EXPECT_EQ(Refusal(Write("u.rqxproj", FenmoorProject("Cobol.Personality", ""))),
            "Unable to open project file @. (Unknown personality Cobol.Personality)");
  EXPECT_EQ(Refusal(Data("group.rqxgroup")),
            "Unable to open project file @. (Unknown personality Default.Personality)");
  EXPECT_EQ(Refusal(Write("t.rqxproj", FenmoorProject("HLX.Personality", "", "Other"))),
            "Unable to open project file @. (Unknown project type Other)");
  // Build projects hold no personality information, so a stand-alone personality has no type.
  EXPECT_EQ(
      Refusal(Write("m.oproj", "<Project><ProjectExtensions><FenmoorProject><HLX.Personality/>"
                               "</FenmoorProject></ProjectExtensions></Project>"),
              &TQEMBaseProjectFileList::LoadFromMSBuildProjectFile),
      "Unable to open project file @. (Unknown project type )");
}

TEST_F(ProjectFileTest, MissingPersonalityElements) {
  const std::string noElement = FenmoorProject("Orrin.Personality", "");
  const std::u16string a =
      Write("a.rqxproj",
            noElement.substr(0, noElement.find("<Orrin.Personality>")) + "</FenmoorProject>");
  EXPECT_EQ(Refusal(a), "Unable to open project file '@'");
  EXPECT_EQ(
      Refusal(Write("b.oproj",
                    "<Project><ProjectExtensions><FenmoorProject/></ProjectExtensions></Project>"),
              &TQEMBaseProjectFileList::LoadFromMSBuildProjectFile),
      "Unable to open project file '@'");
  EXPECT_EQ(Refusal(a, &TQEMBaseProjectFileList::LoadFromProjectGroup),
            "Unable to open project group '@'");
  EXPECT_EQ(
      Refusal(Write("c.groupproj", "<Other/>"), &TQEMBaseProjectFileList::LoadFromMSBProjectGroup),
      "Unable to open project group '@'");
  EXPECT_EQ(Refusal(Data("app.rqxproj"), &TQEMBaseProjectFileList::LoadFromProjectGroup),
            "Unable to open project file @. (Unknown personality Orrin.Personality)");
  EXPECT_THAT(Refusal(Write("d.rqxproj", "<FenmoorProject>")),
              HasSubstr("Unable to open project file '@': "));
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
  for (const TCase& c : cases)
    EXPECT_EQ(Refusal(Write("a.rqxproj", OrrinProject(c.Value))),
              "Unable to open project file @. (" + c.Message + ")");
  EXPECT_EQ(Refusal(Write("x.rqxproj",
                          FenmoorProject("HLX.Personality",
                                         "<Options><Options Name=\"LCID\">1031</Options></Options>",
                                         "Xlat"))),
            "Unable to open project file @. (No file extension for the language '1031' at 'LCID' "
            "of 'Options')");
}

TEST_F(ProjectFileTest, PathsMadeOnWindows) {
  FList.LoadFromProjectFile(Write("a.rqxproj", OrrinProject("German*$00000407*DEU*..\\trans\\de")));
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$00000407 DEU ..\\trans\\de " + Dir() + "../trans/de");
  FList.LoadFromProjectFile(Write("b.rqxproj", OrrinProject("German*$00000407*DEU*/srv/trans/de")));
  EXPECT_EQ(Langs(*FList.GetProject(0)), "$00000407 DEU /srv/trans/de /srv/trans/de");

  EXPECT_EQ(Refusal(Write("c.rqxproj", OrrinProject("German*$00000407*DEU*C:\\trans\\de"))),
            "The project file @ refers to 'C:\\trans\\de', a path on a drive or network share "
            "that cannot be resolved on this system");
  EXPECT_THAT(
      Refusal(Write("g.rqxgroup",
                    FenmoorProject("Default.Personality",
                                   "<Projects><Projects Name=\"a\">C:\\work\\a.rqxproj</Projects>"
                                   "<Projects Name=\"Targets\">a</Projects></Projects>")),
              &TQEMBaseProjectFileList::LoadFromProjectGroup),
      HasSubstr("refers to 'C:\\work\\a.rqxproj'"));
  EXPECT_THAT(Refusal(Write("g.groupproj",
                            "<Project><ItemGroup><Projects "
                            "Include=\"\\\\server\\share\\a.oproj\"/></ItemGroup></Project>"),
                      &TQEMBaseProjectFileList::LoadFromMSBProjectGroup),
              HasSubstr("refers to '\\\\server\\share\\a.oproj'"));
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
  Write("ok.rqxproj", OrrinProject("German*$00000407*DEU*de"));
  EXPECT_THAT(
      Refusal(Write("g.rqxgroup",
                    FenmoorProject("Default.Personality",
                                   "<Projects><Projects Name=\"a\">ok.rqxproj</Projects><Projects "
                                   "Name=\"b\">missing.rqxproj</Projects>"
                                   "<Projects Name=\"Targets\">a b</Projects></Projects>")),
              &TQEMBaseProjectFileList::LoadFromProjectGroup),
      HasSubstr("missing.rqxproj"));
  EXPECT_EQ(FList.GetCount(), 1);
}

// ---- the old INI form

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

  const auto hlx = &TQEMBaseProjectFileList::LoadFromHLXFile;
  EXPECT_EQ(Refusal(Write("q.hlx", "[Extensions]\n\n; note\nx=DEU,1031,de\nx=FRA,,fr\n"), hlx),
            "Unable to open project file @. (Unknown language '' at line 5)");
  EXPECT_EQ(Refusal(Write("r.hlx", "[Extensions]\nx=DEU,1031,de\nx=FRA,1036\n"), hlx),
            "Unable to open project file @. (No translation directory for the language '1036' at "
            "line 3)");
  EXPECT_EQ(Refusal(FTemp.U16("none.hlx"), hlx), "Unable to open project file '@'");
}

// ---- saving

TEST_F(ProjectFileTest, SaveAsWritesBaseAndLanguageFiles) {
  NewProject(FList);
  const std::u16string base = FTemp.U16("app.rqxproj");
  FList.SaveAs(base);
  const std::string text = Read("app.rqxproj");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
  EXPECT_THAT(
      text, HasSubstr("<FenmoorProject xmlns=\"" + N(std::u16string(QEMProjectNamespace)) + "\">"));
  const size_t guid = text.find("<Option Name=\"GUID\">");
  ASSERT_NE(guid, std::string::npos);
  EXPECT_TRUE(IsRegistryGuid(text.substr(guid + 20, 38))) << text.substr(guid, 70);
  EXPECT_THAT(text, HasSubstr("<Option Name=\"ProjectType\">Base</Option>"));
  EXPECT_THAT(text, HasSubstr("<Languages Name=\"Item1\">$0000040C*FRA*lang/fr</Languages>"));
  EXPECT_THAT(text, HasSubstr("<File FileName=\"main.ofm\" FileType=\"ofm\" ContainerId=\"\""));

  // The base project is writable; each language's own file is read-only with that language.
  TQEMBaseProjectFileList again;
  for (const auto& [file, readOnly, langs] :
       {std::tuple{"app.rqxproj", false,
                   "$00000407 .DEU de " + Dir() + "de | $0000040C FRA lang/fr " + Dir() +
                       "lang/fr"},
        std::tuple{"lang/fr/app.rqxproj", true, "$0000040C FRA  " + Dir() + "lang/fr/"}}) {
    again.LoadFromProjectFile(FTemp.U16(file));
    ASSERT_EQ(again.GetCount(), 1);
    const TQEMBaseProjectFile& p = *again.GetProject(0);
    EXPECT_EQ(p.ReadOnly, readOnly);
    EXPECT_EQ(p.BaseLang, 0x409u);
    EXPECT_EQ(Langs(p), langs);
    EXPECT_EQ(Files(p), "main.ofm:ofm | res/strings.rc:");
  }
  EXPECT_THAT(Read("lang/fr/app.rqxproj"), HasSubstr("<Option Name=\"ProjectType\">Xlat</Option>"));

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
  EXPECT_THAT(text, HasSubstr("<Custom Name=\"Keep\">me</Custom>"));
  EXPECT_THAT(text, HasSubstr("<Options Name=\"Other\">x</Options>"));
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
  const auto save = &TQEMBaseProjectFileList::SaveAs;
  NewProject(FList);
  NewProject(FList);
  EXPECT_EQ(Refusal(target, save),
            "Unable to save the project as @: only a single project can be saved, and there are 2");
  FList.Clear();
  EXPECT_EQ(Refusal(target, save),
            "Unable to save the project as @: only a single project can be saved, and there are 0");
  FList.LoadFromProjectFile(Data("app.rqxproj"));
  EXPECT_EQ(Refusal(target, save), "Unable to save the project as @: the project " + DataDir() +
                                       "app.rqxproj is read-only");

  FList.Clear();
  TQEMLang& fr = NewProject(FList).GetLang(1);
  fr.XlatPath = u"D:\\fr";
  EXPECT_THAT(Refusal(target, save), HasSubstr("refers to 'D:\\fr'"));
  fr.XlatPath = u"";
  EXPECT_EQ(Refusal(target, save),
            "Unable to save the project as @: the language $0000040C has no translation directory");
  fr.XlatPath = u"fr";
  fr.Ext = u"";
  EXPECT_THAT(Refusal(target, save), HasSubstr("has no file extension"));
  fr.Ext = u"FRA";
  fr.LocaleID = 0;
  EXPECT_THAT(Refusal(target, save), HasSubstr("'$00000000' is not a known language"));
  EXPECT_TRUE(fs::is_empty(FTemp.Path()));

  // An application project of the same name belongs to the IDE.
  fr.LocaleID = 0x40C;
  const std::string app = ReadTextFile(DataDir() + "app.rqxproj");
  EXPECT_EQ(Refusal(Write("app.rqxproj", app), save),
            "Unable to save the project as @: the file is a project of the personality "
            "Orrin.Personality, not a stand-alone project");
  EXPECT_EQ(Read("app.rqxproj"), app);
}

TEST_F(ProjectFileTest, FailedSaveLeavesTheOldFile) {
  TQEMBaseProjectFile& p = NewProject(FList);
  const std::u16string base = FTemp.U16("app.rqxproj");
  FList.SaveAs(base);
  const std::string before = Read("app.rqxproj");
  // A character XML cannot hold fails the save after the backup was made.
  p.SourceFiles.AddPair(u"bad\x01.rc", u"bad\x01.rc", u"");
  EXPECT_NE(Refusal(base, &TQEMBaseProjectFileList::SaveAs), "<no error>");
  EXPECT_EQ(Read("app.rqxproj"), before);
  for (const auto& e : fs::directory_iterator(FTemp.Path()))
    EXPECT_TRUE(e.path().filename() == "app.rqxproj" || e.path().filename() == "app.~rqxproj" ||
                e.is_directory())
        << e.path();

  // A backup that cannot be replaced stops the save before the file is touched.
  fs::remove(FTemp.Path() / "app.~rqxproj");
  fs::create_directories(FTemp.Path() / "app.~rqxproj" / "x");
  p.SourceFiles.Delete(2);
  EXPECT_EQ(Refusal(base, &TQEMBaseProjectFileList::SaveAs),
            "Unable to delete '" + Dir() + "app.~rqxproj'.");
  EXPECT_EQ(Read("app.rqxproj"), before);
}

} // namespace
