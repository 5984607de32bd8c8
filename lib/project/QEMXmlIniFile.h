#pragma once
// INI-style access to settings, and the adapter that stores the sections of an INI file inside
// one XML element, as project files keep their personality settings.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/QEMXMLUtils.h"
#include "platform/QEMClasses.h"

// The host library's abstract INI file: sections of keys with text values. Integer and Boolean
// access goes through the text unless a derived class knows better.
class QEM_API TCustomIniFile {
public:
  explicit TCustomIniFile(std::u16string FileName = {}) : FFileName(std::move(FileName)) {}
  virtual ~TCustomIniFile();
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  const std::u16string& FileName() const { return FFileName; }

  virtual std::u16string ReadString(const std::u16string& Section, const std::u16string& Ident,
                                    const std::u16string& Default) = 0;
  virtual void WriteString(const std::u16string& Section, const std::u16string& Ident,
                           const std::u16string& Value) = 0;
  // Decimal, or hexadecimal after "$"; a missing key or text that is no number gives Default.
  virtual int32_t ReadInteger(const std::u16string& Section, const std::u16string& Ident,
                              int32_t Default);
  virtual void WriteInteger(const std::u16string& Section, const std::u16string& Ident,
                            int32_t Value);
  // A missing key or empty text gives Default; otherwise true exactly for "True".
  virtual bool ReadBool(const std::u16string& Section, const std::u16string& Ident, bool Default);
  virtual void WriteBool(const std::u16string& Section, const std::u16string& Ident, bool Value);
  // Each fills Strings afresh.
  virtual void ReadSection(const std::u16string& Section, TStringList& Strings) = 0;
  virtual void ReadSections(TStringList& Strings) = 0;
  // "Key=Value" per key.
  virtual void ReadSectionValues(const std::u16string& Section, TStringList& Strings) = 0;
  virtual void EraseSection(const std::u16string& Section) = 0;
  virtual void DeleteKey(const std::u16string& Section, const std::u16string& Ident) = 0;
  virtual void UpdateFile() = 0;

  // A section exists when ReadSection lists at least one key.
  bool SectionExists(const std::u16string& Section);
  bool ValueExists(const std::u16string& Section, const std::u16string& Ident);

private:
  std::u16string FFileName;
};

// Sections are child elements of the held element, named after the section; each key is a child
// of its section element, named after the section too, with the key in its Name attribute and
// the value as its text. Names have spaces and backslashes replaced by underscores, so a section
// "Misc Files" is the element Misc_Files. The document belongs to the caller, who saves it.
class QEM_API TXmlIniFile : public TCustomIniFile {
public:
  explicit TXmlIniFile(TQEMXMLNode Element) : FElement(Element) {}

  TQEMXMLNode Element() const { return FElement; }

  std::u16string ReadString(const std::u16string& Section, const std::u16string& Ident,
                            const std::u16string& Default) override;
  void WriteString(const std::u16string& Section, const std::u16string& Ident,
                   const std::u16string& Value) override;
  int32_t ReadInteger(const std::u16string& Section, const std::u16string& Ident,
                      int32_t Default) override;
  void WriteInteger(const std::u16string& Section, const std::u16string& Ident,
                    int32_t Value) override;
  bool ReadBool(const std::u16string& Section, const std::u16string& Ident, bool Default) override;
  void WriteBool(const std::u16string& Section, const std::u16string& Ident, bool Value) override;
  // Only keys that hold text count.
  void ReadSection(const std::u16string& Section, TStringList& Strings) override;
  void ReadSections(TStringList& Strings) override;
  void ReadSectionValues(const std::u16string& Section, TStringList& Strings) override;
  void EraseSection(const std::u16string& Section) override;
  void DeleteKey(const std::u16string& Section, const std::u16string& Ident) override;
  void UpdateFile() override {}

  static std::u16string NormalizeIdent(const std::u16string& Ident);

  // The section element, or null.
  TQEMXMLNode FindXmlNode(const std::u16string& Section) const;
  TQEMXMLNode FindXmlNodeOrAdd(const std::u16string& Section);
  // The first key element of the section named Ident, or null.
  TQEMXMLNode FindKeyNode(const std::u16string& Section, const std::u16string& Ident) const;
  std::u16string ReadXmlString(const std::u16string& Section, const std::u16string& Ident,
                               const std::u16string& Default);
  void WriteXmlString(const std::u16string& Section, const std::u16string& Ident,
                      const std::u16string& Value);
  // Name and text of every key that holds text, in document order; the same keys as
  // ReadSection, duplicates included.
  std::vector<std::pair<std::u16string, std::u16string>>
  ReadSectionPairs(const std::u16string& Section) const;

private:
  TQEMXMLNode FElement;
};
