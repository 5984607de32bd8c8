#include "project/QEMXmlIniFile.h"

#include "core/QEMLiterals.h"
#include "platform/QEMSysUtils.h"

// ---- TCustomIniFile

TCustomIniFile::~TCustomIniFile() = default;

int32_t TCustomIniFile::ReadInteger(const std::u16string& Section, const std::u16string& Ident,
                                    int32_t Default) {
  const std::u16string s = ReadString(Section, Ident, u"");
  if (s.empty()) return Default;
  try {
    return QEMStrToInt(s);
  } catch (const EQEMConvertError&) {
    return Default;
  }
}

void TCustomIniFile::WriteInteger(const std::u16string& Section, const std::u16string& Ident,
                                  int32_t Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

bool TCustomIniFile::ReadBool(const std::u16string& Section, const std::u16string& Ident,
                              bool Default) {
  const std::u16string s = ReadString(Section, Ident, u"");
  return s.empty() ? Default : s == u"True";
}

void TCustomIniFile::WriteBool(const std::u16string& Section, const std::u16string& Ident,
                               bool Value) {
  WriteString(Section, Ident, Value ? u"True" : u"False");
}

bool TCustomIniFile::SectionExists(const std::u16string& Section) {
  TStringList keys;
  ReadSection(Section, keys);
  return keys.Count() > 0;
}

bool TCustomIniFile::ValueExists(const std::u16string& Section, const std::u16string& Ident) {
  TStringList keys;
  ReadSection(Section, keys);
  return keys.IndexOf(Ident) >= 0;
}

// ---- TXmlIniFile

namespace {

bool HoldsTextOnly(TQEMXMLNode Element) {
  TQEMXMLNode c = Element.FirstChild();
  if (!c) return false;
  for (; c; c = c.NextSibling())
    if (c.NodeType() != ntText && c.NodeType() != ntCData) return false;
  return true;
}

} // namespace

std::u16string TXmlIniFile::NormalizeIdent(const std::u16string& Ident) {
  std::u16string r = Ident;
  for (char16_t& c : r)
    if (c == u' ' || c == u'\\') c = u'_';
  return r;
}

TQEMXMLNode TXmlIniFile::FindXmlNode(const std::u16string& Section) const {
  return FindChildElement(FElement, NormalizeIdent(Section));
}

TQEMXMLNode TXmlIniFile::FindXmlNodeOrAdd(const std::u16string& Section) {
  const std::u16string name = NormalizeIdent(Section);
  TQEMXMLNode n = FindChildElement(FElement, name);
  return n ? n : FElement.AppendElement(name);
}

TQEMXMLNode TXmlIniFile::FindKeyNode(const std::u16string& Section,
                                     const std::u16string& Ident) const {
  const TQEMXMLNode sec = FindXmlNode(Section);
  if (!sec) return {};
  const std::u16string name = sec.NodeName(), key = NormalizeIdent(Ident);
  for (TQEMXMLNode c = sec.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == ntElement && c.NodeName() == name && c.GetAttribute(u"Name") == key)
      return c;
  return {};
}

std::u16string TXmlIniFile::ReadXmlString(const std::u16string& Section,
                                          const std::u16string& Ident,
                                          const std::u16string& Default) {
  const TQEMXMLNode key = FindKeyNode(Section, Ident);
  return key ? GetTextFromNode(key) : Default;
}

void TXmlIniFile::WriteXmlString(const std::u16string& Section, const std::u16string& Ident,
                                 const std::u16string& Value) {
  TQEMXMLNode key = FindKeyNode(Section, Ident);
  if (!key) {
    const TQEMXMLNode sec = FindXmlNodeOrAdd(Section);
    key = sec.AppendElement(sec.NodeName());
    key.SetAttribute(u"Name", NormalizeIdent(Ident));
  }
  SetTextToNode(key, Value);
}

std::u16string TXmlIniFile::ReadString(const std::u16string& Section, const std::u16string& Ident,
                                       const std::u16string& Default) {
  return ReadXmlString(Section, Ident, Default);
}

void TXmlIniFile::WriteString(const std::u16string& Section, const std::u16string& Ident,
                              const std::u16string& Value) {
  WriteXmlString(Section, Ident, Value);
}

int32_t TXmlIniFile::ReadInteger(const std::u16string& Section, const std::u16string& Ident,
                                 int32_t Default) {
  return TCustomIniFile::ReadInteger(Section, Ident, Default);
}

void TXmlIniFile::WriteInteger(const std::u16string& Section, const std::u16string& Ident,
                               int32_t Value) {
  TCustomIniFile::WriteInteger(Section, Ident, Value);
}

bool TXmlIniFile::ReadBool(const std::u16string& Section, const std::u16string& Ident,
                           bool Default) {
  return TCustomIniFile::ReadBool(Section, Ident, Default);
}

void TXmlIniFile::WriteBool(const std::u16string& Section, const std::u16string& Ident,
                            bool Value) {
  TCustomIniFile::WriteBool(Section, Ident, Value);
}

std::vector<std::pair<std::u16string, std::u16string>>
TXmlIniFile::ReadSectionPairs(const std::u16string& Section) const {
  std::vector<std::pair<std::u16string, std::u16string>> r;
  const TQEMXMLNode sec = FindXmlNode(Section);
  if (!sec) return r;
  const std::u16string name = sec.NodeName();
  for (TQEMXMLNode c = sec.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == ntElement && c.NodeName() == name && HoldsTextOnly(c))
      r.emplace_back(c.GetAttribute(u"Name"), GetTextFromNode(c));
  return r;
}

void TXmlIniFile::ReadSection(const std::u16string& Section, TStringList& Strings) {
  Strings.Clear();
  for (auto& [name, value] : ReadSectionPairs(Section))
    Strings.Add(std::move(name));
}

void TXmlIniFile::ReadSections(TStringList& Strings) {
  Strings.Clear();
  for (TQEMXMLNode c = FElement.FirstChild(); c; c = c.NextSibling())
    if (c.NodeType() == ntElement) Strings.Add(c.NodeName());
}

void TXmlIniFile::ReadSectionValues(const std::u16string& Section, TStringList& Strings) {
  Strings.Clear();
  for (const auto& [name, value] : ReadSectionPairs(Section))
    Strings.Add(name + u"=" + value);
}

void TXmlIniFile::EraseSection(const std::u16string& Section) {
  if (const TQEMXMLNode sec = FindXmlNode(Section)) FElement.RemoveChild(sec);
}

void TXmlIniFile::DeleteKey(const std::u16string& Section, const std::u16string& Ident) {
  if (const TQEMXMLNode key = FindKeyNode(Section, Ident)) key.ParentNode().RemoveChild(key);
}
