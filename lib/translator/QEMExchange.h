#pragma once
// Exchange with the tools translators work in: the items of translated files as XLIFF 1.2 or
// PO catalogues and back. Both formats carry the same units: plain source and target text (the
// package's raw conversion, so nobody edits quotes and escapes), the status as the format says
// it, the comment and the previous source and translation. What a file read asks of the items
// is planned here; the workspace applies it as the translator window applies a typed entry.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMTypes.h"
#include "translator/QEMTranslatorMgr.h"

enum class TQEMExchangeFormat : uint8_t { efXliff, efPO };

// What a unit read asks for its item.
enum class TQEMExchangeAsk : uint8_t {
  eaNothing,       // no translation in the unit
  eaTranslated,    // a translation that is done (XLIFF approved or translated, PO not fuzzy)
  eaReview,        // a translation still to be reviewed (XLIFF needs-*, PO fuzzy)
  eaHold,          // XLIFF translate="no"
  eaDoNotTranslate // XLIFF translate="no" approved="yes"
};

struct TQEMExchangeUnit {
  std::u16string Id;
  std::u16string ResName;
  std::u16string Source;                            // plain text
  std::u16string Target;                            // plain text
  TResStatus Status = rsUnTranslated;               // written from
  TQEMExchangeAsk Ask = TQEMExchangeAsk::eaNothing; // read into
  std::u16string Comment;
  std::u16string PrevSource; // empty: none
  std::u16string PrevTarget;
  int Line = 0; // where the unit starts in the file read
};

// One translated file in one language.
struct TQEMExchangeFile {
  std::u16string Original;   // the translated file, relative to its project's folder, with "/"
  std::u16string SourceLang; // BCP 47 tags
  std::u16string TargetLang;
  std::vector<TQEMExchangeUnit> Units;
};

// The units of a manager's file: the items in file order, unused and egged ones left out (they
// are in no translated file), and those without source text.
QEM_API TQEMExchangeFile QEMExchangeFileOf(TQEMTranslatorMgr& Mgr, const std::u16string& Original);

// The name an exported file gets: "<name>.xlf" or "<name>.po".
QEM_API std::u16string QEMExchangeExt(TQEMExchangeFormat Format);
// The format of a file by its extension (".xlf", ".xliff", ".po", ignoring case); false for
// any other.
QEM_API bool QEMExchangeFormatOf(const std::u16string& FileName, TQEMExchangeFormat& Format);

// The catalogue text of one file, and the files of a catalogue's bytes. A reader raises
// EQEMError naming FileName and the line for a file it cannot read whole, so that nothing of a
// partly broken file is applied.
QEM_API std::string QEMExchangeWrite(TQEMExchangeFormat Format, const TQEMExchangeFile& File);
QEM_API std::vector<TQEMExchangeFile>
QEMExchangeRead(TQEMExchangeFormat Format, const std::u16string& FileName, std::string_view Bytes);

// What the units of a file read do to the items of a manager.
struct TQEMExchangeChange {
  int Index = -1; // item index in the manager
  int Line = 0;
  bool SetText = false;
  std::u16string Text; // the translation in the file's literal syntax
  bool SetStatus = false;
  TResStatus Status = rsUnTranslated; // with SetStatus
  bool SetComment = false;
  std::u16string Comment;
};
enum class TQEMExchangeProblemKind : uint8_t { epItemGone, epSourceChanged };
struct TQEMExchangeProblem {
  int Line = 0;
  std::u16string Id;
  TQEMExchangeProblemKind Kind = TQEMExchangeProblemKind::epItemGone;
};
struct TQEMExchangePlan {
  std::vector<TQEMExchangeChange> Changes;   // in the file's order
  std::vector<TQEMExchangeProblem> Problems; // units that are not applied
};
// Units whose item is gone (or unused) or whose source changed since the export are problems;
// a unit that repeats what the item holds changes nothing, so an untouched export imports as
// no change at all. A changed text is the translation to type; a unit that approves an auto
// translated item, or keeps it from translation, changes its status.
QEM_API TQEMExchangePlan QEMExchangePlanFor(const TQEMExchangeFile& File, TQEMTranslatorMgr& Mgr);

// Comments compare with their line ends made equal: a format may carry only LF.
QEM_API bool QEMExchangeSameComment(std::u16string_view A, std::u16string_view B);

// What an export or an import did; Errors name file, line and item.
struct TQEMExchangeReport {
  int Files = 0;
  int Changed = 0;
  std::vector<std::u16string> Errors;
};
