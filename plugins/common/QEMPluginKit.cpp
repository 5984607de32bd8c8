#include "QEMPluginKit.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <unordered_map>

namespace {

constexpr std::string_view kBOM = "\xEF\xBB\xBF";
constexpr uint32_t kUtf8CodePage = 65001;

constexpr const char16_t* SKitInvalidBytes = u"%s(%d): bytes invalid in code page %d";
constexpr const char16_t* SKitUtf16 =
    u"%s is UTF-16 text, which is not read: save it as UTF-8 with a "
    u"byte-order mark or in the code page of its language";
constexpr const char16_t* SKitInvalidUtf8 = u"%s(%d): invalid UTF-8";
constexpr const char16_t* SKitNoCodePage =
    u"%s: the text outside the translations cannot be written in code page %d";
constexpr const char16_t* SKitNoSource =
    u"Cannot recreate %s: its source file \"%s\" does not exist";
constexpr const char16_t* SKitBadTranslation =
    u"%s: the translation of %s is not a valid literal; the source text is kept";

std::u16string NotesOf(const TQEMTranslatorMgrClass& C, const std::u16string& FileName) {
  return C.FileNameToNoteName(FileName);
}

class TKitWriter : public IQEMXlatWriter, public IQEMXlatSourceWriter {
public:
  TKitWriter(const TQEMKitMgrClass& AClass, TQEMKitUpdater& AUpdater)
      : FClass(AClass), FUpdater(AUpdater) {}
  void WriteFromNotesFileName(const std::u16string& NotesName, const std::u16string& XlatName,
                              LCID XlatLCID, int32_t) override {
    const auto notes = std::dynamic_pointer_cast<IQEMNotesFile>(FClass.GetNotesClass().Create());
    if (!notes) throw EQEMError(std::u16string(SMgrNoNotesClass));
    notes->Open(NotesName);
    WriteFromNotes(*notes, XlatName, XlatLCID, 0);
  }
  void WriteFromNotes(IQEMNotesFile& Notes, const std::u16string& XlatName, LCID XlatLCID,
                      int32_t) override {
    const std::string bytes = QEMKitReadFile(XlatName);
    QEMSaveFileAtomically(XlatName, FClass.Translate(Notes, XlatName, bytes, XlatLCID));
  }
  bool TranslateSource(IQEMNotesFile& Notes, const std::u16string& SourceName,
                       const std::u16string& XlatName, LCID XlatLCID, std::string& Bytes) override;
  void Forget() override { FUpdater.ForgetSourceRead(); }

private:
  const TQEMKitMgrClass& FClass;
  TQEMKitUpdater& FUpdater;
};

} // namespace

// Every package linking the kit declares the contract of the headers it was built with.
QEM_DECLARE_PACKAGE_CONTRACT();

// ---- text of files ----

uint32_t QEMKitCodePage(LCID Locale) {
  const uint32_t cp = Locale ? LCIDToCodePage(Locale) : 0;
  return cp ? cp : QEMSystemCodePage();
}

int QEMKitLineOf(const std::u16string& Text, size_t Pos) {
  int line = 1;
  for (size_t i = 0; i < Pos && i < Text.size(); ++i)
    if (Text[i] == u'\n') ++line;
  return line;
}

EQEMError QEMKitSyntaxError(const std::u16string& FileName, int Line, const std::u16string& What) {
  return EQEMError(Format(u"%s(%d): %s", FileName, Line, What));
}

std::string QEMKitReadFile(const std::u16string& FileName) {
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes)) throw EQEMError(Format(SFileNotFound, FileName));
  return bytes;
}

std::u16string QEMKitDecode(const std::u16string& FileName, std::string_view Bytes,
                            uint32_t CodePage, bool& Utf8) {
  // Read as bytes of a code page, UTF-16 would give no items and a copy passed as translated.
  if (Bytes.starts_with("\xFF\xFE") || Bytes.starts_with("\xFE\xFF"))
    throw EQEMError(Format(SKitUtf16, FileName));
  Utf8 = Bytes.starts_with(kBOM);
  if (Utf8) {
    const std::string_view body = Bytes.substr(kBOM.size());
    if (const size_t bad = QEMFindInvalidUTF8(body); bad != std::string_view::npos) {
      const auto line = std::count(body.begin(), body.begin() + std::ptrdiff_t(bad), '\n') + 1;
      throw EQEMError(Format(SKitInvalidUtf8, FileName, int64_t(line)));
    }
    return UTF8ToUTF16(body);
  }
  std::u16string text = StringToWideStringCP(CodePage, Bytes);
  // The converters put U+FFFD (or SUB for single-byte tables) where bytes have no character.
  const size_t bad = text.find_first_of(std::u16string_view(u"\uFFFD\x1A\0", 3));
  if (bad != std::u16string::npos)
    throw EQEMError(Format(SKitInvalidBytes, FileName, QEMKitLineOf(text, bad), int32_t(CodePage)));
  return text;
}

bool QEMKitFits(std::u16string_view Text, uint32_t CodePage) {
  if (CodePage == kUtf8CodePage) return true;
  for (char16_t c : Text)
    if (c >= 0x80)
      return StringToWideStringCP(CodePage, WideStringToStringCP(CodePage, Text)) == Text;
  return true; // ASCII is in every code page we write
}

std::u16string QEMKitSettingsKey(const std::u16string& SubKey) {
  return QEMBaseRegKey() + u"\\" + SubKey;
}

// ---- manager class ----

TQEMKitMgrClass::TQEMKitMgrClass(TQEMLiteralFormatPtr AFormat,
                                 const TQEMBaseNotesFileClass& ANotesClass, TQEMKitTypeInfo AInfo)
    : FFormat(std::move(AFormat)), FNotesClass(ANotesClass), FInfo(std::move(AInfo)) {}

std::unique_ptr<TQEMTranslatorMgr> TQEMKitMgrClass::Create(const std::u16string& AFileName,
                                                           bool PerformCheck) const {
  return std::make_unique<TQEMKitMgr>(*this, AFileName, PerformCheck);
}

namespace {

// A literal of the source as the writer puts it: its span, the text the notes keep for it
// (written instead when the span does not fit the code page; null: the span) and the
// translation that takes its place (null: the source's own).
struct TKitLiteral {
  size_t Begin = 0, End = 0;
  const std::u16string* Value = nullptr;
  const std::u16string* Wanted = nullptr;
};

// Whether a translation goes in place of its source literal; an invalid one is reported.
bool IsWanted(TQEMLiteralFormat& Literals, const std::u16string& Xlat, const std::u16string& Orig,
              const std::u16string& FileName, const std::u16string& ID) {
  if (Xlat == Orig) return false;
  if (Literals.IsValidLiteral(Xlat)) return true;
  ShowError(::Format(SKitBadTranslation, FileName, ID));
  return false;
}

// The literals of Items with their translations from the notes. Translations holds the texts
// pointed to.
std::vector<TKitLiteral> WantedTranslations(IQEMNotesFile& Notes,
                                            const std::vector<TQEMLiteralItem>& Items,
                                            TQEMLiteralFormat& Literals,
                                            const std::u16string& FileName,
                                            std::deque<std::u16string>& Translations) {
  // Items of one identifier are taken in notes order; Unused items are not in the file.
  std::unordered_map<std::u16string, std::vector<IQEMNotesItemPtr>> byID;
  const auto list = Notes.GetItems();
  for (int i = 0, n = list->Count(); i < n; ++i) {
    auto item = list->Get(i);
    if (item->GetStatus() != rsUnused) byID[item->GetID()].push_back(std::move(item));
  }
  std::unordered_map<std::u16string, size_t> next;
  std::vector<TKitLiteral> literals(Items.size());
  for (size_t k = 0; k < Items.size(); ++k) {
    literals[k] = {Items[k].Begin, Items[k].End, &Items[k].Value, nullptr};
    if (Items[k].Fixed) continue;
    const auto found = byID.find(Items[k].ID);
    if (found == byID.end()) continue;
    size_t& at = next[Items[k].ID];
    if (at >= found->second.size()) continue;
    const auto& item = found->second[at++];
    // Stale notes (the source literal changed since) must not put an old translation here.
    if (item->GetOrigText() != Items[k].Value) continue;
    std::u16string xlat = item->GetXlatText();
    if (!IsWanted(Literals, xlat, Items[k].Value, FileName, Items[k].ID)) continue;
    Translations.push_back(std::move(xlat));
    literals[k].Wanted = &Translations.back();
  }
  return literals;
}

// The literals of Text put in code page CP, each wanted translation in place of its source;
// false (Out unfinished) as soon as one cannot be written in that code page. Moves: where the
// rewritten literals went.
bool WriteLiterals(TQEMLiteralFormat& Literals, const std::u16string& Text,
                   const std::vector<TKitLiteral>& Items, uint32_t CP, std::u16string_view NewLine,
                   std::u16string& Out, TQEMKitMoves& Moves) {
  Out.clear();
  Out.reserve(Text.size() + Text.size() / 8);
  Moves = {};
  size_t pos = 0;
  for (const TKitLiteral& it : Items) {
    Out.append(Text, pos, it.Begin - pos);
    pos = it.End;
    const std::u16string_view source =
        std::u16string_view(Text).substr(it.Begin, it.End - it.Begin);
    if (!it.Wanted && QEMKitFits(source, CP)) {
      Out.append(source);
      continue;
    }
    const std::u16string value =
        it.Wanted ? *it.Wanted : (it.Value ? *it.Value : std::u16string(source));
    std::u16string literal;
    const bool fits = Literals.OutputLiteral(value, CP, literal);
    const size_t lineStart = Out.find_last_of(u'\n') + 1; // npos + 1 == 0
    size_t indent = lineStart;
    while (indent < Out.size() && (Out[indent] == u' ' || Out[indent] == u'\t'))
      ++indent;
    Out.append(
        Literals.WrapLiteral(std::move(literal), Out.size() - lineStart, NewLine,
                             std::u16string_view(Out).substr(lineStart, indent - lineStart)));
    Moves.Add(it.Begin, it.End, Out.size());
    if (!fits) return false;
  }
  Out.append(Text, pos, std::u16string::npos);
  return true;
}

// Whether WriteLiterals would put every literal of Text as it stands.
bool NothingToRewrite(const std::u16string& Text, const std::vector<TKitLiteral>& Items,
                      uint32_t CP) {
  return std::none_of(Items.begin(), Items.end(), [&](const TKitLiteral& It) {
    return It.Wanted ||
           !QEMKitFits(std::u16string_view(Text).substr(It.Begin, It.End - It.Begin), CP);
  });
}

// The bytes of the translated file of Text (decoded as Form says) with Literals written: in
// the target's code page, else in UTF-8 where the format allows, adjusted for the target.
// Parse: what the format kept of its parse of Text, if anything. Text is let go on the way.
std::string WriteTranslated(TQEMLiteralFormat& Format, const std::u16string& FileName,
                            std::u16string Text, TQEMKitFileForm Form,
                            const std::vector<TKitLiteral>& Literals, LCID XlatLCID,
                            const TQEMKitFileData* Parse) {
  bool utf8 = Form.Utf8;
  const uint32_t targetCP = QEMKitCodePage(XlatLCID);
  const size_t firstBreak = Text.find(u'\n');
  const std::u16string_view newLine =
      firstBreak != std::u16string::npos && firstBreak > 0 && Text[firstBreak - 1] == u'\r'
          ? u"\r\n"
          : u"\n";
  std::u16string out;
  TQEMKitMoves moves;
  // The target's code page first; UTF-8 when the text does not fit it and the format allows.
  for (int pass = 0; pass < 2; ++pass) {
    const uint32_t cp = utf8 ? kUtf8CodePage : targetCP;
    // With no literal to rewrite (a first run, say) the text goes out as it stands.
    const bool asIs = NothingToRewrite(Text, Literals, cp);
    if (asIs || WriteLiterals(Format, Text, Literals, cp, newLine, out, moves)) {
      if (utf8 || QEMKitFits(asIs ? Text : out, cp)) {
        if (asIs) {
          out = std::move(Text);
          moves = {};
        }
        break;
      }
      if (!Format.Utf8Allowed()) throw EQEMError(::Format(SKitNoCodePage, FileName, int32_t(cp)));
    }
    if (utf8)
      throw EQEMError(::Format(SKitNoCodePage, FileName, int32_t(cp))); // the format refused UTF-8
    utf8 = true;
  }
  std::u16string().swap(Text);
  const uint32_t cp = utf8 ? kUtf8CodePage : targetCP;
  auto* parsed = Parse ? dynamic_cast<IQEMKitParsedTarget*>(&Format) : nullptr;
  if (!parsed || !parsed->AdjustParsed(out, *Parse, moves, XlatLCID, cp, utf8))
    Format.AdjustForTarget(out, XlatLCID, cp, utf8);
  Form.Utf8 = utf8;
  return QEMKitEncodeFile(Format, FileName, out, targetCP, Form);
}

} // namespace

std::string TQEMKitMgrClass::Translate(IQEMNotesFile& Notes, const std::u16string& SourceName,
                                       std::string_view Bytes, LCID XlatLCID) const {
  TQEMLiteralFormat& format = *FFormat;
  format.CheckBytes(SourceName, Bytes);
  TQEMKitFileForm form;
  std::u16string text = QEMKitDecodeFile(format, SourceName, Bytes,
                                         QEMKitCodePage(Notes.GetStats()->GetOrigLCID()), form);
  std::vector<TQEMLiteralItem> items;
  const std::u16string shown = Notes.GetStats()->GetOrigFileName();
  QEMKitSetFileLanguage(format, shown.empty() ? SourceName : shown,
                        Notes.GetStats()->GetOrigLCID());
  format.Parse(SourceName, text, items);
  std::deque<std::u16string> translations;
  const auto literals = WantedTranslations(Notes, items, format, SourceName, translations);
  return WriteTranslated(format, SourceName, std::move(text), std::move(form), literals, XlatLCID,
                         nullptr);
}

size_t TQEMKitMoves::Map(size_t Pos) const {
  // The spans before Pos end at or before it.
  const auto after = std::partition_point(FSpans.begin(), FSpans.end(),
                                          [Pos](const TSpan& S) { return S.End <= Pos; });
  if (after != FSpans.end() && after->Begin < Pos) return std::u16string::npos;
  if (after == FSpans.begin()) return Pos;
  const TSpan& last = *std::prev(after);
  return Pos - last.End + last.NewEnd;
}

// ---- manager ----

TQEMKitMgr::TQEMKitMgr(const TQEMKitMgrClass& AClass, const std::u16string& AFileName,
                       bool PerformCheck)
    : TQEMTranslatorMgr(AClass), FKitClass(AClass) {
  FFileName = AFileName;
  const std::u16string notes = NotesOf(AClass, AFileName);
  if (FileExists(notes)) FNotesFile->Open(notes);
  FOrigFileName = SourceFile();
  if (FOrigFileName.empty()) FOrigFileName = Stats()->GetOrigFileName(); // shown, never used
  if (PerformCheck) CheckStats();
}

void TQEMKitMgr::Reload() {
  auto fresh = std::dynamic_pointer_cast<IQEMNotesFile>(GetNotesClass().Create());
  if (!fresh) throw EQEMError(std::u16string(SMgrNoNotesClass));
  const std::u16string notes = FileNameToNoteName(FFileName);
  if (FileExists(notes)) fresh->Open(notes);
  FNotesFile = std::move(fresh);
  FOrigFileName = SourceFile();
  if (FOrigFileName.empty()) FOrigFileName = Stats()->GetOrigFileName();
}

void TQEMKitMgr::CheckStats() {
  if (auto custom = std::dynamic_pointer_cast<TQEMCustomNotesFile>(FNotesFile))
    custom->ReCalcStats();
}

// Egged text is made from the original, so building twice gives the same file. A file that
// cannot be egged is reported with its name and the batch goes on with the next one.
void TQEMKitMgr::EggBuild() {
  try {
    DoEggBuild();
  } catch (const std::exception& e) {
    ShowError(Format(SEggBuildFileFailed, FFileName, QEMExceptionMessage(e)));
  }
}

void TQEMKitMgr::DoEggBuild() {
  const auto items = Items();
  const std::u16string& kind = FKitClass.Info().EggKind;
  bool changed = false;
  for (int i = 0, n = items->Count(); i < n; ++i) {
    const auto item = items->Get(i);
    const TResStatus status = item->GetStatus();
    if (status == rsUnused) continue;
    std::u16string result;
    if (!GetEggString(status, kind, ConvertToRawString(item->GetOrigText()), item->GetXlatText(),
                      result))
      continue;
    item->SetXlatText(ConvertFromRawString(result));
    item->SetStatus(GetEggStatus(status, kind));
    item->SetModified(QEMNow());
    changed = true;
  }
  if (changed) Save(true, 0, 0, false);
}

void TQEMKitMgr::MakeDictionary(TStringList& SL) {
  const auto items = Items();
  for (int i = 0, n = items->Count(); i < n; ++i) {
    const auto item = items->Get(i);
    if (item->GetStatus() != rsUnused) SL.Add(item->GetOrigText() + u"=" + item->GetXlatText());
  }
}

void TQEMKitMgr::Purge() {
  const auto items = Items();
  std::vector<IQEMNotesItemPtr> kept;
  for (int i = 0, n = items->Count(); i < n; ++i)
    if (auto item = items->Get(i); item->GetStatus() != rsUnused) kept.push_back(std::move(item));
  if (int(kept.size()) == items->Count()) return;
  items->Clear();
  for (auto& item : kept)
    items->Add(std::move(item));
  Save(false, 0, 0, false);
}

void TQEMKitMgr::RecreateXlat() {
  Save(true, 0, 0, true);
}

// The project's source, never the path the notes record: notes files come from outside.
std::u16string TQEMKitMgr::SourceFile() const {
  std::u16string source = QEMProjectSourceFile(FFileName);
  if (source.empty() || FileExists(source)) return source;
  // A resource-string map may live in the "debug" folder below the one the project names.
  const std::u16string alt = ExtractFilePath(source) + u"debug/" + ExtractFileName(source);
  return FileExists(alt) ? alt : source;
}

void TQEMKitMgr::WriteXlat() {
  const std::u16string source = SourceFile();
  if (source.empty()) throw EQEMError(Format(SNoProjectSource, FFileName));
  if (!FileExists(source)) throw EQEMError(Format(SKitNoSource, FFileName, source));
  std::string bytes = QEMKitReadFile(source);
  // A resource-string map taken from a "debug" folder is UTF-8; the updater hands it over in
  // the code page of its language, and so must a rewrite from it.
  const std::u16string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(source));
  if (QEMSameText(ExtractFileExt(source), u".orc") &&
      QEMSameText(ExtractFileName(folder), u"debug"))
    bytes = QEMUTF8ToCodePageOrMarked(bytes, QEMKitCodePage(Stats()->GetOrigLCID()));
  QEMSaveFileAtomically(FFileName,
                        FKitClass.Translate(*FNotesFile, source, bytes, Stats()->GetXlatLCID()));
  // The notes record the new file's date, or the next update would take it for an edit.
  Stats()->SetXlatDateTime(DateOfFile(FFileName));
}

// The notes are saved even when the translated file cannot be written: they hold the work.
void TQEMKitMgr::Save(bool CreateXlat, LCID AOrigLCID, LCID AXlatLCID, bool) {
  const auto stats = Stats();
  if (const std::u16string source = SourceFile(); !source.empty()) {
    stats->SetOrigFileName(source);
    FOrigFileName = source;
  }
  if (AOrigLCID) stats->SetOrigLCID(AOrigLCID);
  if (AXlatLCID) stats->SetXlatLCID(AXlatLCID);
  std::exception_ptr failed;
  if (CreateXlat) {
    try {
      WriteXlat();
    } catch (...) {
      failed = std::current_exception();
    }
  }
  FNotesFile->SaveAs(FileNameToNoteName(FFileName));
  if (failed) std::rethrow_exception(failed);
}

// ---- updater ----

namespace {

// Whether Text is Bytes, all ASCII, character for character.
bool IsWidened(std::u16string_view Text, std::string_view Bytes) {
  if (Text.size() != Bytes.size()) return false;
  for (size_t i = 0; i < Text.size(); ++i)
    if (uint8_t(Bytes[i]) >= 0x80 || Text[i] != char16_t(Bytes[i])) return false;
  return true;
}

} // namespace

struct TQEMKitUpdater::TSourceRead {
  std::u16string FileName;
  const TQEMUpdateContext* Context = nullptr; // the file run that read it
  std::u16string Text;
  // A file of ASCII alone that decoded character for character is kept as its bytes instead
  // (Text empty): half the size, and they are the translated file when nothing changes.
  bool Ascii = false;
  std::string Bytes;
  TQEMKitFileForm Form;
  struct TSpan {
    size_t Begin, End;
    int Fixed; // the index of its value in FixedValues; -1 for an item
  };
  std::vector<TSpan> Spans; // every literal, in file order
  std::vector<std::u16string> FixedValues;
  // Per item, the notes item the merge gave it; the notes list holds them.
  std::vector<const IQEMNotesItem*> Merged;
  std::shared_ptr<TQEMKitFileData> Parse; // the format's, for the target changes
  bool Merging = false;
  bool MergeDone = false;
};

TQEMKitUpdater::TQEMKitUpdater(const TQEMKitMgrClass& AMgrClass)
    : TQEMCustomUpdater(AMgrClass), FKitClass(AMgrClass) {}

TQEMKitUpdater::~TQEMKitUpdater() = default;

bool TQEMKitUpdater::ReadFileStrings(const std::u16string& FileName) {
  FRead.reset();
  TQEMLiteralFormat& format = FKitClass.Format();
  TQEMKitFileForm form;
  std::u16string text;
  bool ascii = false;
  {
    const std::string bytes = QEMKitReadFile(FileName);
    format.CheckBytes(FileName, bytes);
    text = QEMKitDecodeFile(format, FileName, bytes,
                            QEMKitCodePage(UpdateFromOrig() ? OrigLCID() : XlatLCID()), form);
    ascii = !form.Utf8 && !form.Data && IsWidened(text, bytes);
  }
  std::vector<TQEMLiteralItem> items;
  QEMKitSetFileLanguage(format, FileName, UpdateFromOrig() ? OrigLCID() : XlatLCID());
  format.Parse(FileName, text, items);
  // A source is kept for its translated copy; a translated file is only read.
  auto* parsed = dynamic_cast<IQEMKitParsedTarget*>(&format);
  auto read = UpdateFromOrig() ? std::make_unique<TSourceRead>() : nullptr;
  if (read) {
    read->Parse = parsed ? parsed->TakeParse() : nullptr;
    read->Spans.reserve(items.size());
  }
  FCurrStrings->Clear();
  for (auto& item : items) {
    if (read)
      read->Spans.push_back(
          {item.Begin, item.End, item.Fixed ? int(read->FixedValues.size()) : -1});
    if (item.Fixed) {
      if (read) read->FixedValues.push_back(std::move(item.Value));
      continue;
    }
    const int i =
        FCurrStrings->AddPair(std::move(item.ID), std::move(item.ResName), std::move(item.Value));
    if (!item.FormerID.empty()) FCurrStrings->PutFormerID(i, std::move(item.FormerID));
  }
  std::vector<TQEMLiteralItem>().swap(items);
  if (read) {
    read->FileName = FileName;
    read->Context = &Ctx();
    read->Ascii = ascii;
    if (ascii)
      read->Bytes.assign(text.begin(), text.end());
    else
      read->Text = std::move(text);
    read->Form = std::move(form);
    read->Merged.assign(size_t(FCurrStrings->Count()), nullptr);
    FRead = std::move(read);
  }
  return true;
}

void TQEMKitUpdater::AddString(const IQEMNotesItemPtr& Item) {
  const int i = Ctx().CurrIndex;
  const bool merging = Ctx().MergeList && i >= 0 && i < FCurrStrings->Count();
  if (merging && FRead && FRead->Merging && size_t(i) < FRead->Merged.size())
    FRead->Merged[size_t(i)] = Item.get();
  TQEMCustomUpdater::AddString(Item);
  // The notes item holds the string now; the list's copy goes at once, so the file's strings
  // are not held twice until the merge ends.
  if (merging) FCurrStrings->PutObject(i, nullptr);
}

bool TQEMKitUpdater::UpdateFile(TStats& AStats) {
  const bool mine = FRead && FRead->Context == &Ctx() && UpdateFromOrig();
  if (FRead) FRead->Merging = mine;
  const bool ok = TQEMCustomUpdater::UpdateFile(AStats);
  if (!mine) return ok;
  FRead->Merging = false;
  // Only a merge that gave every item its notes item can stand for the notes.
  FRead->MergeDone =
      ok && std::find(FRead->Merged.begin(), FRead->Merged.end(), nullptr) == FRead->Merged.end();
  if (!FRead->MergeDone) FRead.reset();
  return ok;
}

std::unique_ptr<TQEMKitUpdater::TSourceRead>
TQEMKitUpdater::TakeSourceRead(const std::u16string& FileName) {
  if (!FRead || !FRead->MergeDone || FRead->FileName != FileName) return nullptr;
  return std::move(FRead);
}

void TQEMKitUpdater::ForgetSourceRead() {
  FRead.reset();
}

IQEMXlatWriterPtr TQEMKitUpdater::CreateXlatWriter() {
  return std::make_shared<TKitWriter>(FKitClass, *this);
}

namespace {

bool IsAscii(std::u16string_view S) {
  return std::all_of(S.begin(), S.end(), [](char16_t C) { return C < 0x80; });
}

// The literals of a source as read and merged that are not written as they stand, each with the
// translation of the notes item the merge gave it; false when the notes list does not hold those
// items in that order. A literal left out is put as it stands, as WriteLiterals would put it.
bool MergedLiterals(IQEMNotesFile& Notes, const TQEMKitUpdater::TSourceRead& Read,
                    TQEMLiteralFormat& Literals, const std::u16string& FileName,
                    std::deque<std::u16string>& Kept, std::vector<TKitLiteral>& Out) {
  const auto list = Notes.GetItems();
  const size_t n = Read.Merged.size();
  if (size_t(list->Count()) < n) return false;
  for (size_t s = 0; s < n; ++s)
    if (list->Get(int(s)).get() != Read.Merged[s] || Read.Merged[s]->GetStatus() == rsUnused)
      return false;
  Out.clear();
  size_t s = 0;
  for (const auto& span : Read.Spans) {
    TKitLiteral lit{span.Begin, span.End, nullptr, nullptr};
    // ASCII fits every code page: only a wanted translation rewrites such a span.
    const bool ascii =
        Read.Ascii ||
        IsAscii(std::u16string_view(Read.Text).substr(span.Begin, span.End - span.Begin));
    if (span.Fixed >= 0) {
      lit.Value = &Read.FixedValues[size_t(span.Fixed)];
      if (!ascii) Out.push_back(lit);
      continue;
    }
    // The merge made the item's original the literal's value.
    const IQEMNotesItem& item = *Read.Merged[s++];
    std::u16string orig = item.GetOrigText(), xlat = item.GetXlatText();
    if (xlat != orig && IsWanted(Literals, xlat, orig, FileName, item.GetID())) {
      Kept.push_back(std::move(xlat));
      lit.Wanted = &Kept.back();
    }
    // Written in its place only where the span does not fit a code page.
    if (!ascii) {
      Kept.push_back(std::move(orig));
      lit.Value = &Kept.back();
    }
    if (lit.Wanted || !ascii) Out.push_back(lit);
  }
  return true;
}

} // namespace

bool TKitWriter::TranslateSource(IQEMNotesFile& Notes, const std::u16string& SourceName,
                                 const std::u16string& XlatName, LCID XlatLCID,
                                 std::string& Bytes) {
  const auto read = FUpdater.TakeSourceRead(SourceName);
  if (!read) return false;
  TQEMLiteralFormat& format = FClass.Format();
  std::deque<std::u16string> kept;
  std::vector<TKitLiteral> literals;
  if (!MergedLiterals(Notes, *read, format, XlatName, kept, literals)) return false;
  decltype(read->Spans)().swap(read->Spans);
  decltype(read->Merged)().swap(read->Merged);
  const std::u16string shown = Notes.GetStats()->GetOrigFileName();
  QEMKitSetFileLanguage(format, shown.empty() ? SourceName : shown,
                        Notes.GetStats()->GetOrigLCID());
  if (read->Ascii) {
    // Nothing to rewrite and nothing the target changes: the source's bytes are the copy.
    auto* parsed = dynamic_cast<IQEMKitParsedTarget*>(&format);
    if (literals.empty() && read->Parse && parsed && parsed->LeavesParsed(*read->Parse) &&
        QEMCodePageKeepsAscii(QEMKitCodePage(XlatLCID))) {
      Bytes = std::move(read->Bytes);
      return true;
    }
    read->Text.assign(read->Bytes.begin(), read->Bytes.end());
    std::string().swap(read->Bytes);
  }
  Bytes = WriteTranslated(format, XlatName, std::move(read->Text), std::move(read->Form), literals,
                          XlatLCID, read->Parse.get());
  return true;
}

// ---- file type ----

TQEMKitFileType::TQEMKitFileType(const TQEMKitMgrClass& AMgrClass, TQEMKitTranslator* ATranslator,
                                 void* Instance, IQEMTranslatorUpdaterPtr AUpdater)
    : TQEMBaseFileType(AMgrClass.Info().Name, AMgrClass.Info().Exts, AMgrClass.Info().Desc,
                       ATranslator, Instance, std::move(AUpdater)),
      FMgrClass(AMgrClass) {}

bool TQEMKitFileType::AcceptsFile(const std::u16string& FileName) {
  if (FExts->IndexOf(QEMUpperCase(ExtractFileExt(FileName))) < 0) return false;
  std::ifstream in(QEMNativePath(FileName), std::ios::binary);
  if (!in) return true; // a file still to be made is taken by its extension
  std::string head(512, '\0');
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(size_t(in.gcount()));
  return FMgrClass.Format().AcceptsContent(head);
}

TFileStats TQEMKitFileType::GetStats(const std::u16string& AFileName, bool PerformCheck) {
  if (auto* mgr = FindMgr(AFileName)) {
    if (PerformCheck) mgr->CheckStats();
    return mgr->Stats()->GetFileStats();
  }
  return FMgrClass.Create(AFileName, PerformCheck)->Stats()->GetFileStats();
}

// ---- package ----

TQEMKitPackage::~TQEMKitPackage() {
  try {
    RemoveTypes();
  } catch (...) {
  }
}

void TQEMKitPackage::AddType(void* Module, TQEMLiteralFormatPtr Format,
                             const TQEMBaseNotesFileClass& NotesClass,
                             const TQEMKitTypeInfo& Info) {
  TEntry e;
  e.MgrClass = std::make_unique<TQEMKitMgrClass>(std::move(Format), NotesClass, Info);
  e.Translator = std::make_unique<TQEMKitTranslator>(*e.MgrClass);
  e.Translator->SetTranslatorSubKey(Info.SubKey);
  auto updater = std::make_shared<TQEMKitUpdater>(*e.MgrClass);
  auto type = std::make_shared<TQEMKitFileType>(*e.MgrClass, e.Translator.get(), Module,
                                                std::move(updater));
  e.Translator->SetQEMFileType(type.get());
  e.FileType = type;
  FEntries.push_back(std::move(e));
  RegisterQEMFileType(type);
}

void TQEMKitPackage::RemoveTypes() {
  while (!FEntries.empty()) {
    if (QEMFileTypesStarted()) UnRegisterQEMFileType(FEntries.back().FileType);
    FEntries.pop_back();
  }
}

// ---- files that are more than text in one code page ----

std::u16string QEMKitDecodeFile(TQEMLiteralFormat& Format, const std::u16string& FileName,
                                std::string_view Bytes, uint32_t CodePage, TQEMKitFileForm& Form) {
  if (auto* codec = dynamic_cast<IQEMKitFileCodec*>(&Format))
    return codec->DecodeFile(FileName, Bytes, CodePage, Form);
  return QEMKitDecode(FileName, Bytes, CodePage, Form.Utf8);
}

std::string QEMKitEncodeFile(TQEMLiteralFormat& Format, const std::u16string& FileName,
                             const std::u16string& Text, uint32_t CodePage,
                             const TQEMKitFileForm& Form) {
  if (auto* codec = dynamic_cast<IQEMKitFileCodec*>(&Format))
    return codec->EncodeFile(FileName, Text, CodePage, Form);
  if (Form.Utf8) return (Form.Bom ? std::string(kBOM) : std::string()) + UTF16ToUTF8(Text);
  return WideStringToStringCP(CodePage, Text);
}

// ---- files with sections for several languages ----

void QEMKitSetFileLanguage(TQEMLiteralFormat& Format, const std::u16string& FileName, LCID Locale) {
  if (auto* sections = dynamic_cast<IQEMKitFileLanguage*>(&Format))
    sections->SetFileLanguage(FileName, Locale);
}
