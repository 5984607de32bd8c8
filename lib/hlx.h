#pragma once
// The hlx facade: a few value types and functions for tools and package authors who want to run
// an update or read the items of a translated file without learning the whole library. It is
// built on the documented classes (workspace, translator managers, notes), which stay the full
// interface; the library must be started (QEMInitialize) before any of it is used.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/QEMTypes.h"
#include "notes/QEMNotes.h"
#include "platform/QEMExport.h"
#include "translator/QEMStats.h"

namespace hlx {

enum class Status : uint8_t {
  Ok,
  UsageError,   // the request itself is wrong: nothing was read or written
  FileNotFound, // File names it
  NoFileType,   // no loaded translator package serves File
  BadFile,      // File could not be read; Line or Offset say where when known
  RunErrors,    // the run went through but reported errors (RunReport::Errors)
  Failed,       // anything else; Message says what
};

// The outcome of a facade call: true when it succeeded, else why not and where.
struct QEM_API Result {
  hlx::Status Status = hlx::Status::Ok;
  std::u16string Message;
  std::u16string File;
  int32_t Line = 0; // from 1; 0 when unknown
  // From the start of File, in what its reader counts (bytes, or UTF-16 code units of the
  // decoded text); -1 when unknown.
  int64_t Offset = -1;

  explicit operator bool() const { return Status == hlx::Status::Ok; }
  // Message as a build server shows it: "File(Line): Message", "File: Message" or Message,
  // whatever the message does not name already.
  std::u16string Description() const;

  static Result Fail(hlx::Status S, std::u16string Msg, std::u16string AFile = {},
                     int32_t ALine = 0);
  // From an exception of the library: a message that starts with "File(Line): " gives the line.
  static Result FromException(const std::exception& E, const std::u16string& AFile = {});
};

// One earlier state of an item; the newest comes first.
struct HistoryEntry {
  std::u16string Original;
  std::u16string Translation;
  std::u16string Tag; // the version the state was saved under
  TDateTime Modified = 0;
};

struct Item {
  std::u16string Id;
  std::u16string Original;
  std::u16string Translation;
  TResStatus Status = rsUnTranslated;
  std::u16string Comment;
  TDateTime Created = 0;
  TDateTime Modified = 0;
  // Points into the ItemList the item came from.
  std::span<const HistoryEntry> History;
};

// The items of one notes file, in file order, owning their history. Moving keeps every
// History span valid; copying is not offered because it would not.
class QEM_API ItemList {
public:
  ItemList() = default;
  ItemList(ItemList&&) = default;
  ItemList& operator=(ItemList&&) = default;
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;

  // Reads every item of open notes.
  static ItemList Read(IQEMNotesFile& Notes);

  std::span<const Item> Items() const { return FItems; }
  size_t size() const { return FItems.size(); }
  bool empty() const { return FItems.empty(); }
  const Item& operator[](size_t Index) const { return FItems[Index]; }
  auto begin() const { return FItems.cbegin(); }
  auto end() const { return FItems.cend(); }
  LCID OriginalLanguage() const { return FOrigLCID; }
  LCID TranslationLanguage() const { return FXlatLCID; }

private:
  std::vector<Item> FItems;
  std::vector<HistoryEntry> FHistory;
  LCID FOrigLCID = 0;
  LCID FXlatLCID = 0;
};

// Opens the notes of a translated file through the loaded package that serves its type.
QEM_API Result OpenNotes(const std::u16string& TranslatedFile, IQEMNotesFilePtr& Notes);
// OpenNotes, then ItemList::Read.
QEM_API Result ReadItems(const std::u16string& TranslatedFile, ItemList& Items);

struct RunReport;

// One update run over a project: what hlx -I (or -E) does.
struct RunOptions {
  std::u16string Project;
  // BCP 47 tags ("de-DE") of the target languages to update; empty: every one of the project.
  std::vector<std::u16string> Languages;
  // The run's translation memory (a TMX file); empty: the one the options name.
  std::u16string Repository;
  bool EggBuild = false; // pseudo-translate first, then run the updaters
  std::u16string Log;    // appended to; empty: log.txt beside the project
  // The per-file statistics, as JSON for a ".json" name, else as text; "-" for standard
  // output; empty: none.
  std::u16string Output;
  bool Quiet = false; // no OnStatus and OnProgress calls

  std::function<void(const std::u16string& Text)> OnStatus;
  std::function<void(int Done, int Total, const std::u16string& File, LCID Locale)> OnProgress;
  // Each error as it is logged.
  std::function<void(const std::u16string& Message)> OnError;
  // At the end of the run, before the log is written. A message returned is one more error of
  // the run (a summary that could not be shown, say): counted and logged.
  std::function<std::u16string(const RunReport& Report)> OnRunEnd;
};

// What the run did: the summary and each file (TQEMRunReport), how it ended, and its errors.
struct RunReport : TQEMRunReport {
  // 0, the number of errors up to 63, or 64 when the options were refused.
  int ExitCode = 0;
  std::vector<std::u16string> ErrorMessages;
  // The "Processed" summary and the time taken, as hlx prints it; empty when nothing ran.
  std::u16string Summary;
  Result Outcome;
};

QEM_API RunReport Run(const RunOptions& Options);

} // namespace hlx
