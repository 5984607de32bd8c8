#pragma once
// The quality warnings of a whole translated file, as the translator window lists them and the
// batch operations and statistics count them: one place, so all three agree.
#include <cstdint>
#include <string>
#include <vector>

#include "notes/QEMNotes.h"
#include "toolkit/QEMQualityChecks.h"
#include "translator/QEMTranslatorMgr.h"

struct TQEMItemQualityIssue {
  int ItemIndex = -1;
  TQEMQualityIssue Issue;
};

// The quote character of a manager class's literals ('\'' or '"'), 0 for raw text.
QEM_API char16_t QEMLiteralQuoteChar(const TQEMTranslatorMgrClass& AMgrClass);
// How the files of a manager class are checked, with the kinds the options switch on.
QEM_API TQEMQualityCheckSettings QEMQualitySettingsFor(const TQEMTranslatorMgrClass& AMgrClass);

// The warnings of every item counted as translated, in item order.
QEM_API std::vector<TQEMItemQualityIssue>
QEMItemsQualityWarnings(const IQEMNotesItems& Items, const TQEMQualityCheckSettings& Settings);

// One warning of a file as a batch operation lists it.
struct TQEMFileWarning {
  std::u16string File;
  std::u16string ItemId;
  TQEMQualityWarning Kind = qwWhitespace;
  std::u16string Message;
};

// What the "List Warnings" batch operation collects (TQEMListRequestData::UserData): each
// file's warnings in item order, appended per file.
struct TQEMListWarningsData {
  TQEMQualityWarningSet Enabled = QEMAllQualityWarnings;
  std::vector<TQEMFileWarning> Warnings;
  int32_t Files = 0; // files checked
};

// Appends the warnings of an open manager's items to Data.
QEM_API void QEMListWarnings(TQEMTranslatorMgr& Mgr, TQEMListWarningsData& Data);
