#include "settings/QEMINTOptionProp.h"

#include <algorithm>
#include <limits>

#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"
#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"

int QEMINTOptionMask = 2;
TQEMINTOptionProps* QEMINTOptionProps = nullptr;

int QEMNewStatusIndex(TResStatus Status) {
  const auto it = std::find(QEMNewStatusList.begin(), QEMNewStatusList.end(), Status);
  return it == QEMNewStatusList.end() ? -1 : int(it - QEMNewStatusList.begin());
}

TResStatus QEMNewStatusAt(int Index, TResStatus Default) {
  if (Index < 0 || Index >= int(QEMNewStatusList.size())) return Default;
  return QEMNewStatusList[size_t(Index)];
}

// ---------------------------------------------------------------------------------------------
// TQEMPropertySet

TQEMPropertySet::TQEMPropertySet(std::u16string Name, int Tag) : FName(std::move(Name)), FTag(Tag) {
  // Room for the largest of the sets the options define, so that defining them moves nothing.
  FFields.reserve(12);
}

void TQEMPropertySet::AddField(std::u16string FieldName, std::u16string ValueName,
                               TQEMOptionType Type, int32_t Min, int32_t Max, int32_t Default,
                               std::function<int32_t()> Get, std::function<void(int32_t)> Set) {
  TField& f = FFields.emplace_back();
  f.FieldName = std::move(FieldName);
  f.ValueName = std::move(ValueName);
  f.Type = Type;
  f.Min = Min;
  f.Max = Max;
  f.DefaultInt = Default;
  f.Get = std::move(Get);
  f.Set = std::move(Set);
}

void TQEMPropertySet::AddBoolean(std::u16string FieldName, std::u16string ValueName, bool& Field,
                                 bool Default) {
  AddField(
      std::move(FieldName), std::move(ValueName), TQEMOptionType::otBoolean, 0, 1, Default ? 1 : 0,
      [&Field] { return Field ? 1 : 0; }, [&Field](int32_t V) { Field = V != 0; });
}

void TQEMPropertySet::AddInteger(std::u16string FieldName, std::u16string ValueName, int32_t& Field,
                                 int32_t Default) {
  AddField(
      std::move(FieldName), std::move(ValueName), TQEMOptionType::otInteger,
      std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), Default,
      [&Field] { return Field; }, [&Field](int32_t V) { Field = V; });
}

void TQEMPropertySet::AddNewStatus(std::u16string FieldName, std::u16string ValueName,
                                   TResStatus& Field, TResStatus Default) {
  const int def = QEMNewStatusIndex(Default);
  AddField(
      std::move(FieldName), std::move(ValueName), TQEMOptionType::otEnumeration, 0,
      int(QEMNewStatusList.size()) - 1, def,
      // A status the list lacks cannot be stored; the default stands in for it.
      [&Field, def] {
        const int i = QEMNewStatusIndex(Field);
        return i < 0 ? def : i;
      },
      [&Field](int32_t V) { Field = QEMNewStatusAt(V); });
}

void TQEMPropertySet::AddText(std::u16string FieldName, std::u16string ValueName,
                              std::u16string& Field, std::u16string Default) {
  TField& f = FFields.emplace_back();
  f.FieldName = std::move(FieldName);
  f.ValueName = std::move(ValueName);
  f.Type = TQEMOptionType::otText;
  f.DefaultText = std::move(Default);
  f.Text = &Field;
}

void TQEMPropertySet::SetTextDefault(const std::u16string& FieldName, std::u16string Default) {
  for (auto& f : FFields)
    if (f.Text && f.FieldName == FieldName) {
      f.DefaultText = std::move(Default);
      return;
    }
}

int TQEMPropertySet::IndexOf(const std::u16string& FieldName) const {
  for (size_t i = 0; i < FFields.size(); ++i)
    if (FFields[i].FieldName == FieldName) return int(i);
  return -1;
}

int32_t TQEMPropertySet::GetValue(int Index) const {
  const TField& f = FFields.at(size_t(Index));
  return f.Text ? 0 : f.Get();
}

bool TQEMPropertySet::SetValue(int Index, int32_t Value) {
  const TField& f = FFields.at(size_t(Index));
  if (f.Text || Value < f.Min || Value > f.Max) return false;
  f.Set(Value);
  return true;
}

const std::u16string& TQEMPropertySet::GetText(int Index) const {
  static const std::u16string none;
  const TField& f = FFields.at(size_t(Index));
  return f.Text ? *f.Text : none;
}

void TQEMPropertySet::SetText(int Index, std::u16string Value) {
  const TField& f = FFields.at(size_t(Index));
  if (f.Text) *f.Text = std::move(Value);
}

void TQEMPropertySet::AssignValues(const TQEMPropertySet& Source) {
  if (&Source == this) return;
  if (Source.FFields.size() != FFields.size())
    throw EQEMError(Format(SOptionSetMismatch, FName, Source.FName));
  for (size_t i = 0; i < FFields.size(); ++i) {
    const TField& from = Source.FFields[i];
    const TField& to = FFields[i];
    if (from.FieldName != to.FieldName || bool(from.Text) != bool(to.Text))
      throw EQEMError(Format(SOptionSetMismatch, FName, Source.FName));
    if (to.Text)
      *to.Text = *from.Text;
    else
      to.Set(from.Get());
  }
}

void TQEMPropertySet::Reset() {
  for (auto& f : FFields) {
    if (f.Text)
      *f.Text = f.DefaultText;
    else
      f.Set(f.DefaultInt);
  }
}

void TQEMPropertySet::Load(TQEMRegistry& Registry) {
  if (!Registry.OpenKeyReadOnly(FKey)) {
    Reset();
    return;
  }
  for (auto& f : FFields) {
    if (f.Text) {
      *f.Text = Registry.SafeReadStr(f.ValueName, f.DefaultText);
      continue;
    }
    // Read wide so a stored value beyond 32 bits cannot wrap into range.
    int64_t v = f.DefaultInt;
    switch (Registry.GetDataType(f.ValueName)) {
    case TRegDataType::rdInteger:
      v = Registry.ReadInteger(f.ValueName);
      break;
    case TRegDataType::rdString:
      v = Registry.SafeReadInt(f.ValueName, f.DefaultInt);
      break;
    default:
      break;
    }
    f.Set(v >= f.Min && v <= f.Max ? int32_t(v) : f.DefaultInt);
  }
}

void TQEMPropertySet::Save(TRegistry& Registry) const {
  if (!Registry.OpenKey(FKey, true)) throw ERegistryException(Format(SRegCreateFailed, FKey));
  for (const auto& f : FFields) {
    if (f.Text)
      Registry.WriteString(f.ValueName, *f.Text);
    else
      Registry.WriteInteger(f.ValueName, f.Get());
  }
}

// ---------------------------------------------------------------------------------------------
// TQEMHistoryManager

void TQEMHistoryManager::SetMaxCount(int Value) {
  FMaxCount = std::max(1, Value);
  for (auto& [key, list] : FLists)
    list.Items = Bound(list.Items);
}

std::vector<std::u16string>
TQEMHistoryManager::Bound(const std::vector<std::u16string>& Items) const {
  std::vector<std::u16string> r;
  for (const auto& s : Items) {
    if (int(r.size()) >= FMaxCount) break;
    if (s.empty() || std::find(r.begin(), r.end(), s) != r.end()) continue;
    r.push_back(s);
  }
  return r;
}

TQEMHistoryManager::TList* TQEMHistoryManager::Find(const std::u16string& Name) {
  auto it = FLists.find(QEMFoldCase(Name));
  return it == FLists.end() ? nullptr : &it->second;
}

const TQEMHistoryManager::TList* TQEMHistoryManager::Find(const std::u16string& Name) const {
  auto it = FLists.find(QEMFoldCase(Name));
  return it == FLists.end() ? nullptr : &it->second;
}

std::vector<std::u16string> TQEMHistoryManager::GetHistory(const std::u16string& Name) const {
  const TList* l = Find(Name);
  return l ? l->Items : std::vector<std::u16string>{};
}

void TQEMHistoryManager::AddHistory(const std::u16string& Name, const std::u16string& Item) {
  if (Item.empty()) return;
  std::vector<std::u16string> items{Item};
  if (const TList* l = Find(Name)) items.insert(items.end(), l->Items.begin(), l->Items.end());
  SetHistory(Name, items);
}

void TQEMHistoryManager::SetHistory(const std::u16string& Name,
                                    const std::vector<std::u16string>& Items) {
  // A name with a backslash would become a nested key and never be found again.
  if (Name.empty() || Name.find(u'\\') != std::u16string::npos)
    throw ERegistryException(Format(SRegCreateFailed, FKey + u"\\" + Name));
  TList& l = FLists[QEMFoldCase(Name)];
  if (l.Name.empty()) l.Name = Name;
  l.Items = Bound(Items);
}

void TQEMHistoryManager::ClearHistory(const std::u16string& Name) {
  FLists.erase(QEMFoldCase(Name));
}

void TQEMHistoryManager::Clear() {
  FLists.clear();
}

std::vector<std::u16string> TQEMHistoryManager::ListNames() const {
  std::vector<std::u16string> r;
  for (const auto& [key, list] : FLists)
    r.push_back(list.Name);
  return r;
}

void TQEMHistoryManager::Load(TQEMRegistry& Registry) {
  std::map<std::u16string, TList> lists;
  if (Registry.OpenKeyReadOnly(FKey)) {
    for (const auto& name : Registry.GetKeyNames()) {
      TQEMRegistry r(Registry.Hive());
      if (!r.OpenKeyReadOnly(FKey + u"\\" + name)) continue;
      std::vector<std::u16string> items;
      for (int i = 0; i < FMaxCount; ++i) {
        const std::u16string v = IntToStr(i);
        if (!r.ValueExists(v)) break;
        items.push_back(r.SafeReadStr(v, {}));
      }
      lists[QEMFoldCase(name)] = TList{name, Bound(items)};
    }
  }
  FLists = std::move(lists);
}

void TQEMHistoryManager::Save(TRegistry& Registry) const {
  // Rewritten whole, so lists that were cleared or shortened leave nothing behind.
  Registry.DeleteKey(FKey);
  if (!Registry.OpenKey(FKey, true)) throw ERegistryException(Format(SRegCreateFailed, FKey));
  for (const auto& [key, list] : FLists) {
    if (!Registry.OpenKey(FKey + u"\\" + list.Name, true))
      throw ERegistryException(Format(SRegCreateFailed, FKey + u"\\" + list.Name));
    for (size_t i = 0; i < list.Items.size(); ++i)
      Registry.WriteString(IntToStr(int64_t(i)), list.Items[i]);
  }
}

// ---------------------------------------------------------------------------------------------
// TQEMINTOptionProps

TQEMINTOptionProps::TQEMINTOptionProps(int Mask) : TQEMINTOptionProps(Mask, TNoLoad{}) {
  LoadOptions();
}

TQEMINTOptionProps::TQEMINTOptionProps(int Mask, TNoLoad)
    : FMask(Mask), FBaseKey(QEMBaseRegKey()),
      FRepositoryFilenameDefault(QEMBinDir() + u"default.tmx") {
  RepositoryFilename = FRepositoryFilenameDefault;
  FSets = {&QEMPropSet,
           &HLXPropSet,
           &CommonPropSet,
           &FormDesignerPropSet,
           &AddToRepositoryPropSet,
           &ChangeStatusPropSet,
           &GetFromRepositoryPropSet,
           &PascalPropSet,
           &RepositoryPropSet,
           &RepositorySearchPropSet,
           &QualityWarningsPropSet};
  DefineFields();
  for (auto* s : FSets)
    s->SetKey(FBaseKey + u"\\" + s->Name());
  QEMHistoryManager.SetKey(FBaseKey + u"\\History Lists");
}

std::unique_ptr<TQEMINTOptionProps> TQEMINTOptionProps::Clone() const {
  std::unique_ptr<TQEMINTOptionProps> c(new TQEMINTOptionProps(FMask, TNoLoad{}));
  c->Assign(*this);
  return c;
}

void TQEMINTOptionProps::Assign(const TQEMINTOptionProps& Source) {
  if (&Source == this) return;
  FMask = Source.FMask;
  FBaseKey = Source.FBaseKey;
  FRepositoryFilenameDefault = Source.FRepositoryFilenameDefault;
  for (size_t i = 0; i < FSets.size(); ++i) {
    FSets[i]->SetKey(Source.FSets[i]->Key());
    for (int f = 0; f < FSets[i]->Count(); ++f)
      if (FSets[i]->FieldType(f) == TQEMOptionType::otText)
        FSets[i]->SetTextDefault(FSets[i]->FieldName(f), Source.FSets[i]->DefaultText(f));
  }
  AssignValues(Source);
}

void TQEMINTOptionProps::AssignValues(const TQEMINTOptionProps& Source) {
  for (size_t i = 0; i < FSets.size(); ++i)
    FSets[i]->AssignValues(*Source.FSets[i]);
  QEMHistoryManager = Source.QEMHistoryManager;
  FIsModified = Source.FIsModified;
}

void TQEMINTOptionProps::SaveEdited(const TQEMINTOptionProps& Edited) {
  if (&Edited != this) {
    const std::unique_ptr<TQEMINTOptionProps> before = Clone();
    // The edited copy may come from another run mode; this object keeps its own keys.
    const std::u16string historyKey = QEMHistoryManager.Key();
    AssignValues(Edited);
    QEMHistoryManager.SetKey(historyKey);
    if (RepositoryFilename.empty()) RepositoryFilename = FRepositoryFilenameDefault;
    try {
      SaveOptions();
    } catch (...) {
      AssignValues(*before);
      throw;
    }
    return;
  }
  if (RepositoryFilename.empty()) RepositoryFilename = FRepositoryFilenameDefault;
  SaveOptions();
}

TQEMPropertySet* TQEMINTOptionProps::FindPropertySet(const std::u16string& Name) const {
  for (auto* s : FSets)
    if (s->Name() == Name) return s;
  return nullptr;
}

void TQEMINTOptionProps::DefineFields() {
  auto& q = QEMPropSet;
  q.AddBoolean(u"AutomaticallyCompileProjects", u"Automatically Compile Projects",
               AutomaticallyCompileProjects, false);
  q.AddBoolean(u"ShowTranslationManagerAfterVUD", u"Show Translation Manager After VUD",
               ShowTranslationManagerAfterVUD, true);

  auto& h = HLXPropSet;
  h.AddText(u"EditorFilename", u"EditorFilename", EditorFilename, u"notepad.exe");
  h.AddInteger(u"HLXHeight", u"Height", HLXHeight, 0);
  h.AddInteger(u"HLXLeft", u"Left", HLXLeft, 0);
  h.AddInteger(u"HLXTop", u"Top", HLXTop, 0);
  h.AddInteger(u"HLXWidth", u"Width", HLXWidth, 0);

  auto& c = CommonPropSet;
  c.AddBoolean(u"AutomaticallyQueryRepository", u"Automatically Query Repository",
               AutomaticallyQueryRepository, true);
  c.AddBoolean(u"AutomaticQuoteStrings", u"Automatically Quote Strings", AutomaticQuoteStrings,
               true);
  c.AddBoolean(u"AutomaticSaveFiles", u"Automatically Save Files", AutomaticSaveFiles, false);
  c.AddBoolean(u"UseNewlyTranslated", u"UseNewlyTranslated", UseNewlyTranslated, false);
  c.AddBoolean(u"HideEmptyItems", u"HideEmptyItems", HideEmptyItems, false);

  auto& f = FormDesignerPropSet;
  f.AddBoolean(u"DisplayGrid", u"Display Grid", DisplayGrid, true);
  f.AddBoolean(u"SnapToGrid", u"Snap to Grid", SnapToGrid, true);
  f.AddInteger(u"GridSizeX", u"Grid Size X", GridSizeX, 8);
  f.AddInteger(u"GridSizeY", u"Grid Size Y", GridSizeY, 8);

  DefineActionFields();
  DefineRepositoryFields();
}

// The batch actions: add to and get from the repository, change the status.
void TQEMINTOptionProps::DefineActionFields() {
  auto& a = AddToRepositoryPropSet;
  a.AddBoolean(u"AddToRepositoryTranslated", u"Translated", AddToRepositoryTranslated, true);
  a.AddBoolean(u"AddToRepositoryUntranslated", u"Untranslated", AddToRepositoryUntranslated, true);
  a.AddBoolean(u"AddToRepositoryNewlyTranslated", u"NewlyTranslated",
               AddToRepositoryNewlyTranslated, true);
  a.AddBoolean(u"AddToRepositoryHold", u"Hold", AddToRepositoryHold, false);
  a.AddBoolean(u"AddToRepositoryDoNotTranslate", u"DoNotTranslate", AddToRepositoryDoNotTranslate,
               false);
  a.AddBoolean(u"AddToRepositoryUnused", u"Unused", AddToRepositoryUnused, false);
  a.AddEnumeration(u"AddToRepositoryDuplicateAction", u"DuplicateAction",
                   AddToRepositoryDuplicateAction, daDisplayList, QEMDuplicateActionCount);
  a.AddBoolean(u"AddToRepositoryIncludeContext", u"IncludeContext", AddToRepositoryIncludeContext,
               false);
  a.AddEnumeration(u"AddToRepositoryValue", u"Value", AddToRepositoryValue, avDontCare,
                   QEMAddToRepositoryValueCount);
  a.AddBoolean(u"AddToRepositoryComment", u"Comment", AddToRepositoryComment, false);
  a.AddBoolean(u"AddToRepositoryCommentAction", u"CommentAction", AddToRepositoryCommentAction,
               true);

  auto& s = ChangeStatusPropSet;
  s.AddBoolean(u"ChangeStatusUntranslated", u"Untranslated", ChangeStatusUntranslated, true);
  s.AddBoolean(u"ChangeStatusTranslated", u"Translated", ChangeStatusTranslated, true);
  s.AddBoolean(u"ChangeStatusAutoTranslated", u"AutoTranslated", ChangeStatusAutoTranslated, true);
  s.AddBoolean(u"ChangeStatusNewlyTranslated", u"NewlyTranslated", ChangeStatusNewlyTranslated,
               true);
  s.AddBoolean(u"ChangeStatusHold", u"Hold", ChangeStatusHold, true);
  s.AddBoolean(u"ChangeStatusDoNotTranslate", u"DoNotTranslate", ChangeStatusDoNotTranslate, false);
  s.AddNewStatus(u"ChangeStatusNewStatus", u"NewStatus", ChangeStatusNewStatus, rsUnTranslated);
  s.AddBoolean(u"ChangeStatusRevertToOriginal", u"RevertToOriginal", ChangeStatusRevertToOriginal,
               false);
  s.AddBoolean(u"ChangeStatusUseRepository", u"UseRepository", ChangeStatusUseRepository, false);
  s.AddBoolean(u"ChangeStatusUseContext", u"UseContext", ChangeStatusUseContext, false);
  s.AddBoolean(u"ChangeStatusComment", u"Comment", ChangeStatusComment, false);
  s.AddBoolean(u"ChangeStatusCommentAction", u"CommentAction", ChangeStatusCommentAction, true);

  auto& g = GetFromRepositoryPropSet;
  g.AddBoolean(u"GetFromRepositoryUntranslated", u"Untranslated", GetFromRepositoryUntranslated,
               true);
  g.AddBoolean(u"GetFromRepositoryTranslated", u"Translated", GetFromRepositoryTranslated, false);
  g.AddBoolean(u"GetFromRepositoryAutoTranslated", u"AutoTranslated",
               GetFromRepositoryAutoTranslated, false);
  g.AddBoolean(u"GetFromRepositoryNewlyTranslated", u"NewlyTranslated",
               GetFromRepositoryNewlyTranslated, false);
  g.AddBoolean(u"GetFromRepositoryHold", u"Hold", GetFromRepositoryHold, false);
  g.AddBoolean(u"GetFromRepositoryDoNotTranslate", u"DoNotTranslate",
               GetFromRepositoryDoNotTranslate, false);
  g.AddNewStatus(u"GetFromRepositoryNewStatus", u"NewStatus", GetFromRepositoryNewStatus,
                 rsTranslated);
  g.AddBoolean(u"GetFromRepositoryUseContext", u"UseContext", GetFromRepositoryUseContext, false);
  g.AddEnumeration(u"GetFromRepositoryMultipleFindAction", u"MultipleFindAction",
                   GetFromRepositoryMultipleFindAction, mfaUseFirst, QEMMultipleFindActionCount);
  g.AddBoolean(u"GetFromRepositoryComment", u"Comment", GetFromRepositoryComment, false);
  g.AddBoolean(u"GetFromRepositoryCommentAction", u"CommentAction", GetFromRepositoryCommentAction,
               true);
}

void TQEMINTOptionProps::DefineRepositoryFields() {
  PascalPropSet.AddBoolean(u"PascalGenerateXlat", u"GenerateXlat", PascalGenerateXlat, false);

  auto& r = RepositoryPropSet;
  r.AddText(u"RepositoryFilename", u"Filename", RepositoryFilename, FRepositoryFilenameDefault);
  r.AddInteger(u"RepositoryLeft", u"Left", RepositoryLeft, 0);
  r.AddInteger(u"RepositoryTop", u"Top", RepositoryTop, 0);
  r.AddInteger(u"RepositoryWidth", u"Width", RepositoryWidth, 0);
  r.AddInteger(u"RepositoryHeight", u"Height", RepositoryHeight, 0);
  r.AddBoolean(u"RepositoryTextLabels", u"TextLabels", RepositoryTextLabels, true);
  r.AddBoolean(u"RepositoryLangToolBarExpanded", u"LanguagesToolBarExpanded",
               RepositoryLangToolBarExpanded, true);
  r.AddBoolean(u"RepositoryFormattedXML", u"FormattedXML", RepositoryFormattedXML, false);

  auto& rs = RepositorySearchPropSet;
  rs.AddBoolean(u"RepositorySearchCaseSensitive", u"Case Sensitive", RepositorySearchCaseSensitive,
                false);
  rs.AddBoolean(u"RepositorySearchForward", u"Search Forward", RepositorySearchForward, true);
  rs.AddBoolean(u"RepositorySearchWholeWords", u"Whole Words", RepositorySearchWholeWords, false);

  auto& qw = QualityWarningsPropSet;
  qw.AddBoolean(u"QualityWarnWhitespace", u"Whitespace", QualityWarnWhitespace, true);
  qw.AddBoolean(u"QualityWarnEndPunctuation", u"EndPunctuation", QualityWarnEndPunctuation, true);
  qw.AddBoolean(u"QualityWarnNumbers", u"Numbers", QualityWarnNumbers, true);
  qw.AddBoolean(u"QualityWarnDoubledSpaces", u"DoubledSpaces", QualityWarnDoubledSpaces, true);
  qw.AddBoolean(u"QualityWarnSameAsOriginal", u"SameAsOriginal", QualityWarnSameAsOriginal, true);
  qw.AddBoolean(u"QualityWarnAccelerator", u"Accelerator", QualityWarnAccelerator, true);
  qw.AddInteger(u"FuzzyThreshold", u"FuzzyThreshold", FuzzyThreshold, 70);
}

void TQEMINTOptionProps::LoadOptions() {
  FIsModified = false;
  TQEMRegistry reg;
  // Most sets were never saved: a key missing from the base key's list is not looked for.
  std::vector<std::u16string> stored;
  if (reg.OpenKeyReadOnly(FBaseKey)) stored = reg.GetKeyNames();
  const auto missing = [&](const std::u16string& Key) {
    const size_t sep = FBaseKey.size();
    if (Key.size() <= sep + 1 || Key.compare(0, sep, FBaseKey) != 0 || Key[sep] != u'\\')
      return false;
    const std::u16string_view name = std::u16string_view(Key).substr(sep + 1);
    return name.find(u'\\') == std::u16string_view::npos &&
           std::none_of(stored.begin(), stored.end(),
                        [&](const std::u16string& S) { return QEMSameText(S, name); });
  };
  for (auto* s : FSets) {
    if (!s->Matches(FMask)) continue;
    if (missing(s->Key()))
      s->Reset();
    else
      s->Load(reg);
  }
  if (missing(QEMHistoryManager.Key()))
    QEMHistoryManager.Clear();
  else
    QEMHistoryManager.Load(reg);
  if (RepositoryFilename.empty()) RepositoryFilename = FRepositoryFilenameDefault;
}

void TQEMINTOptionProps::SaveOptions() {
  FIsModified = false;
  {
    TRegistry reg;
    for (auto* s : FSets)
      if (s->Matches(FMask)) s->Save(reg);
    QEMHistoryManager.Save(reg);
    reg.Flush(); // a refused write raises here rather than being reported from the destructor
  }
  TranslatedStatus = UseNewlyTranslated ? rsNewlyTranslated : rsTranslated;
}

void QEMINTOptionPropInitialize() {
  if (QEMINTOptionProps) return;
  QEMINTOptionMask = InIDE ? 1 : 2;
  QEMINTOptionProps = new TQEMINTOptionProps(QEMINTOptionMask);
}

void QEMINTOptionPropFinalize() {
  delete QEMINTOptionProps;
  QEMINTOptionProps = nullptr;
}
