// Any file opened as a notes file: an error or a full read, never a crash; a file that was
// read and saved opens again with the same number of items. A header and a body the fast scans
// of our own layout accept read the same through the document, refusals included.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "FuzzSupport.h"
#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"
#include "platform/QEMDateTime.h"

namespace {
class TFuzzNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".fnt"; }
  std::u16string GetDataType() override { return u"x-fuzz"; }
};

// Dates a read stamps as "now" (a unit without them) differ from read to read.
TDateTime gReadStart = 0;
bool SameDate(TDateTime A, TDateTime B) {
  return A == B || (A >= gReadStart && B >= gReadStart);
}

bool SameItem(IQEMNotesItem& A, IQEMNotesItem& B) {
  if (A.GetID() != B.GetID() || A.GetResName() != B.GetResName() ||
      A.GetOrigText() != B.GetOrigText() || A.GetXlatText() != B.GetXlatText() ||
      A.GetComment() != B.GetComment() || A.GetStatus() != B.GetStatus() ||
      !SameDate(A.GetCreated(), B.GetCreated()) || !SameDate(A.GetModified(), B.GetModified()) ||
      A.GetPrevCount() != B.GetPrevCount())
    return false;
  for (int i = 0; i < A.GetPrevCount(); ++i)
    if (A.GetPrevOrigText(i) != B.GetPrevOrigText(i) ||
        A.GetPrevXlatText(i) != B.GetPrevXlatText(i) ||
        A.GetPrevTagName(i) != B.GetPrevTagName(i) ||
        !SameDate(A.GetPrevModified(i), B.GetPrevModified(i)))
      return false;
  return true;
}

// The file read through the document alone; a refusal there of what was read is a fault too.
void ReadsTheSameThroughTheDocument(const std::u16string& Name, IQEMNotesItems& Items) {
  notesdetail::ScanOwnBodies = false;
  TFuzzNotesFile d;
  try {
    d.Open(Name);
    const auto items = d.GetItems();
    if (items->Count() != Items.Count()) __builtin_trap();
    for (int i = 0; i < Items.Count(); ++i)
      if (!SameItem(*items->Get(i), *Items.Get(i))) __builtin_trap();
  } catch (const EQEMError&) {
    __builtin_trap();
  }
  notesdetail::ScanOwnBodies = true;
}
bool SameNumber(double A, double B) {
  return A == B || (A != A && B != B);
}

// The header opened both ways: the same fields, or the same refusal.
void HeaderReadsTheSameThroughTheDocument(const std::u16string& Name) {
  std::u16string errors[2];
  TFuzzNotesFile files[2];
  for (int way = 0; way < 2; ++way) {
    notesdetail::ScanOwnHeaders = way == 0;
    try {
      files[way].Open(Name);
    } catch (const EQEMError& e) {
      errors[way] = u"!" + e.Message();
    }
  }
  notesdetail::ScanOwnHeaders = true;
  if (errors[0] != errors[1]) __builtin_trap();
  if (!errors[0].empty()) return;
  const TFileStats a = files[0].GetStats()->GetFileStats(), b = files[1].GetStats()->GetFileStats();
  if (a.Version != b.Version || !SameNumber(a.SelfDateTime, b.SelfDateTime) ||
      !SameNumber(a.OrigDateTime, b.OrigDateTime) || !SameNumber(a.XlatDateTime, b.XlatDateTime) ||
      a.Translated != b.Translated || a.UnTranslated != b.UnTranslated ||
      a.OrigLCID != b.OrigLCID || a.XlatLCID != b.XlatLCID || a.OrigFileName != b.OrigFileName ||
      files[0].GetStats()->GetOrigStamp() != files[1].GetStats()->GetOrigStamp())
    __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const auto in = FuzzDir() / "in.fnt", out = FuzzDir() / "out.fnt";
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
  }
  gReadStart = QEMNowUTC();
  HeaderReadsTheSameThroughTheDocument(UTF8ToUTF16(in.string()));
  TFuzzNotesFile f;
  int count = -1;
  try {
    f.Open(UTF8ToUTF16(in.string()));
    count = f.GetItems()->Count();
    ReadsTheSameThroughTheDocument(UTF8ToUTF16(in.string()), *f.GetItems());
    f.SaveAs(UTF8ToUTF16(out.string()));
  } catch (const EQEMError&) {
    return 0;
  }
  TFuzzNotesFile g;
  g.Open(UTF8ToUTF16(out.string()));
  if (g.GetItems()->Count() != count) __builtin_trap();
  HeaderReadsTheSameThroughTheDocument(UTF8ToUTF16(out.string()));
  ReadsTheSameThroughTheDocument(UTF8ToUTF16(out.string()), *g.GetItems());
  return 0;
}
