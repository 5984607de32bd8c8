#pragma once
// Shared by the notes sources only.
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/QEMXMLUtils.h"
#include "notes/QEMNotes.h"
#include "platform/QEMExport.h"
#include "platform/QEMFiles.h"

// The fields of a plain item, which the readers fill by moving each text in.
struct TQEMNotesItemLoader {
  TQEMNotesItem& I;
  std::u16string& ID() const { return I.FID; }
  std::u16string& ResName() const { return I.FResName; }
  std::u16string& Orig() const { return I.FOrigText; }
  std::u16string& Xlat() const { return I.FXlatText; }
  std::u16string& Comment() const { return I.FComment; }
  TDateTime& Created() const { return I.FCreated; }
  TResStatus& Status() const { return I.FStatus; }
  std::vector<TQEMStringPair>& List() const { return I.FList; }
  void MoveCurrentToHistory() const { I.TQEMNotesItem::MoveCurrentToHistory(u""); }
};

namespace notesdetail {
// The whole file; raises EQEMNotesError naming it.
std::string ReadAll(const std::u16string& FileName);
// Counted by QEMNotesBodyReads.
void CountBodyRead();

// The whole file, read into a buffer of its size that is not cleared first.
using TFileBytes = TQEMFileBytes;
// Raises EQEMNotesError naming the file.
QEM_API TFileBytes ReadWhole(const std::u16string& FileName);

// While one lives, the items made on its thread take the time it read once, for their creation
// and their empty history entry: a load of many items asks the clock once.
class TLoadClock {
public:
  TLoadClock();
  ~TLoadClock();
  TLoadClock(const TLoadClock&) = delete;
  TLoadClock& operator=(const TLoadClock&) = delete;

private:
  TDateTime FOuter;
};
// For a new item: the time of the load under way on this thread, else now.
TDateTime ItemTime();

// A time as the last unit had it is most often the next one's too: parsed again only when not.
struct TTimeCache {
  std::u16string Text;
  TDateTime Value = 0;
  bool Known = false;
  TDateTime Get(const std::u16string& S);
};
// The stored status as QEMCheckedStatus reads it, a single digit without it.
TResStatus UnitStatus(const std::u16string& ID, const std::u16string& Text);

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

// A loaded file holding nothing but what a save writes keeps only its head (the file element's
// attributes and the header) once the items are read; its saves then stream. Off, the whole
// document is kept: both must give the same bytes.
QEM_API extern bool DropOwnDocument;

// What a save of such a file through its document would give: re-indented by depth when
// Reindented, else without any line breaks; the file element's datatype, tool and ts as
// KeptFile has them. False, with nothing written, in the cases WriteNewNotes gives false.
bool WriteOwnNotes(TQEMCustomNotesFile& F, IQEMNotesItems& Items, std::ostream& Stream,
                   bool Reindented, const std::u16string& SourceTag,
                   const std::u16string& TargetTag, TQEMXMLNode KeptFile);

// Around Body, only what a save writes: the fixed head, the file element with its six
// attributes, and a header holding our group alone.
bool IsOwnFrame(const TQEMXMLDocument& Doc, TQEMXMLNode File, TQEMXMLNode Header, TQEMXMLNode Body);
// What is kept of such a file once its items are read: the fixed head, the file element's
// attributes, its header and an empty body.
std::shared_ptr<TQEMXMLDocument> OwnHead(TQEMXMLNode File, TQEMXMLNode Header);
// No item writes properties of its own (they would need the document).
bool WritesNoOwnProps(TQEMCustomNotesFile& F, const std::vector<IQEMNotesItemPtr>& Items);

// Reads a file in the layout a save writes straight from its bytes: its head as OwnHead keeps it,
// and its units appended to Items. False, with nothing changed, for anything else (the document
// reads that, and names any fault). Off, every body is read through the document.
QEM_API extern bool ScanOwnBodies;
bool ScanOwnNotes(TQEMCustomNotesFile& F, std::string_view Bytes,
                  std::shared_ptr<TQEMXMLDocument>& Head, IQEMNotesItems& Items);

// The texts of a header as the document gives them, before any is checked or converted.
struct THeaderTexts {
  enum TProp {
    Version,
    SelfDateTime,
    OrigDateTime,
    XlatDateTime,
    Translated,
    UnTranslated,
    OrigStamp,
    PropCount
  };
  std::u16string Original, Source, Target;
  bool Group = false; // the header holds our group
  std::u16string Props[PropCount];
};
// The prop-type of each of THeaderTexts::Props.
extern const char16_t* const kHeaderProps[THeaderTexts::PropCount];

// Reads the head of a file in the layout a save writes straight from its bytes, up to the end
// of its header. False for anything else, which the document reads. Off, every head is read
// through the document.
QEM_API extern bool ScanOwnHeaders;
QEM_API bool ScanOwnHeader(std::string_view Bytes, THeaderTexts& Texts);
} // namespace notesdetail
