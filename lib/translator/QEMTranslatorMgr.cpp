#include "translator/QEMTranslatorMgr.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uloc.h>
#include <unicode/unorm2.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "repository/QEMRepositoryService.h"
#include "resources/QEMConst.h"

namespace {

// Registered managers; an item is removed when its manager dies, so the list never dangles.
std::vector<TQEMTranslatorMgr*>& Registry() {
  static std::vector<TQEMTranslatorMgr*> list;
  return list;
}

} // namespace

TQEMTranslatorMgrClass::~TQEMTranslatorMgrClass() = default;

// ---- search ----

// How one language's collator, at one strength, weighs single UTF-16 code units, so that the
// search can rule out most positions without comparing whole substrings. A code unit is firm
// when the first primary weight it gives does not depend on the code units before it in a
// substring; it is plain (Key != 0) when it is firm, gives exactly one collation element, with
// a primary weight, and no neighbour can join or reorder it. Substrings of plain code units
// are equal exactly when their keys are equal one by one, since each unit then adds exactly
// one weight to every level. Contraction starters are firm and plain only as long as the next
// code unit does not continue one of their contractions, which is checked where it matters.
class TQEMCollationTable {
public:
  struct TInfo {
    uint32_t Key = 0;
    uint16_t FirstPrimary = 0; // top 16 bits of the first primary weight; 0: none
    uint8_t Flags = 0;
  };
  static constexpr uint8_t fComputed = 1, fFirm = 2, fStarter = 4;

  TQEMCollationTable(LCID Locale, bool IgnoreCase);
  ~TQEMCollationTable() {
    if (FColl) ucol_close(FColl);
  }
  TQEMCollationTable(const TQEMCollationTable&) = delete;
  TQEMCollationTable& operator=(const TQEMCollationTable&) = delete;

  // False when the tailoring makes weights depend on context beyond contractions (variable
  // characters shifted, numeric ordering): then every position is compared in full.
  bool Fast() const { return FFast; }
  const TInfo& Info(char16_t C) {
    TInfo& info = FInfo[C];
    if (!(info.Flags & fComputed)) Compute(C, info);
    return info;
  }
  // Whether Next may continue a contraction that the starter C begins.
  bool Continues(char16_t C, char16_t Next) const {
    const auto it = FStarters.find(C);
    return it != FStarters.end() &&
           std::ranges::find(it->second.Next, Next) != it->second.Next.end();
  }
  // Whether a contraction the starter C begins may give Primary as its first primary.
  bool MayStartWith(char16_t C, uint16_t Primary) const {
    const auto it = FStarters.find(C);
    return it != FStarters.end() &&
           std::ranges::find(it->second.Primaries, Primary) != it->second.Primaries.end();
  }
  bool Same(std::u16string_view A, std::u16string_view B) const {
    return ucol_strcoll(FColl, reinterpret_cast<const UChar*>(A.data()), int32_t(A.size()),
                        reinterpret_cast<const UChar*>(B.data()), int32_t(B.size())) == UCOL_EQUAL;
  }

  struct TWeights {
    int Elements = 0;            // collation elements, continuations not counted
    uint16_t FirstPrimary = 0;   // of the first element that has a primary weight
    bool LeadingPrimary = false; // the very first element has it
  };
  TWeights Weigh(std::u16string_view S) const;

private:
  struct TStarter {
    std::vector<char16_t> Next;
    std::vector<uint16_t> Primaries;
  };
  void Compute(char16_t C, TInfo& Info);

  UCollator* FColl = nullptr;
  const UNormalizer2* FNFD = nullptr;
  bool FFast = false;
  std::vector<TInfo> FInfo;
  std::unordered_map<char16_t, TStarter> FStarters;
  // Code units whose weights depend on what precedes them (the targets of prefix rules).
  std::unordered_set<char16_t> FAfterPrefix;
  std::unordered_map<std::string, uint32_t> FKeys;
};

namespace {

template <class F> void ForEachString(const USet* Set, F&& Body) {
  std::vector<UChar> buf(32);
  for (int32_t i = 0, n = uset_getItemCount(Set); i < n; ++i) {
    UChar32 first = 0, last = 0;
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = uset_getItem(Set, i, &first, &last, buf.data(), int32_t(buf.size()), &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
      buf.resize(size_t(len) + 1);
      err = U_ZERO_ERROR;
      len = uset_getItem(Set, i, &first, &last, buf.data(), int32_t(buf.size()), &err);
    }
    if (U_SUCCESS(err) && len > 0) Body(std::u16string_view(buf.data(), size_t(len)));
  }
}

struct TUSetCloser {
  void operator()(USet* S) const { uset_close(S); }
};
using TUSetPtr = std::unique_ptr<USet, TUSetCloser>;

// One table per language and strength, kept for the process: building one reads the
// tailoring's contraction list, and every search of the session reuses it.
TQEMCollationTable& CollationTable(LCID Locale, bool IgnoreCase) {
  static std::map<uint64_t, std::unique_ptr<TQEMCollationTable>> tables;
  auto& slot = tables[(uint64_t(IgnoreCase) << 32) | Locale];
  if (!slot) slot = std::make_unique<TQEMCollationTable>(Locale, IgnoreCase);
  return *slot;
}

bool IsContinuation(uint32_t CE) {
  return (CE & 0xC0) == 0xC0;
}

} // namespace

// The collator is configured as the locale-aware comparison configures its own, so both
// answer alike.
TQEMCollationTable::TQEMCollationTable(LCID Locale, bool IgnoreCase) : FInfo(0x10000) {
  std::string locale;
  if (Locale) {
    char buf[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode err = U_ZERO_ERROR;
    uloc_getLocaleForLCID(Locale, buf, sizeof buf, &err);
    if (U_SUCCESS(err)) locale = buf;
  }
  UErrorCode err = U_ZERO_ERROR;
  FColl = ucol_open(locale.c_str(), &err);
  if (U_FAILURE(err) || !FColl) {
    err = U_ZERO_ERROR;
    FColl = ucol_open("", &err);
  }
  if (!FColl) throw EQEMError(std::u16string(SSearchNoCollator));
  ucol_setStrength(FColl, IgnoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
  err = U_ZERO_ERROR;
  FNFD = unorm2_getNFDInstance(&err);
  const bool plainRules =
      ucol_getAttribute(FColl, UCOL_ALTERNATE_HANDLING, &err) == UCOL_NON_IGNORABLE &&
      ucol_getAttribute(FColl, UCOL_NUMERIC_COLLATION, &err) == UCOL_OFF;
  FFast = FNFD && plainRules && U_SUCCESS(err);
  if (!FFast) return;
  TUSetPtr contractions(uset_openEmpty()), withPrefixes(uset_openEmpty());
  ucol_getContractionsAndExpansions(FColl, contractions.get(), nullptr, false, &err);
  ucol_getContractionsAndExpansions(FColl, withPrefixes.get(), nullptr, true, &err);
  if (U_FAILURE(err)) {
    FFast = false;
    return;
  }
  ForEachString(contractions.get(), [&](std::u16string_view S) {
    TStarter& starter = FStarters[S[0]];
    if (S.size() > 1) starter.Next.push_back(S[1]);
    starter.Primaries.push_back(Weigh(S).FirstPrimary);
  });
  // A prefix rule changes the weights of the units after the prefix; the first unit always
  // belongs to the prefix, the rest may be affected.
  ForEachString(withPrefixes.get(), [&](std::u16string_view S) {
    if (uset_containsString(contractions.get(), reinterpret_cast<const UChar*>(S.data()),
                            int32_t(S.size())))
      return;
    for (size_t k = 1; k < S.size(); ++k)
      FAfterPrefix.insert(S[k]);
  });
}

TQEMCollationTable::TWeights TQEMCollationTable::Weigh(std::u16string_view S) const {
  TWeights w;
  UErrorCode err = U_ZERO_ERROR;
  UCollationElements* it =
      ucol_openElements(FColl, reinterpret_cast<const UChar*>(S.data()), int32_t(S.size()), &err);
  if (U_FAILURE(err)) return w;
  for (int32_t ce; (ce = ucol_next(it, &err)) != UCOL_NULLORDER && U_SUCCESS(err);) {
    const uint32_t u = uint32_t(ce);
    if (IsContinuation(u)) continue;
    const uint16_t primary = uint16_t(u >> 16);
    if (primary && !w.FirstPrimary) {
      w.FirstPrimary = primary;
      w.LeadingPrimary = w.Elements == 0;
    }
    ++w.Elements;
  }
  ucol_closeElements(it);
  return w;
}

void TQEMCollationTable::Compute(char16_t C, TInfo& Info) {
  Info.Flags = fComputed;
  if (!FFast || U16_IS_SURROGATE(C) || FAfterPrefix.contains(C)) return;
  // A unit that a preceding mark could be reordered after is not firm.
  if (u_getIntPropertyValue(C, UCHAR_LEAD_CANONICAL_COMBINING_CLASS) != 0) return;
  // A precomposed unit stands for its decomposition: it must not hide a starter or a unit
  // that follows a prefix.
  UChar d[32];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t len = unorm2_getDecomposition(FNFD, C, d, int32_t(std::size(d)), &err);
  for (int32_t k = 0; U_SUCCESS(err) && k < len; ++k)
    if ((d[k] != C && FStarters.contains(d[k])) || FAfterPrefix.contains(d[k])) return;
  if (U_FAILURE(err)) return;
  const TWeights w = Weigh(std::u16string_view(&C, 1));
  if (w.FirstPrimary && !w.LeadingPrimary) return;
  uint8_t flags = fComputed | fFirm;
  if (const auto it = FStarters.find(C); it != FStarters.end()) {
    if (!w.FirstPrimary || std::ranges::find(it->second.Primaries, 0) != it->second.Primaries.end())
      return;
    flags |= fStarter;
  }
  Info.FirstPrimary = w.FirstPrimary;
  Info.Flags = flags;
  if (w.Elements != 1 || !w.FirstPrimary ||
      u_getIntPropertyValue(C, UCHAR_TRAIL_CANONICAL_COMBINING_CLASS) != 0)
    return;
  uint8_t key[64];
  const int32_t n = ucol_getSortKey(FColl, reinterpret_cast<const UChar*>(&C), 1, key, sizeof key);
  if (n <= 0 || n > int32_t(sizeof key)) return;
  const auto [it, added] = FKeys.try_emplace(std::string(reinterpret_cast<char*>(key), size_t(n)),
                                             uint32_t(FKeys.size() + 1));
  Info.Key = it->second;
}

TQEMSearchMatcher::TQEMSearchMatcher(std::u16string_view Pattern, LCID Locale, bool CaseSensitive,
                                     bool WholeWordsOnly)
    : FPattern(Pattern), FWholeWords(WholeWordsOnly),
      FTable(&CollationTable(Locale, !CaseSensitive)) {
  if (FPattern.empty() || !FTable->Fast()) return;
  // A pattern without a primary weight may equal substrings of ignorable units: no filter.
  FFirstPrimary = FTable->Weigh(FPattern).FirstPrimary;
  if (!FFirstPrimary) return;
  const size_t m = FPattern.size();
  FKeys.resize(m);
  FKeysExact = true;
  for (size_t k = 0; k < m && FKeysExact; ++k) {
    const auto& info = FTable->Info(FPattern[k]);
    FKeysExact = info.Key && !((info.Flags & TQEMCollationTable::fStarter) && k + 1 < m &&
                               FTable->Continues(FPattern[k], FPattern[k + 1]));
    FKeys[k] = info.Key;
  }
}

TQEMSearchMatcher::TVerdict TQEMSearchMatcher::CompareKeys(std::u16string_view Text,
                                                           size_t P) const {
  // The first unequal plain unit decides: the units before it gave one weight per level each,
  // so the weights at its place differ whatever follows.
  const size_t m = FPattern.size();
  for (size_t k = 0; k < m; ++k) {
    const char16_t c = Text[P + k];
    const auto& info = FTable->Info(c);
    if (!info.Key) return TVerdict::vAsk;
    // A starter followed by what may join it, or by a mark a contraction may reach over.
    if ((info.Flags & TQEMCollationTable::fStarter) && k + 1 < m &&
        (FTable->Continues(c, Text[P + k + 1]) || !FTable->Info(Text[P + k + 1]).Key))
      return TVerdict::vAsk;
    if (info.Key != FKeys[k]) return TVerdict::vNo;
  }
  return TVerdict::vYes;
}

bool TQEMSearchMatcher::Same(std::u16string_view Window) const {
  return FTable->Same(FPattern, Window);
}

void TQEMSearchMatcher::FindAll(std::u16string_view Text, std::vector<int32_t>& Positions) const {
  const size_t n = Text.size(), m = FPattern.size();
  if (m == 0 || n < m) return;
  using T = TQEMCollationTable;
  for (size_t p = 0; p + m <= n; ++p) {
    if (FFirstPrimary) {
      // Equal substrings have equal primary weights, so the substring's first primary weight
      // must be the pattern's. Leading ignorable units give none and are passed over.
      size_t q = p;
      const T::TInfo* info = &FTable->Info(Text[q]);
      while ((info->Flags & T::fFirm) && !info->FirstPrimary && ++q < p + m)
        info = &FTable->Info(Text[q]);
      if (q == p + m) continue;
      if ((info->Flags & T::fFirm) && info->FirstPrimary != FFirstPrimary &&
          !((info->Flags & T::fStarter) && FTable->MayStartWith(Text[q], FFirstPrimary)))
        continue;
    }
    if (FWholeWords && !IsWholeWordW(Text, int(p), int(p + m + 1))) continue;
    TVerdict v = FKeysExact ? CompareKeys(Text, p) : TVerdict::vAsk;
    if (v == TVerdict::vAsk) v = Same(Text.substr(p, m)) ? TVerdict::vYes : TVerdict::vNo;
    if (v == TVerdict::vYes) Positions.push_back(int32_t(p));
  }
}

// What one search prepared: a matcher per language and the results of texts that many items
// share (status names, date-times), matched once per search.
struct TQEMSearchState {
  std::unique_ptr<TQEMSearchMatcher> Orig, Xlat, Other;
  const TQEMSearchMatcher* ByColumn[QEMColIdHigh + 1] = {};
  struct TShared {
    std::u16string Text;
    std::vector<int32_t> Positions;
  };
  std::unordered_map<uint64_t, TShared> Shared[QEMColIdHigh + 1];
};

namespace {

// The columns whose text many items share (status, dates) are matched once per value: Key.
bool SharedKey(const IQEMNotesItem& Item, TQEMAllColId Col, uint64_t& Key) {
  if (Col == idColStatus) {
    Key = Item.GetStatus();
    return true;
  }
  if (Col != idColCreated && Col != idColModified) return false;
  const TDateTime t = Col == idColCreated ? Item.GetCreated() : Item.GetModified();
  std::memcpy(&Key, &t, sizeof Key);
  return true;
}

const TQEMSearchState::TShared&
SharedMatches(std::unordered_map<uint64_t, TQEMSearchState::TShared>& Cache, uint64_t Key,
              const IQEMNotesItem& Item, TQEMAllColId Col, const TQEMSearchMatcher& Matcher,
              bool IgnorePickLetters) {
  auto it = Cache.find(Key);
  if (it != Cache.end()) return it->second;
  // Item dates seldom repeat less than this; a file of distinct dates stays bounded.
  if (Cache.size() >= 0x10000) Cache.clear();
  TQEMSearchState::TShared entry;
  entry.Text = QEMItemColumnText(Item, Col);
  if (IgnorePickLetters) entry.Text = TrimPickLetter(entry.Text);
  Matcher.FindAll(entry.Text, entry.Positions);
  return Cache.emplace(Key, std::move(entry)).first->second;
}

} // namespace

TQEMTranslatorMgr::TQEMTranslatorMgr(const TQEMTranslatorMgrClass& AClass) : FClass(AClass) {
  FNotesFile = std::dynamic_pointer_cast<IQEMNotesFile>(AClass.GetNotesClass().Create());
  if (!FNotesFile) throw EQEMError(std::u16string(SMgrNoNotesClass));
  FSearchSettings = std::make_unique<TQEMSearchSettings>();
  Registry().push_back(this);
}

TQEMTranslatorMgr::~TQEMTranslatorMgr() {
  std::erase(Registry(), this);
}

int32_t TQEMTranslatorMgr::GetItemCount(TResStatuses Statuses) {
  const auto items = Items();
  int32_t n = 0;
  for (int i = 0, c = items->Count(); i < c; ++i)
    if (Statuses.Contains(items->Get(i)->GetStatus())) ++n;
  return n;
}

void TQEMTranslatorMgr::AddItemToRepository(int Index) {
  const auto item = Items()->Get(Index);
  QEMRepositoryServices().SetTranslation(ConvertToRawString(item->GetOrigText()),
                                         ConvertToRawString(item->GetXlatText()));
}

std::u16string TQEMTranslatorMgr::GetItemFromRepository(int Index) {
  const auto item = Items()->Get(Index);
  auto& services = QEMRepositoryServices();
  // Without a seed the services answer a miss with the original, which would overwrite the
  // translation: a miss keeps the item's own translation.
  services.SetSeed(ConvertToRawString(item->GetXlatText()));
  std::u16string result;
  services.GetTranslation(ConvertToRawString(item->GetOrigText()), result);
  return ConvertFromRawString(result);
}

bool TQEMTranslatorMgr::IsLineVisible(int) {
  return true;
}
bool TQEMTranslatorMgr::IsStorable(int) {
  return true;
}
bool TQEMTranslatorMgr::IsStringType(int) {
  return true;
}
void TQEMTranslatorMgr::RecreateXlat() {}
std::u16string TQEMTranslatorMgr::ConvertFromRawString(const std::u16string& S) {
  return FClass.ConvertFromRawString(S);
}
std::u16string TQEMTranslatorMgr::ConvertToRawString(const std::u16string& S) {
  return FClass.ConvertToRawString(S);
}
std::u16string TQEMTranslatorMgr::FileNameToNoteName(const std::u16string& AFileName) {
  return FClass.FileNameToNoteName(AFileName);
}
const TQEMBaseNotesFileClass& TQEMTranslatorMgr::GetNotesClass() {
  return FClass.GetNotesClass();
}

void TQEMTranslatorMgr::InitRepositoryServices() {
  auto& services = QEMRepositoryServices();
  services.Init();
  const auto stats = Stats();
  services.SetOrigLCID(stats->GetOrigLCID());
  services.SetXlatLCID(stats->GetXlatLCID());
}

void TQEMTranslatorMgr::WithContext(bool UseContext, int Index, const std::function<void()>& Body) {
  auto& services = QEMRepositoryServices();
  if (UseContext) services.SetContextID(FFileName + u":" + Items()->Get(Index)->GetID());
  try {
    Body();
  } catch (...) {
    if (UseContext) services.SetContextID(u"");
    throw;
  }
  if (UseContext) services.SetContextID(u"");
}

bool TQEMTranslatorMgr::ApplyComment(IQEMNotesItem& Item, bool Comment, bool CommentAction,
                                     const std::u16string& CommentString) {
  if (!Comment || CommentString.empty()) return false;
  std::u16string c = Item.GetComment();
  const auto p = c.find(CommentString);
  if (CommentAction && p == std::u16string::npos)
    c += CommentString;
  else if (!CommentAction && p != std::u16string::npos)
    c.erase(p, CommentString.size());
  else
    return false;
  Item.SetComment(c);
  return true;
}

void TQEMTranslatorMgr::AddToRepository(const TQEMAddToRepositoryData& Data) {
  InitRepositoryServices();
  auto& services = QEMRepositoryServices();
  const auto items = Items();
  for (int i = 0; i < items->Count() && !services.UserCanceled(); ++i) {
    const auto item = items->Get(i);
    if (!IsStorable(i) || !Data.Status.Contains(item->GetStatus())) continue;
    const bool same = item->GetXlatText() == item->GetOrigText();
    if ((Data.ValueType == 0 && same) || (Data.ValueType == 1 && !same) || Data.ValueType < 0 ||
        Data.ValueType > 2)
      continue;
    if (Data.Comment && !Data.CommentString.empty()) {
      const bool has = item->GetComment().find(Data.CommentString) != std::u16string::npos;
      if (has != Data.CommentAction) continue;
    }
    WithContext(Data.IncludeContext, i, [&] { AddItemToRepository(i); });
  }
}

void TQEMTranslatorMgr::GetFromRepository(const TQEMGetFromRepositoryData& Data) {
  InitRepositoryServices();
  auto& services = QEMRepositoryServices();
  const auto items = Items();
  bool changed = false;
  for (int i = 0; i < items->Count() && !services.UserCanceled(); ++i) {
    const auto item = items->Get(i);
    if (!IsStorable(i) || !Data.CurrentStatus.Contains(item->GetStatus())) continue;
    services.SetComment(item->GetComment());
    std::u16string found;
    WithContext(Data.UseContext, i, [&] { found = GetItemFromRepository(i); });
    // A miss leaves the translation exactly as it was, not passed through the conversions.
    if (services.FromRepository()) item->SetXlatText(found);
    if (!services.UserSkipped() && !services.UserCanceled()) item->SetComment(services.Comment());
    if (services.FromRepository()) {
      item->SetStatus(Data.NewStatus);
      item->SetModified(QEMNow());
      ApplyComment(*item, Data.Comment, Data.CommentAction, Data.CommentString);
      changed = true;
    }
  }
  if (changed) Save(true, 0, 0, false);
}

void TQEMTranslatorMgr::ChangeStatus(const TQEMChangeStatusData& Data) {
  InitRepositoryServices();
  auto& services = QEMRepositoryServices();
  const auto items = Items();
  bool changed = false;
  for (int i = 0; i < items->Count(); ++i) {
    const auto item = items->Get(i);
    if (!Data.CurrentStatus.Contains(item->GetStatus())) continue;
    if (Data.UseRepository) {
      if (services.UserCanceled()) break;
      // Only asks whether the repository holds the item; the text found is not stored.
      WithContext(Data.UseContext, i, [&] { GetItemFromRepository(i); });
      if (!services.FoundInRepository()) continue;
    }
    item->SetStatus(Data.NewStatus);
    if (Data.Revert) {
      item->SetXlatText(item->GetOrigText());
      item->SetModified(QEMNow());
    }
    ApplyComment(*item, Data.Comment, Data.CommentAction, Data.CommentString);
    changed = true;
  }
  if (changed) Save(true, 0, 0, false);
}

void TQEMTranslatorMgr::CalcStats(int32_t& Translated, int32_t& Untranslated) {
  Translated = GetItemCount(QEMTranslatedStatuses);
  Untranslated = GetItemCount(QEMUnTranslatedStatuses);
}

void TQEMTranslatorMgr::ReCalcStats(int32_t& Translated, int32_t& Untranslated) {
  const auto items = Items();
  for (int i = 0, c = items->Count(); i < c; ++i) {
    const auto item = items->Get(i);
    if (item->GetStatus() == rsUnTranslated && item->GetXlatText() != item->GetOrigText())
      item->SetStatus(TranslatedStatus);
  }
  CalcStats(Translated, Untranslated);
}

const std::vector<TQEMTranslatorMgr*>& QEMTranslatorMgrs() {
  return Registry();
}

TQEMTranslatorMgr* FindMgr(const std::u16string& FileName) {
  for (auto* mgr : Registry())
    if (QEMSameFileName(mgr->FileName(), FileName) && FileExists(mgr->FileNameToNoteName(FileName)))
      return mgr;
  return nullptr;
}

std::u16string QEMItemColumnText(const IQEMNotesItem& Item, TQEMAllColId Col) {
  switch (Col) {
  case idColId:
    return Item.GetID();
  case idColOrig:
    return Item.GetOrigText();
  case idColStatus:
    return QEMStatusToString(Item.GetStatus());
  case idColCurr:
    return Item.GetXlatText();
  case idColCreated:
    return QEMDateTimeToStr(Item.GetCreated());
  case idColModified:
    return QEMDateTimeToStr(Item.GetModified());
  case idColPrevOrig:
    return Item.GetPrevCount() > 0 ? Item.GetPrevOrigText(0) : std::u16string();
  case idColPrevCurr:
    return Item.GetPrevCount() > 0 ? Item.GetPrevXlatText(0) : std::u16string();
  case idColComment:
    return Item.GetComment();
  default:
    return {};
  }
}

int32_t StrToStatusOrd(const std::u16string& S) {
  return QEMStatusFromString(S);
}

void TQEMTranslatorMgr::InitSearchLocale() {
  const TQEMSearchSettings& s = *FSearchSettings;
  auto state = std::make_unique<TQEMSearchState>();
  auto matcher = [&](LCID Locale) {
    return std::make_unique<TQEMSearchMatcher>(s.Pattern, Locale, s.CaseSensitive,
                                               s.WholeWordsOnly);
  };
  state->Orig = matcher(s.OrigLCID);
  state->Xlat = matcher(s.XlatLCID);
  state->Other = matcher(QEMUserDefaultLCID());
  for (int c = QEMColIdLow; c <= QEMColIdHigh; ++c)
    state->ByColumn[c] = state->Other.get();
  state->ByColumn[idColOrig] = state->ByColumn[idColPrevOrig] = state->Orig.get();
  state->ByColumn[idColCurr] = state->ByColumn[idColPrevCurr] = state->Xlat.get();
  FSearchState = std::move(state);
}

int32_t TQEMTranslatorMgr::Search() {
  // A handler may change the settings while the search runs: it runs with a copy.
  const TQEMSearchSettings s = *FSearchSettings;
  const std::u16string name = s.Name.empty() ? FFileName : s.Name;
  FSearchCount = 0;
  bool go = true;
  if (OnSearchStart) OnSearchStart(this, s.Pattern, name, go);
  if (go && !s.Pattern.empty()) {
    InitSearchLocale();
    TQEMSearchState& state = *FSearchState;
    const auto items = Items();
    std::vector<int32_t> positions;
    std::u16string text;
    auto report = [&](const std::u16string& Text, const std::vector<int32_t>& Positions,
                      TQEMAllColId Col, int Index, int Display) {
      for (const int32_t p : Positions) {
        ++FSearchCount;
        FSearchSettings->CurrCol = Col;
        FSearchSettings->CurrLine = Index;
        if (OnSearchFound)
          OnSearchFound(this, s.Pattern, Text, name, Col, Index, Display, p + 1, s.OrigLCID,
                        s.XlatLCID, go);
        if (!go) return;
      }
    };
    auto visit = [&](int Index, int Display) {
      const IQEMNotesItemPtr item = items->Get(Index);
      for (int c = idColId; c <= QEMColIdHigh && go; ++c) {
        const auto col = TQEMAllColId(c);
        if (!s.Columns.Empty() && !s.Columns.Contains(col)) continue;
        const TQEMSearchMatcher& matcher = *state.ByColumn[c];
        uint64_t shared = 0;
        if (SharedKey(*item, col, shared)) {
          const auto& found =
              SharedMatches(state.Shared[c], shared, *item, col, matcher, s.IgnorePickLetters);
          if (!found.Positions.empty()) report(found.Text, found.Positions, col, Index, Display);
          continue;
        }
        text = QEMItemColumnText(*item, col);
        if (s.IgnorePickLetters && text.find(u'&') != std::u16string::npos)
          text = TrimPickLetter(text);
        positions.clear();
        matcher.FindAll(text, positions);
        if (!positions.empty()) report(text, positions, col, Index, Display);
      }
    };
    if (!s.Lines.empty()) {
      for (size_t k = 0; k < s.Lines.size() && go; ++k)
        if (s.Lines[k] >= 0 && s.Lines[k] < items->Count()) visit(s.Lines[k], -1);
    } else {
      int display = 0;
      for (int i = 0; i < items->Count() && go; ++i)
        if (IsLineVisible(i) && (!SearchLineVisible || SearchLineVisible(i))) visit(i, ++display);
    }
    // The shared texts belong to this run; a file of distinct dates would otherwise keep them.
    for (auto& shared : state.Shared)
      shared.clear();
  }
  bool ignored = true;
  if (OnSearchEnd) OnSearchEnd(this, s.Pattern, name, FSearchCount, ignored);
  return FSearchCount;
}
