#include "HLXLines.h"

#include <deque>
#include <fstream>
#include <map>
#include <sstream>

#include "core/QEMIntlUtils.h"
#include "core/QEMUtils.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"

namespace hlxtest {

namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

bool ReadBytes(const std::u16string& FileName, std::string& Bytes) {
  std::ifstream in(QEMNativePath(FileName), std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  Bytes = std::move(s).str();
  return !in.bad();
}

template <class F> void ForEachLine(const std::u16string& Text, F&& Body) {
  size_t start = 0;
  while (start < Text.size()) {
    size_t end = Text.find(u'\n', start);
    if (end == std::u16string::npos) end = Text.size();
    Body(Text.substr(start, end - start), end < Text.size());
    start = end + 1;
  }
}

// UTF-8 (after an optional byte-order mark); a map file without the mark is in the code page
// of Locale. CodePage is 0 for UTF-8.
std::u16string Decode(const std::string& Bytes, const std::u16string& FileName, LCID Locale,
                      bool& HasBom, uint32_t& CodePage) {
  HasBom = Bytes.starts_with(Bom);
  CodePage = 0;
  if (HasBom) return UTF8ToUTF16(std::string_view(Bytes).substr(Bom.size()));
  if (QEMUpperCase(ExtractFileExt(FileName)) != u".ORC") return UTF8ToUTF16(Bytes);
  CodePage = LCIDToCodePage(Locale) ? LCIDToCodePage(Locale) : QEMSystemCodePage();
  return StringToWideStringCP(CodePage, Bytes);
}

bool IsSpace(char16_t C) {
  return C == u' ' || C == u'\t' || C == u'\r';
}

} // namespace

bool ParseLine(const std::u16string& Line, TLine& Result) {
  size_t p = 0;
  const size_t n = Line.size();
  while (p < n && IsSpace(Line[p]))
    ++p;
  const size_t keyBegin = p;
  while (p < n && !IsSpace(Line[p]) && Line[p] != u'=' && Line[p] != u'"')
    ++p;
  if (p == keyBegin) return false;
  Result.Key = Line.substr(keyBegin, p - keyBegin);
  while (p < n && IsSpace(Line[p]))
    ++p;
  if (p >= n || Line[p++] != u'=') return false;
  while (p < n && IsSpace(Line[p]))
    ++p;
  if (p >= n || Line[p++] != u'"') return false;
  Result.Begin = p;
  Result.Text.clear();
  for (; p < n && Line[p] != u'"'; ++p) {
    if (Line[p] == u'\\' && p + 1 < n) ++p;
    Result.Text += Line[p];
  }
  if (p >= n) return false;
  Result.End = p++;
  while (p < n && IsSpace(Line[p]))
    ++p;
  return p == n;
}

std::u16string EscapeText(const std::u16string& Text) {
  std::u16string r;
  for (char16_t c : Text) {
    if (c == u'"' || c == u'\\') r += u'\\';
    r += c;
  }
  return r;
}

// ---- manager ----

std::unique_ptr<TQEMTranslatorMgr> TLinesMgrClass::Create(const std::u16string& AFileName,
                                                          bool PerformCheck) const {
  return std::make_unique<TLinesMgr>(*this, AFileName, PerformCheck);
}

const TQEMBaseNotesFileClass& TLinesMgrClass::GetNotesClass() const {
  static const TQEMNotesFileClassOf<TLinesNotesFile> notesClass;
  return notesClass;
}

const TLinesMgrClass& LinesMgrClass() {
  static const TLinesMgrClass mgrClass;
  return mgrClass;
}

TLinesMgr::TLinesMgr(const TQEMTranslatorMgrClass& AClass, const std::u16string& AFileName,
                     bool PerformCheck)
    : TQEMTranslatorMgr(AClass) {
  FFileName = AFileName;
  Reload();
  if (PerformCheck) CheckStats();
}

void TLinesMgr::Reload() {
  const std::u16string notes = FileNameToNoteName(FFileName);
  if (FileExists(notes)) FNotesFile->Open(notes);
  FOrigFileName = Stats()->GetOrigFileName();
}

void TLinesMgr::CheckStats() {
  int32_t translated = 0, untranslated = 0;
  CalcStats(translated, untranslated);
  Stats()->SetTranslated(translated);
  Stats()->SetUnTranslated(untranslated);
}

void TLinesMgr::EggBuild() {}

void TLinesMgr::MakeDictionary(TStringList& SL) {
  const auto items = Items();
  for (int i = 0; i < items->Count(); ++i) {
    const auto item = items->Get(i);
    if (item->GetStatus() != rsUnused) SL.Add(item->GetOrigText() + u"=" + item->GetXlatText());
  }
}

void TLinesMgr::Purge() {
  const auto items = Items();
  for (int i = items->Count() - 1; i >= 0; --i)
    if (items->Get(i)->GetStatus() == rsUnused) items->Delete(i);
  Save(false, 0, 0, false);
}

void TLinesMgr::Save(bool CreateXlat, LCID, LCID, bool) {
  if (CreateXlat && FileExists(FFileName)) {
    TLinesWriter().WriteFromNotes(*FNotesFile, FFileName, Stats()->GetXlatLCID(), 0);
    // The notes must record the new file's date, or the next update takes it for an edit.
    Stats()->SetXlatDateTime(DateOfFile(FFileName));
  }
  FNotesFile->SaveAs(FileNameToNoteName(FFileName));
}

// ---- writer ----

void TLinesWriter::WriteFromNotesFileName(const std::u16string& NotesName,
                                          const std::u16string& XlatName, LCID XlatLCID,
                                          int32_t Reserved) {
  TLinesNotesFile notes;
  if (FileExists(NotesName)) notes.Open(NotesName);
  WriteFromNotes(notes, XlatName, XlatLCID, Reserved);
}

void TLinesWriter::WriteFromNotes(IQEMNotesFile& Notes, const std::u16string& XlatName,
                                  LCID XlatLCID, int32_t) {
  std::map<std::u16string, std::deque<IQEMNotesItemPtr>> byKey;
  const auto items = Notes.GetItems();
  for (int i = 0; i < items->Count(); ++i)
    byKey[items->Get(i)->GetID()].push_back(items->Get(i));
  std::string bytes;
  if (!ReadBytes(XlatName, bytes)) throw EQEMError(u"Cannot read " + XlatName);
  bool bom = false;
  uint32_t cp = 0;
  const std::u16string text = Decode(bytes, XlatName, XlatLCID, bom, cp);
  std::u16string out;
  ForEachLine(text, [&](std::u16string Line, bool Newline) {
    TLine parsed;
    if (ParseLine(Line, parsed)) {
      auto& queue = byKey[parsed.Key];
      if (!queue.empty()) {
        Line.replace(parsed.Begin, parsed.End - parsed.Begin,
                     EscapeText(queue.front()->GetXlatText()));
        queue.pop_front();
      }
    }
    out += Line;
    if (Newline) out += u'\n';
  });
  QEMSaveFileAtomically(XlatName, cp ? WideStringToStringCP(cp, out)
                                     : (bom ? std::string(Bom) : "") + UTF16ToUTF8(out));
}

// ---- updater ----

bool TLinesUpdater::ReadFileStrings(const std::u16string& FileName) {
  FCurrStrings->Clear();
  std::string bytes;
  if (!ReadBytes(FileName, bytes)) return false;
  bool bom = false;
  uint32_t cp = 0;
  const std::u16string text = Decode(bytes, FileName, OrigLCID(), bom, cp);
  ForEachLine(text, [&](const std::u16string& Line, bool) {
    TLine parsed;
    if (ParseLine(Line, parsed)) FCurrStrings->AddPair(parsed.Key, u"", parsed.Text);
  });
  return true;
}

// ---- file type ----

TFileStats TLinesFileType::GetStats(const std::u16string& AFileName, bool PerformCheck) {
  const auto& mgrClass = FTranslator ? FTranslator->GetMgrClass() : LinesMgrClass();
  const auto mgr = mgrClass.Create(AFileName, PerformCheck);
  return mgr->Stats()->GetFileStats();
}

} // namespace hlxtest
