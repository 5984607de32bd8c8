#pragma once
// Shared by the notes sources only.
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/QEMExport.h"

class IQEMNotesItem;
class IQEMNotesItems;
class TQEMCustomNotesFile;

namespace notesdetail {
// The whole file; raises EQEMNotesError naming it.
std::string ReadAll(const std::u16string& FileName);
// Counted by QEMNotesBodyReads.
void CountBodyRead();

// A notes file saved without a document of its own is written straight to the stream. Off, it
// is built as a document first: both must give the same bytes.
QEM_API extern bool StreamNewNotes;

// One history entry as written, newest first; a source equal to the older entry's is left out.
struct THistoryEntry {
  std::u16string Orig, Xlat, Tag, Modified;
  bool WithSource;
};
std::vector<THistoryEntry> History(IQEMNotesItem& Item);

// The document a first save would build, written in one pass. False, with nothing written,
// when the document must do it: a text it refuses (it names it) or an item class writing
// properties of its own.
bool WriteNewNotes(TQEMCustomNotesFile& F, IQEMNotesItems& Items, std::ostream& Stream,
                   bool Formatted, const std::u16string& SourceTag,
                   const std::u16string& TargetTag);
} // namespace notesdetail
