#include "translator/QEMExchange.h"

#include <unordered_map>

#include "core/QEMIntlUtils.h"
#include "translator/QEMExchangePO.h"
#include "translator/QEMExchangeXliff.h"

namespace {

std::u16string LowerExt(const std::u16string& FileName) {
  const size_t dot = FileName.rfind(u'.');
  const size_t slash = FileName.find_last_of(u"/\\");
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return {};
  std::u16string ext = FileName.substr(dot);
  for (char16_t& c : ext)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  return ext;
}

std::u16string WithoutCR(std::u16string_view S) {
  std::u16string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i)
    if (S[i] != u'\r' || i + 1 >= S.size() || S[i + 1] != u'\n') r += S[i];
  return r;
}

// The notes keep line breaks as CR LF.
std::u16string WithCRLF(std::u16string_view S) {
  std::u16string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == u'\n' && (i == 0 || S[i - 1] != u'\r')) r += u'\r';
    r += S[i];
  }
  return r;
}

bool Exported(TResStatus Status) {
  return Status != rsUnused && Status != rsEgged;
}

// The status a unit's ask makes of an item's status; Current when it asks for none.
TResStatus AskedStatus(TQEMExchangeAsk Ask, TResStatus Current) {
  switch (Ask) {
  case TQEMExchangeAsk::eaTranslated:
    return Current == rsAutoTranslated ? TranslatedStatus : Current;
  case TQEMExchangeAsk::eaHold:
    return rsHold;
  case TQEMExchangeAsk::eaDoNotTranslate:
    return rsDoNotTranslate;
  default:
    return Current;
  }
}

} // namespace

TQEMExchangeFile QEMExchangeFileOf(TQEMTranslatorMgr& Mgr, const std::u16string& Original) {
  TQEMExchangeFile file;
  file.Original = Original;
  const auto stats = Mgr.Stats();
  file.SourceLang = LCIDToLangTag(stats->GetOrigLCID());
  file.TargetLang = LCIDToLangTag(stats->GetXlatLCID());
  const auto items = Mgr.Items();
  for (int i = 0, n = items->Count(); i < n; ++i) {
    const IQEMNotesItemPtr item = items->Get(i);
    if (!Exported(item->GetStatus()) || item->GetOrigText().empty()) continue;
    TQEMExchangeUnit& u = file.Units.emplace_back();
    u.Id = item->GetID();
    u.ResName = item->GetResName();
    u.Source = Mgr.ConvertToRawString(item->GetOrigText());
    u.Target = Mgr.ConvertToRawString(item->GetXlatText());
    u.Status = item->GetStatus();
    u.Comment = item->GetComment();
    // The newest history entry that says what was there before.
    if (item->GetPrevCount() > 0 && !item->GetPrevOrigText(0).empty() &&
        !item->GetPrevXlatText(0).empty()) {
      u.PrevSource = Mgr.ConvertToRawString(item->GetPrevOrigText(0));
      u.PrevTarget = Mgr.ConvertToRawString(item->GetPrevXlatText(0));
    }
  }
  return file;
}

std::u16string QEMExchangeExt(TQEMExchangeFormat Format) {
  return Format == TQEMExchangeFormat::efPO ? u".po" : u".xlf";
}

bool QEMExchangeFormatOf(const std::u16string& FileName, TQEMExchangeFormat& Format) {
  const std::u16string ext = LowerExt(FileName);
  if (ext == u".xlf" || ext == u".xliff") {
    Format = TQEMExchangeFormat::efXliff;
    return true;
  }
  if (ext == u".po") {
    Format = TQEMExchangeFormat::efPO;
    return true;
  }
  return false;
}

std::string QEMExchangeWrite(TQEMExchangeFormat Format, const TQEMExchangeFile& File) {
  return Format == TQEMExchangeFormat::efPO ? QEMPOWrite(File) : QEMXliffWrite(File);
}

std::vector<TQEMExchangeFile>
QEMExchangeRead(TQEMExchangeFormat Format, const std::u16string& FileName, std::string_view Bytes) {
  if (Format == TQEMExchangeFormat::efPO) return {QEMPORead(FileName, Bytes)};
  return QEMXliffRead(FileName, Bytes);
}

bool QEMExchangeSameComment(std::u16string_view A, std::u16string_view B) {
  return WithoutCR(A) == WithoutCR(B);
}

TQEMExchangePlan QEMExchangePlanFor(const TQEMExchangeFile& File, TQEMTranslatorMgr& Mgr) {
  TQEMExchangePlan plan;
  const auto items = Mgr.Items();
  std::unordered_map<std::u16string, int> byId;
  for (int i = 0, n = items->Count(); i < n; ++i)
    byId.try_emplace(items->Get(i)->GetID(), i);
  for (const TQEMExchangeUnit& u : File.Units) {
    const auto found = byId.find(u.Id);
    const IQEMNotesItemPtr item = found == byId.end() ? nullptr : items->Get(found->second);
    if (!item || !Exported(item->GetStatus())) {
      plan.Problems.push_back({u.Line, u.Id, TQEMExchangeProblemKind::epItemGone});
      continue;
    }
    if (u.Source != Mgr.ConvertToRawString(item->GetOrigText())) {
      plan.Problems.push_back({u.Line, u.Id, TQEMExchangeProblemKind::epSourceChanged});
      continue;
    }
    TQEMExchangeChange c;
    c.Index = found->second;
    c.Line = u.Line;
    const bool offersText =
        u.Ask == TQEMExchangeAsk::eaTranslated || u.Ask == TQEMExchangeAsk::eaReview;
    // Only a text that differs from what the item says is an edit: the literal the item holds
    // may be written in more than one way.
    if (offersText && !u.Target.empty() &&
        u.Target != Mgr.ConvertToRawString(item->GetXlatText())) {
      c.SetText = true;
      c.Text = Mgr.ConvertFromRawString(u.Target);
    } else if (const TResStatus s = AskedStatus(u.Ask, item->GetStatus()); s != item->GetStatus()) {
      c.SetStatus = true;
      c.Status = s;
    }
    // A catalogue without a comment says nothing about the item's: it is never cleared.
    if (!u.Comment.empty() && !QEMExchangeSameComment(u.Comment, item->GetComment())) {
      c.SetComment = true;
      c.Comment = WithCRLF(u.Comment);
    }
    if (c.SetText || c.SetStatus || c.SetComment) plan.Changes.push_back(std::move(c));
  }
  return plan;
}
