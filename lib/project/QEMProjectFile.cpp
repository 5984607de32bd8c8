#include "project/QEMProjectFile.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <system_error>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMGuid.h"
#include "project/QEMXmlIniFile.h"
#include "resources/QEMConst.h"

const std::array<TPersonalityPair, 8> PersonalityNames{{
    {u"", InvalidPersonality},
    {u"Default.Personality", DefaultPersonality},
    {u"Orrin.Personality", OrrinPersonality},
    {u"OrrinDotNet.Personality", OrrinDotNetPersonality},
    {u"Tamsin.Personality", TamsinPersonality},
    {u"W32ResourceDLL.Personality", W32ResourceDLLPersonality},
    {u"DotNetResourceDLL.Personality", DotNetResourceDLLPersonality},
    {u"HLX.Personality", HLXPersonality},
}};

TPersonalityType PersonalityNameToType(std::u16string_view Name) {
  for (const TPersonalityPair& p : PersonalityNames)
    if (QEMSameText(p.PersonalityName, Name)) return p.PersonalityType;
  return InvalidPersonality;
}

std::u16string PersonalityTypeToName(TPersonalityType Type) {
  for (const TPersonalityPair& p : PersonalityNames)
    if (p.PersonalityType == Type) return std::u16string(p.PersonalityName);
  return {};
}

bool IsApplicationPersonality(TPersonalityType Type) {
  return Type == OrrinPersonality || Type == OrrinDotNetPersonality || Type == TamsinPersonality;
}

namespace {

std::u16string ProjectTemplate() {
  return u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<FenmoorProject xmlns=\"" +
         std::u16string(QEMProjectNamespace) + u"\"/>";
}

[[noreturn]] void Fail(const std::u16string& Msg) {
  throw EQEMProjectError(Msg);
}

// Windows paths with a drive or share: kept as text, but no file here can answer to them.
bool IsForeignPath(std::u16string_view Path) {
  return QEMHasDrive(Path) && Path[0] != u'/';
}

std::u16string ProjectDir(const std::u16string& FileName) {
  return QEMSlashes(ExtractFilePath(FileName));
}

// Where the files of a language of the project FileName live.
std::u16string LangPath(const std::u16string& FileName, const std::u16string& XlatPath) {
  if (XlatPath.empty()) return ProjectDir(FileName);
  if (IsForeignPath(XlatPath)) Fail(Format(SProjectForeignPath, FileName, XlatPath));
  const std::u16string xlat = QEMSlashes(XlatPath);
  return xlat[0] == u'/' ? xlat : ProjectDir(FileName) + xlat;
}

// A project named by a group, made absolute against the group's folder.
std::u16string MemberPath(const std::u16string& GroupFile, const std::u16string& Path) {
  if (IsForeignPath(Path)) Fail(Format(SProjectForeignPath, GroupFile, Path));
  std::u16string r = QEMSlashes(Path);
  if (r[0] != u'/') {
    r = ProjectDir(GroupFile) + r;
    if (r[0] != u'/') {
      std::error_code ec;
      const std::filesystem::path cwd = std::filesystem::current_path(ec);
      if (!ec) r = IncludeTrailingPathDelimiter(UTF8ToUTF16(cwd.string())) + r;
    }
  }
  return QEMNormalizePath(r);
}

// Splits at "*", also ending fields at line breaks. Empty fields are dropped, so later fields
// move up; existing project files are read that way.
std::vector<std::u16string> SplitStar(const std::u16string& S) {
  std::vector<std::u16string> r;
  size_t i = 0;
  while (i < S.size()) {
    while (i < S.size() && (S[i] == u'\r' || S[i] == u'\n'))
      ++i;
    const size_t start = i;
    while (i < S.size() && S[i] != u'*' && S[i] != u'\r' && S[i] != u'\n')
      ++i;
    if (i > start) r.push_back(S.substr(start, i - start));
    if (i < S.size() && S[i] == u'*') ++i;
  }
  return r;
}

std::u16string Field(const std::vector<std::u16string>& Fields, size_t Index) {
  return Index < Fields.size() ? Fields[Index] : std::u16string();
}

struct TLangFields {
  LCID Locale = 0;
  std::u16string LocaleText;
  std::u16string Ext;
  std::u16string XlatPath;
};

// Appends a language only when every value it needs is there: the reader never guesses.
void AddCheckedLang(TQEMBaseProjectFile& P, const TLangFields& L, bool NeedExt, bool NeedDir,
                    const std::u16string& Where) {
  if (!IsValidLCID(L.Locale))
    Fail(Format(SProjectUnknownLanguage, P.FileName, L.LocaleText, Where));
  if (NeedExt && L.Ext.empty()) Fail(Format(SProjectNoExtension, P.FileName, L.LocaleText, Where));
  if (NeedDir && L.XlatPath.empty())
    Fail(Format(SProjectNoXlatDir, P.FileName, L.LocaleText, Where));
  const std::u16string path = LangPath(P.FileName, L.XlatPath);
  TQEMLang& lang = P.AddLang(L.Locale);
  lang.Ext = L.Ext;
  lang.XlatPath = L.XlatPath;
  lang.Path = path;
}

std::u16string AtKey(const std::u16string& Key, const std::u16string& Section) {
  return Format(SProjectAtKey, Key, Section);
}

void AddSourceFile(TQEMBaseProjectFile& P, const std::u16string& Name, const std::u16string& Type) {
  if (!Name.empty()) P.SourceFiles.AddPair(Name, Name, Type);
}

void ReadFileList(TQEMBaseProjectFile& P, TQEMXMLNode Personality) {
  const TQEMXMLNode list = FindChildElement(Personality, u"FileList");
  for (TQEMXMLNode c = list.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == ntElement && c.NodeName() == u"File")
      AddSourceFile(P, c.GetAttribute(u"FileName"), c.GetAttribute(u"FileType"));
}

// Languages kept as "*"-separated fields: LCID, extension, translation directory, starting at
// field First.
void ReadStarLanguages(TQEMBaseProjectFile& P, TXmlIniFile& Ini, const std::u16string& Section,
                       size_t First) {
  for (const auto& [key, value] : Ini.ReadSectionPairs(Section)) {
    const std::vector<std::u16string> f = SplitStar(value);
    TLangFields l;
    l.LocaleText = Field(f, First);
    l.Locale = StrToLCID(l.LocaleText);
    l.Ext = Field(f, First + 1);
    l.XlatPath = Field(f, First + 2);
    AddCheckedLang(P, l, true, true, AtKey(key, Section));
  }
}

void ReadApplicationProject(TQEMBaseProjectFile& P, TXmlIniFile& Ini) {
  P.ReadOnly = true;
  P.BaseLang = StrToLCID(Ini.ReadString(u"Language", u"ProjectLang", u"$00000009"));
  ReadStarLanguages(P, Ini, u"Resource_DLL_Projects", 1);
  for (const char16_t* s : {u"RDP_Source_Files", u"Misc Files"}) {
    for (const auto& [key, value] : Ini.ReadSectionPairs(s)) {
      const size_t star = value.find(u'*');
      AddSourceFile(P, value.substr(0, star),
                    star == std::u16string::npos ? u"" : value.substr(star + 1));
    }
  }
}

// One language from an integer key of Options, as resource modules and translation copies hold.
TLangFields OptionsLang(TXmlIniFile& Ini, const std::u16string& Key) {
  TLangFields l;
  l.LocaleText = Ini.ReadString(u"Options", Key, u"");
  l.Locale = LCID(Ini.ReadInteger(u"Options", Key, 0));
  return l;
}

void ReadResourceModuleProject(TQEMBaseProjectFile& P, TXmlIniFile& Ini, TQEMXMLNode Personality,
                               TPersonalityType Type) {
  P.ReadOnly = true;
  P.BaseLang = LCID(Ini.ReadInteger(u"Options", u"BaseLang", 0));
  const std::u16string key = Type == W32ResourceDLLPersonality ? u"LCID" : u"Culture";
  TLangFields l = OptionsLang(Ini, key);
  if (Type == W32ResourceDLLPersonality)
    l.Ext = ExtractFileExt(Ini.ReadString(u"Options", u"TargetName", u""));
  AddCheckedLang(P, l, Type == W32ResourceDLLPersonality, false, AtKey(key, u"Options"));
  ReadFileList(P, Personality);
}

void ReadHLXProject(TQEMBaseProjectFile& P, TXmlIniFile& Ini, TQEMXMLNode Personality, bool Base) {
  P.ReadOnly = !Base;
  P.BaseLang = LCID(Ini.ReadInteger(u"Options", u"BaseLang", 0));
  if (Base) {
    ReadStarLanguages(P, Ini, u"Languages", 0);
  } else {
    TLangFields l = OptionsLang(Ini, u"LCID");
    l.Ext = Ini.ReadString(u"Options", u"Ext", u"");
    AddCheckedLang(P, l, true, false, AtKey(u"LCID", u"Options"));
  }
  ReadFileList(P, Personality);
}

// Whether the first thing in the file, after a byte-order mark and blanks, is markup.
bool LooksLikeXML(std::string_view B) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  if (B.starts_with("\xEF\xBB\xBF")) B.remove_prefix(3);
  int unit = 1, low = 0;
  if (B.starts_with("\xFF\xFE"))
    unit = 2, B.remove_prefix(2);
  else if (B.starts_with("\xFE\xFF"))
    unit = 2, low = 1, B.remove_prefix(2);
  else if (B.size() >= 2 && B[0] == '<' && B[1] == 0)
    unit = 2;
  else if (B.size() >= 2 && B[0] == 0 && B[1] == '<')
    unit = 2, low = 1;
  for (size_t i = 0; i + size_t(unit) <= B.size(); i += size_t(unit)) {
    if (unit == 2 && B[i + size_t(1 - low)] != 0) return false;
    const char c = B[i + size_t(low)];
    if (!blank(c)) return c == '<';
  }
  return false;
}

bool IsValidUTF8(std::string_view S) {
  return QEMFindInvalidUTF8(S) == std::string_view::npos;
}

// Old projects were written in UTF-16 or UTF-8 with a mark, or in the ANSI code page.
std::u16string DecodeText(std::string_view B) {
  auto utf16 = [](std::string_view S, bool BigEndian) {
    std::u16string r;
    r.reserve(S.size() / 2);
    for (size_t i = 0; i + 1 < S.size(); i += 2) {
      const auto a = uint8_t(S[i]), b = uint8_t(S[i + 1]);
      r.push_back(char16_t(BigEndian ? (a << 8) | b : (b << 8) | a));
    }
    return r;
  };
  if (B.starts_with("\xEF\xBB\xBF")) return UTF8ToUTF16(B.substr(3));
  if (B.starts_with("\xFF\xFE")) return utf16(B.substr(2), false);
  if (B.starts_with("\xFE\xFF")) return utf16(B.substr(2), true);
  if (IsValidUTF8(B)) return UTF8ToUTF16(B);
  return StringToWideStringCP(0, B);
}

// ---- the old INI form

struct TIniLine {
  std::u16string Key; // empty when the line has no "="
  std::u16string Value;
  std::u16string Text; // the whole line, trimmed
  int Line = 0;
};

struct TIniSection {
  std::u16string Name;
  std::vector<TIniLine> Lines;
};

std::vector<TIniSection> ParseIni(const std::u16string& Text) {
  std::vector<TIniSection> sections;
  TIniSection* cur = nullptr;
  size_t pos = 0;
  int lineNo = 0;
  while (pos <= Text.size()) {
    size_t end = Text.find_first_of(u"\r\n", pos);
    if (end == std::u16string::npos) end = Text.size();
    ++lineNo;
    const std::u16string s = QEMTrim(std::u16string_view(Text).substr(pos, end - pos));
    pos = end + (end + 1 < Text.size() && Text[end] == u'\r' && Text[end + 1] == u'\n' ? 2 : 1);
    if (s.empty() || s[0] == u';') continue;
    if (s.front() == u'[' && s.back() == u']' && s.size() >= 2) {
      const std::u16string name = QEMTrim(std::u16string_view(s).substr(1, s.size() - 2));
      auto it = std::find_if(sections.begin(), sections.end(),
                             [&](const TIniSection& x) { return QEMSameText(x.Name, name); });
      if (it == sections.end()) it = sections.insert(sections.end(), TIniSection{name, {}});
      cur = &*it;
      continue;
    }
    if (!cur) continue;
    TIniLine l;
    l.Line = lineNo;
    l.Text = s;
    const size_t eq = s.find(u'=');
    if (eq != std::u16string::npos) {
      l.Key = QEMTrim(std::u16string_view(s).substr(0, eq));
      l.Value = QEMTrim(std::u16string_view(s).substr(eq + 1));
    } else {
      l.Value = s;
    }
    cur->Lines.push_back(std::move(l));
  }
  return sections;
}

const TIniSection* FindSection(const std::vector<TIniSection>& Sections, std::u16string_view Name) {
  for (const TIniSection& s : Sections)
    if (QEMSameText(s.Name, Name)) return &s;
  return nullptr;
}

const TIniLine* FindKey(const TIniSection* Section, std::u16string_view Key) {
  if (Section)
    for (const TIniLine& l : Section->Lines)
      if (!l.Key.empty() && QEMSameText(l.Key, Key)) return &l;
  return nullptr;
}

// Comma text: fields separated by commas or blanks, quoted with double quotes when they hold
// either; a doubled quote inside quotes is one quote.
std::vector<std::u16string> SplitCommaText(std::u16string_view S) {
  std::vector<std::u16string> r;
  // NUL counts as a blank too: a field that cannot start must never stall the walk.
  auto blank = [&](size_t i) { return i < S.size() && S[i] <= u' '; };
  size_t i = 0;
  while (blank(i))
    ++i;
  while (i < S.size()) {
    std::u16string f;
    if (S[i] == u'"') {
      ++i;
      while (i < S.size()) {
        if (S[i] == u'"') {
          if (i + 1 < S.size() && S[i + 1] == u'"') {
            f += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        f += S[i++];
      }
    } else {
      const size_t start = i;
      while (i < S.size() && S[i] > u' ' && S[i] != u',')
        ++i;
      f.assign(S.substr(start, i - start));
    }
    r.push_back(std::move(f));
    while (blank(i))
      ++i;
    if (i < S.size() && S[i] == u',') {
      if (i + 1 == S.size()) r.emplace_back();
      do
        ++i;
      while (blank(i));
    }
  }
  return r;
}

std::vector<std::u16string> PathParts(const std::u16string& Path) {
  std::vector<std::u16string> parts;
  const std::u16string p = QEMNormalizePath(Path);
  size_t start = 0;
  for (size_t i = 0; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == u'/') {
      if (i > start || parts.empty()) parts.push_back(p.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// Dir relative to Root when both carry the same root; otherwise Dir as stored. Windows paths
// compare ignoring case, as they did where they were made.
std::u16string RelativeTo(const std::u16string& Root, const std::u16string& Dir) {
  if (!QEMHasDrive(Dir) || !QEMHasDrive(Root)) return Dir;
  const bool windows = IsForeignPath(Dir);
  auto same = [&](const std::u16string& A, const std::u16string& B) {
    return windows ? QEMSameText(A, B) : A == B;
  };
  const std::vector<std::u16string> r = PathParts(Root), d = PathParts(Dir);
  if (!same(r[0], d[0])) return Dir;
  size_t common = 1;
  while (common < r.size() && common < d.size() && same(r[common], d[common]))
    ++common;
  std::u16string rel;
  for (size_t k = common; k < r.size(); ++k)
    rel += rel.empty() ? u".." : u"/..";
  for (size_t k = common; k < d.size(); ++k)
    rel += (rel.empty() ? u"" : u"/") + d[k];
  return rel;
}

// ---- saving

bool IsBlank(const std::u16string& S) {
  return std::all_of(S.begin(), S.end(), [](char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
  });
}

// Elements that hold only other nodes (and blanks) get each child on its own line; elements with
// text are left exactly as they are.
bool IsBlockElement(TQEMXMLNode E) {
  bool nested = false;
  for (TQEMXMLNode c = E.FirstChild(); c; c = c.NextSibling()) {
    const TQEMXMLNodeType t = c.NodeType();
    if (t == ntCData || (t == ntText && !IsBlank(c.NodeValue()))) return false;
    if (t != ntText) nested = true;
  }
  return nested;
}

std::u16string Indentation(int Depth) {
  std::u16string s = u"\r\n";
  for (int k = 0; k < std::min(Depth, MaxFormattedDepth); ++k)
    s += DefaultIndentStr;
  return s;
}

// Walks with an explicit stack: a hostile existing file cannot exhaust the call stack.
void IndentTree(TQEMXMLNode Root) {
  std::vector<std::pair<TQEMXMLNode, int>> stack{{Root, 0}};
  while (!stack.empty()) {
    const auto [e, depth] = stack.back();
    stack.pop_back();
    if (!IsBlockElement(e)) {
      for (TQEMXMLNode c = e.FirstChild(); c; c = c.NextSibling())
        if (c.NodeType() == ntElement) stack.emplace_back(c, depth + 1);
      continue;
    }
    for (TQEMXMLNode c = e.FirstChild(); c;) {
      const TQEMXMLNode next = c.NextSibling();
      if (c.NodeType() == ntText) e.RemoveChild(c);
      c = next;
    }
    const std::u16string inner = Indentation(depth + 1);
    for (TQEMXMLNode c = e.FirstChild(); c; c = c.NextSibling()) {
      e.InsertTextBefore(c, inner);
      if (c.NodeType() == ntElement) stack.emplace_back(c, depth + 1);
    }
    e.AppendText(Indentation(depth));
  }
}

std::shared_ptr<TQEMXMLDocument> NewProjectDocument(bool Base) {
  auto doc = CreateNewDocument();
  const TQEMXMLNode root = doc->DocumentNode().AppendElement(u"FenmoorProject");
  root.SetAttribute(u"xmlns", std::u16string(QEMProjectNamespace));
  TXmlIniFile info(root.AppendElement(u"PersonalityInfo"));
  info.WriteString(u"Option", u"Personality", PersonalityTypeToName(HLXPersonality));
  info.WriteString(u"Option", u"ProjectType", Base ? u"Base" : u"Xlat");
  info.WriteString(u"Option", u"Version", u"1.0");
  info.WriteString(u"Option", u"GUID", QEMNewGuid());
  root.AppendElement(PersonalityTypeToName(HLXPersonality));
  return doc;
}

void BackUp(const std::u16string& Target) {
  const std::u16string backup = QEMMakeBackupFileName(Target);
  std::error_code ec;
  const auto native = std::filesystem::path(QEMNativePath(backup));
  if (std::filesystem::symlink_status(native, ec).type() != std::filesystem::file_type::not_found &&
      !DeleteFile(backup))
    Fail(Format(SProjectCannotDelete, backup));
  std::filesystem::copy_file(QEMNativePath(Target), native, ec);
  if (ec) Fail(Format(SProjectCannotCopy, Target, backup));
}

} // namespace

// ---- TQEMBaseProjectFile

TQEMBaseProjectFile::TQEMBaseProjectFile(std::u16string AFileName)
    : FileName(std::move(AFileName)), BaseLang(QEMUserDefaultLCID()) {}

TQEMBaseProjectFile::~TQEMBaseProjectFile() = default;

TQEMLang& TQEMBaseProjectFile::AddLang(LCID ALCID) {
  FLangs.push_back(std::make_unique<TQEMLang>());
  FLangs.back()->LocaleID = ALCID;
  return *FLangs.back();
}

int TQEMBaseProjectFile::IndexOfLang(LCID ALCID) const {
  for (size_t i = 0; i < FLangs.size(); ++i)
    if (FLangs[i]->LocaleID == ALCID) return int(i);
  return -1;
}

TQEMLang& TQEMBaseProjectFile::GetLang(int Index) {
  return *FLangs.at(size_t(Index));
}
const TQEMLang& TQEMBaseProjectFile::GetLang(int Index) const {
  return *FLangs.at(size_t(Index));
}

void TQEMBaseProjectFile::DeleteLang(int Index) {
  if (Index < 0 || size_t(Index) >= FLangs.size())
    throw std::out_of_range("TQEMBaseProjectFile::DeleteLang");
  FLangs.erase(FLangs.begin() + Index);
}

// ---- TQEMBaseProjectFileList

TQEMBaseProjectFileList::TQEMBaseProjectFileList() = default;
TQEMBaseProjectFileList::~TQEMBaseProjectFileList() = default;

TQEMBaseProjectFile* TQEMBaseProjectFileList::Add(const std::u16string& AFileName) {
  FProjects.push_back(std::make_unique<TQEMBaseProjectFile>(AFileName));
  return FProjects.back().get();
}

TQEMBaseProjectFile* TQEMBaseProjectFileList::GetProject(int Index) const {
  return FProjects.at(size_t(Index)).get();
}

void TQEMBaseProjectFileList::SetProject(int Index, std::unique_ptr<TQEMBaseProjectFile> P) {
  FProjects.at(size_t(Index)) = std::move(P);
}

int TQEMBaseProjectFileList::IndexOf(const TQEMBaseProjectFile* P) const {
  for (size_t i = 0; i < FProjects.size(); ++i)
    if (FProjects[i].get() == P) return int(i);
  return -1;
}

TQEMXMLNode TQEMBaseProjectFileList::GetPersonalityNode(const TQEMXMLDocument& Doc) {
  const TQEMXMLNode project = FindChildElement(Doc.DocumentNode(), u"FenmoorProject");
  const TQEMXMLNode info = FindChildElement(project, u"PersonalityInfo");
  if (!info) return {};
  TXmlIniFile ini(info);
  const std::u16string name = ini.ReadString(u"Option", u"Personality", u"");
  return name.empty() ? TQEMXMLNode() : FindChildElement(project, name);
}

namespace {

std::shared_ptr<TQEMXMLDocument> LoadProjectDocument(const std::u16string& FileName) {
  auto doc = CreateNewDocument();
  if (!LoadFromFile(*doc, FileName)) Fail(Format(SProjectNotReadable, FileName, doc->LastError()));
  return doc;
}

} // namespace

void TQEMBaseProjectFileList::LoadFromProjectFile(const std::u16string& AFileName) {
  Clear();
  InternalLoadFromProjectFile(AFileName, false);
}

void TQEMBaseProjectFileList::LoadFromMSBuildProjectFile(const std::u16string& AFileName) {
  Clear();
  InternalLoadFromMSBuildProjectFile(AFileName, false);
}

void TQEMBaseProjectFileList::InternalLoadFromProjectFile(const std::u16string& AFileName,
                                                          bool FromGroup) {
  const auto doc = LoadProjectDocument(AFileName);
  const TQEMXMLNode personality = GetPersonalityNode(*doc);
  if (!personality) Fail(Format(SProjectCannotOpen, AFileName));
  const TQEMXMLNode info = FindChildElement(
      FindChildElement(doc->DocumentNode(), u"FenmoorProject"), u"PersonalityInfo");
  LoadPersonality(AFileName, personality, info, FromGroup);
}

void TQEMBaseProjectFileList::InternalLoadFromMSBuildProjectFile(const std::u16string& AFileName,
                                                                 bool FromGroup) {
  const auto doc = LoadProjectDocument(AFileName);
  const TQEMXMLNode ext =
      FindChildElement(FindChildElement(doc->DocumentNode(), u"Project"), u"ProjectExtensions");
  TQEMXMLNode project = FindChildElement(ext, u"FenmoorProject");
  if (const TQEMXMLNode inner = FindChildElement(project, u"FenmoorProject")) project = inner;
  TQEMXMLNode personality = project.FirstChild();
  while (personality && personality.NodeType() != ntElement)
    personality = personality.NextSibling();
  if (!personality) Fail(Format(SProjectCannotOpen, AFileName));
  LoadPersonality(AFileName, personality, {}, FromGroup);
}

void TQEMBaseProjectFileList::LoadPersonality(const std::u16string& AFileName,
                                              TQEMXMLNode Personality, TQEMXMLNode Info,
                                              bool FromGroup) {
  const std::u16string name = Personality.NodeName();
  const TPersonalityType type = PersonalityNameToType(name);
  if (FromGroup && !IsApplicationPersonality(type)) return;
  TXmlIniFile ini(Personality);
  switch (type) {
  case OrrinPersonality:
  case OrrinDotNetPersonality:
  case TamsinPersonality:
    if (!ini.SectionExists(u"Resource_DLL_Projects")) return;
    ReadApplicationProject(*Add(AFileName), ini);
    return;
  case W32ResourceDLLPersonality:
  case DotNetResourceDLLPersonality:
    ReadResourceModuleProject(*Add(AFileName), ini, Personality, type);
    return;
  case HLXPersonality: {
    TXmlIniFile info(Info);
    const std::u16string projectType = info.ReadString(u"Option", u"ProjectType", u"");
    if (projectType != u"Base" && projectType != u"Xlat")
      Fail(Format(SProjectUnknownType, AFileName, projectType));
    ReadHLXProject(*Add(AFileName), ini, Personality, projectType == u"Base");
    return;
  }
  case InvalidPersonality:
  case DefaultPersonality:
    break;
  }
  Fail(Format(SProjectUnknownPersonality, AFileName, name));
}

void TQEMBaseProjectFileList::LoadFromProjectGroup(const std::u16string& AFileName) {
  Clear();
  const auto doc = LoadProjectDocument(AFileName);
  const TQEMXMLNode personality = GetPersonalityNode(*doc);
  if (!personality) Fail(Format(SProjectGroupCannotOpen, AFileName));
  if (PersonalityNameToType(personality.NodeName()) != DefaultPersonality)
    Fail(Format(SProjectUnknownPersonality, AFileName, personality.NodeName()));
  TXmlIniFile ini(personality);
  const std::u16string targets = ini.ReadString(u"Projects", u"Targets", u"");
  size_t i = 0;
  while (i < targets.size()) {
    while (i < targets.size() && targets[i] <= u' ')
      ++i;
    const size_t start = i;
    while (i < targets.size() && targets[i] > u' ')
      ++i;
    if (i == start) break;
    const std::u16string path = ini.ReadString(u"Projects", targets.substr(start, i - start), u"");
    if (!path.empty()) InternalLoadFromProjectFile(MemberPath(AFileName, path), true);
  }
}

void TQEMBaseProjectFileList::LoadFromMSBProjectGroup(const std::u16string& AFileName) {
  Clear();
  const auto doc = LoadProjectDocument(AFileName);
  const TQEMXMLNode root = FindChildElement(doc->DocumentNode(), u"Project");
  if (!root) Fail(Format(SProjectGroupCannotOpen, AFileName));
  for (TQEMXMLNode g = root.FirstChild(); g; g = g.NextSibling()) {
    if (g.NodeType() != ntElement || !QEMSameText(g.NodeName(), u"ItemGroup")) continue;
    for (TQEMXMLNode m = g.FirstChild(); m; m = m.NextSibling()) {
      if (m.NodeType() != ntElement || !QEMSameText(m.NodeName(), u"Projects")) continue;
      const std::u16string include = m.GetAttribute(u"Include");
      if (include.empty()) continue;
      const std::u16string path = MemberPath(AFileName, include);
      const std::u16string ext = ExtractFileExt(path);
      if (QEMSameText(ext, u".oproj") || QEMSameText(ext, u".tmproj"))
        InternalLoadFromMSBuildProjectFile(path, true);
      else
        InternalLoadFromProjectFile(path, true);
    }
  }
}

void TQEMBaseProjectFileList::LoadFromHLXFile(const std::u16string& AFileName) {
  Clear();
  std::string bytes;
  if (!QEMReadFileBytes(AFileName, bytes)) Fail(Format(SProjectCannotOpen, AFileName));
  // SaveAs writes the XML form whatever the name: a saved ".hlx" must open again.
  if (LooksLikeXML(bytes)) {
    InternalLoadFromProjectFile(AFileName, false);
    return;
  }
  LoadLegacyHLXFile(AFileName, DecodeText(bytes));
}

void TQEMBaseProjectFileList::LoadLegacyHLXFile(const std::u16string& AFileName,
                                                const std::u16string& Text) {
  const std::vector<TIniSection> ini = ParseIni(Text);
  TQEMBaseProjectFile& p = *Add(AFileName);
  p.ReadOnly = true;
  const TIniSection* env = FindSection(ini, u"Environment");
  p.BaseLang = 0;
  if (const TIniLine* l = FindKey(env, u"LCID"); l && !l->Value.empty()) {
    try {
      p.BaseLang = LCID(QEMStrToInt(l->Value));
    } catch (const EQEMConvertError&) {
    }
  }
  const std::u16string dir = ProjectDir(AFileName);
  std::u16string root = dir;
  if (const TIniLine* l = FindKey(env, u"Root"); l && !l->Value.empty()) root = l->Value;
  if (!QEMHasDrive(root)) root = dir + QEMSlashes(root);

  // Key names in these sections mean nothing: only what follows the first "=" counts.
  if (const TIniSection* s = FindSection(ini, u"Extensions")) {
    for (const TIniLine& line : s->Lines) {
      const size_t eq = line.Text.find(u'=');
      const std::vector<std::u16string> f =
          SplitCommaText(eq == std::u16string::npos ? line.Text : line.Text.substr(eq + 1));
      TLangFields l;
      l.Ext = Field(f, 0);
      l.LocaleText = Field(f, 1);
      l.Locale = StrToLCID(l.LocaleText);
      const std::u16string xlat = Field(f, 2);
      l.XlatPath = xlat.empty() ? xlat : RelativeTo(root, xlat);
      AddCheckedLang(p, l, true, true, Format(SProjectAtLine, line.Line));
    }
  }
  if (const TIniSection* s = FindSection(ini, u"Files")) {
    for (const TIniLine& line : s->Lines) {
      const size_t eq = line.Text.find(u'=');
      const std::vector<std::u16string> f =
          SplitCommaText(eq == std::u16string::npos ? line.Text : line.Text.substr(eq + 1));
      AddSourceFile(p, Field(f, 0), Field(f, 1));
    }
  }
}

void TQEMBaseProjectFileList::Save() {
  for (const auto& p : FProjects)
    if (!p->ReadOnly) p->Save();
}

namespace {

// The document a save updates: the existing file, or a new one when there is none or it is an
// old INI project (whose backup keeps it).
std::shared_ptr<TQEMXMLDocument> OpenForSave(const std::u16string& Target, bool Base) {
  std::string bytes;
  if (!FileExists(Target) || !QEMReadFileBytes(Target, bytes) || !LooksLikeXML(bytes))
    return NewProjectDocument(Base);
  auto doc = CreateNewDocument();
  if (!LoadFromBytes(*doc, bytes)) Fail(Format(SProjectNotReadable, Target, doc->LastError()));
  const TQEMXMLNode personality = TQEMBaseProjectFileList::GetPersonalityNode(*doc);
  if (!personality) Fail(Format(SProjectCannotOpen, Target));
  // An application project of the same name belongs to the IDE: never write into it.
  if (PersonalityNameToType(personality.NodeName()) != HLXPersonality)
    Fail(Format(SProjectSaveForeign, Target, personality.NodeName()));
  return doc;
}

void UpdateDocument(TQEMXMLDocument& Doc, const TQEMBaseProjectFile& Project, int LangIndex) {
  const TQEMXMLNode personality = TQEMBaseProjectFileList::GetPersonalityNode(Doc);
  TXmlIniFile ini(personality);
  ini.WriteInteger(u"Options", u"BaseLang", int32_t(Project.BaseLang));
  if (LangIndex < 0) {
    // Keys of an earlier save with more languages would bring removed languages back. The
    // section stays where it is, so saving an unchanged project gives the same file.
    if (const TQEMXMLNode sec = ini.FindXmlNode(u"Languages"))
      while (const TQEMXMLNode c = sec.FirstChild())
        sec.RemoveChild(c);
    for (int i = 0; i < Project.GetLangCount(); ++i) {
      const TQEMLang& l = Project.GetLang(i);
      ini.WriteString(u"Languages", u"Item" + IntToStr(i),
                      LCIDToStr(l.LocaleID) + u"*" + l.Ext + u"*" + QEMSlashes(l.XlatPath));
    }
  } else {
    const TQEMLang& l = Project.GetLang(LangIndex);
    ini.WriteInteger(u"Options", u"LCID", int32_t(l.LocaleID));
    ini.WriteString(u"Options", u"Ext", l.Ext);
  }

  TQEMXMLNode list = FindChildElement(personality, u"FileList");
  if (!list) list = personality.AppendElement(u"FileList");
  while (const TQEMXMLNode c = list.FirstChild())
    list.RemoveChild(c);
  for (int i = 0; i < Project.SourceFiles.Count(); ++i) {
    const TQEMXMLNode f = list.AppendElement(u"File");
    f.SetAttribute(u"FileName", QEMSlashes(Project.SourceFiles.Get(i)));
    f.SetAttribute(u"FileType", Project.SourceFiles.Get2(i));
    f.SetAttribute(u"ContainerId", u"");
  }
}

void WriteDocument(const TQEMXMLDocument& Doc, const std::u16string& Target) {
  const std::u16string folder = ExtractFilePath(Target);
  if (!folder.empty() && !ForceDirectories(folder)) Fail(Format(SCannotCreateDir, folder));
  if (FileExists(Target)) BackUp(Target);
  // The template's declaration heads the file whatever the working document declared.
  auto out = CreateNewDocument();
  if (!LoadFromString(*out, ProjectTemplate())) Fail(out->LastError());
  out->DocumentNode().RemoveChild(out->DocumentElement());
  for (TQEMXMLNode n = Doc.DocumentNode().FirstChild(); n; n = n.NextSibling()) {
    const TQEMXMLNodeType t = n.NodeType();
    if (t == ntDocumentType || (t == ntDeclaration && n.NodeName() == u"xml")) continue;
    out->DocumentNode().AppendCopy(n, true);
  }
  IndentTree(out->DocumentElement());
  QEMSaveFileAtomically(Target, [&](std::ostream& Stream) { SaveToStream(*out, Stream); });
}

} // namespace

void TQEMBaseProjectFileList::SaveAs(const std::u16string& AFileName) {
  if (GetCount() != 1) Fail(Format(SProjectSaveCount, AFileName, GetCount()));
  const TQEMBaseProjectFile& p = *FProjects.front();
  if (p.ReadOnly && ExtractFileExt(p.FileName) != u".hlx")
    Fail(Format(SProjectSaveReadOnly, AFileName, p.FileName));
  if (IsForeignPath(AFileName)) Fail(Format(SProjectForeignPath, AFileName, AFileName));

  // Everything is checked and every target opened before the first file is touched, so a
  // refused save writes nothing, and nothing is written that the readers would refuse.
  std::vector<std::u16string> targets{AFileName};
  const std::u16string dir = ExtractFilePath(AFileName), name = ExtractFileName(AFileName);
  for (int i = 0; i < p.GetLangCount(); ++i) {
    const TQEMLang& l = p.GetLang(i);
    if (!IsValidLCID(l.LocaleID))
      Fail(Format(SProjectSaveUnknownLanguage, AFileName, LCIDToStr(l.LocaleID)));
    if (l.Ext.empty()) Fail(Format(SProjectSaveNoExtension, AFileName, LCIDToStr(l.LocaleID)));
    if (l.XlatPath.empty()) Fail(Format(SProjectSaveNoXlatDir, AFileName, LCIDToStr(l.LocaleID)));
    if (IsForeignPath(l.XlatPath)) Fail(Format(SProjectForeignPath, AFileName, l.XlatPath));
    const std::u16string xlat = IncludeTrailingPathDelimiter(QEMSlashes(l.XlatPath));
    targets.push_back((xlat[0] == u'/' ? xlat : dir + xlat) + name);
  }
  std::vector<std::shared_ptr<TQEMXMLDocument>> docs;
  for (size_t i = 0; i < targets.size(); ++i) {
    docs.push_back(OpenForSave(targets[i], i == 0));
    UpdateDocument(*docs.back(), p, int(i) - 1);
  }
  for (size_t i = 0; i < targets.size(); ++i)
    WriteDocument(*docs[i], targets[i]);
}
