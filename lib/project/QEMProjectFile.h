#pragma once
// Project files: the projects an application project, a project group or a stand-alone project
// names, each with its base language, its target languages and the files to translate. Six
// forms on disk are read; only the stand-alone project is written, as one base file plus one
// file per language.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMTypes.h"
#include "core/QEMUtils.h"
#include "core/QEMXMLUtils.h"
#include "platform/QEMSysUtils.h"

// Raised for a project file that cannot be read or saved; the message names the file.
class QEM_API EQEMProjectError : public EQEMError {
public:
  using EQEMError::EQEMError;
};

// The name the stand-alone program gives a new project.
inline constexpr std::u16string_view QEMNewProjectFileName = u"Project1.rqxproj";
// Written on the root element of every new stand-alone project file.
inline constexpr std::u16string_view QEMProjectNamespace = u"urn:hlx:project-file:1";

enum TPersonalityType : uint8_t {
  InvalidPersonality,
  DefaultPersonality,
  OrrinPersonality,
  OrrinDotNetPersonality,
  TamsinPersonality,
  W32ResourceDLLPersonality,
  DotNetResourceDLLPersonality,
  HLXPersonality,
};

struct TPersonalityPair {
  std::u16string_view PersonalityName;
  TPersonalityType PersonalityType;
};

QEM_API extern const std::array<TPersonalityPair, 8> PersonalityNames;

// Ignoring case; an unknown name gives InvalidPersonality.
QEM_API TPersonalityType PersonalityNameToType(std::u16string_view Name);
QEM_API std::u16string PersonalityTypeToName(TPersonalityType Type);
// The three personalities of application projects, the ones a group loads.
QEM_API bool IsApplicationPersonality(TPersonalityType Type);

// One target language of a project.
struct QEM_API TQEMLang {
  LCID LocaleID = 0;
  // Relative to the project file's folder, as the file stores it; empty when the project file
  // lives in the translation directory itself.
  std::u16string XlatPath;
  // The resource-module extension as stored, with or without its point.
  std::u16string Ext;
  // The project file's folder followed by XlatPath, with "/" delimiters.
  std::u16string Path;
};

class QEM_API TQEMBaseProjectFile {
public:
  explicit TQEMBaseProjectFile(std::u16string AFileName);
  virtual ~TQEMBaseProjectFile();
  TQEMBaseProjectFile(const TQEMBaseProjectFile&) = delete;
  TQEMBaseProjectFile& operator=(const TQEMBaseProjectFile&) = delete;

  std::u16string FileName;
  // True for everything this library does not write: all but a base stand-alone project.
  bool ReadOnly = true;
  LCID BaseLang;
  // Entry text and resource name: the file name as stored; second string: the file type.
  TQEMStringPairList SourceFiles;

  TQEMLang& AddLang(LCID ALCID);
  void ClearLang() { FLangs.clear(); }
  int IndexOfLang(LCID ALCID) const;
  TQEMLang& GetLang(int Index);
  const TQEMLang& GetLang(int Index) const;
  int GetLangCount() const { return int(FLangs.size()); }
  int LangCount() const { return GetLangCount(); }
  void DeleteLang(int Index);
  // Writes nothing: projects are saved through TQEMBaseProjectFileList::SaveAs.
  virtual void Save() {}

private:
  // unique_ptr so that references handed out by AddLang survive later additions.
  std::vector<std::unique_ptr<TQEMLang>> FLangs;
};

class QEM_API TQEMBaseProjectFileList {
public:
  TQEMBaseProjectFileList();
  virtual ~TQEMBaseProjectFileList();
  TQEMBaseProjectFileList(const TQEMBaseProjectFileList&) = delete;
  TQEMBaseProjectFileList& operator=(const TQEMBaseProjectFileList&) = delete;

  TQEMBaseProjectFile* Add(const std::u16string& AFileName);
  void Clear() { FProjects.clear(); }
  int GetCount() const { return int(FProjects.size()); }
  int Count() const { return GetCount(); }
  TQEMBaseProjectFile* GetProject(int Index) const;
  void SetProject(int Index, std::unique_ptr<TQEMBaseProjectFile> P);
  int IndexOf(const TQEMBaseProjectFile* P) const;

  // Application project (".rqxproj") or stand-alone project.
  void LoadFromProjectFile(const std::u16string& AFileName);
  // Application project in build form (".oproj", ".tmproj").
  void LoadFromMSBuildProjectFile(const std::u16string& AFileName);
  // Project group (".rqxgroup"): its application projects, others skipped.
  void LoadFromProjectGroup(const std::u16string& AFileName);
  // Project group in build form (".groupproj").
  void LoadFromMSBProjectGroup(const std::u16string& AFileName);
  // Stand-alone project ".hlx": the old INI form, or the XML form SaveAs writes.
  void LoadFromHLXFile(const std::u16string& AFileName);

  static TQEMXMLNode GetPersonalityNode(const TQEMXMLDocument& Doc);

  void Save();
  // Writes the single stand-alone project: AFileName and, per language, a file of the same name
  // in the language's translation directory. Each existing file is backed up first and updated
  // in place. Raises EQEMProjectError, writing nothing, when the list does not hold exactly one
  // project or the project may not be written.
  void SaveAs(const std::u16string& AFileName);

protected:
  void InternalLoadFromProjectFile(const std::u16string& AFileName, bool FromGroup);
  void InternalLoadFromMSBuildProjectFile(const std::u16string& AFileName, bool FromGroup);

private:
  void LoadPersonality(const std::u16string& AFileName, TQEMXMLNode Personality, TQEMXMLNode Info,
                       bool FromGroup);
  void LoadLegacyHLXFile(const std::u16string& AFileName, const std::u16string& Text);

  std::vector<std::unique_ptr<TQEMBaseProjectFile>> FProjects;
};
