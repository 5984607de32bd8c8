// The XLIFF form of notes files: reading the header, the lazy body with its history, and writing
// back into the kept document so that content this library does not know survives.
#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"

#include <algorithm>
#include <typeinfo>
#include <unordered_map>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

namespace {
constexpr char16_t kHeaderGroup[] = u"QEMHeaderProp";
constexpr char16_t kFieldGroup[] = u"QEMFieldProp";
// A header property of our own beyond the six: readers find properties by type, so older ones
// pass it by.
constexpr char16_t kOrigStamp[] = u"OrigStamp";

bool IsNamed(TQEMXMLNode Node, std::string_view Name) {
  return Node.NodeType() == ntElement && RawName(Node) == Name;
}

template <class F>
void ForEachChildElement(TQEMXMLNode Parent, const std::u16string& Name, F&& Fn) {
  TQEMXMLNode e;
  for (TQEMXMLNode n = Parent.FirstChild(); n; n = n.NextSibling())
    if (IsElement(n, Name, e)) Fn(e);
}

TQEMXMLNode FindGroup(TQEMXMLNode Parent, const std::u16string& Name) {
  TQEMXMLNode found;
  for (TQEMXMLNode n = Parent.FirstChild(); n && !found; n = n.NextSibling())
    if (IsNamed(n, "prop-group") && HasAttributeValue(n, u"name", Name)) found = n;
  return found;
}

TQEMXMLNode FindProp(TQEMXMLNode Group, const std::u16string& Type) {
  TQEMXMLNode found;
  for (TQEMXMLNode n = Group.FirstChild(); n && !found; n = n.NextSibling())
    if (IsNamed(n, "prop") && HasAttributeValue(n, u"prop-type", Type)) found = n;
  return found;
}

// Exactly the attributes Names, in that order.
bool HasAttributes(TQEMXMLNode Element, std::initializer_list<std::string_view> Names) {
  TQEMXMLRawAttribute a[8];
  if (RawAttributes(Element, a, 8) != Names.size()) return false;
  size_t i = 0;
  for (const std::string_view name : Names)
    if (a[i++].Name != name) return false;
  return true;
}

bool HasOnlyAttribute(TQEMXMLNode Element, std::string_view Name, std::string_view Value) {
  TQEMXMLRawAttribute a[1];
  return RawAttributes(Element, a, 1) == 1 && a[0].Name == Name && a[0].Value == Value;
}

// Nothing, or a single plain text (no CDATA): what a save leaves in a text element.
bool HasPlainText(TQEMXMLNode Element) {
  const TQEMXMLNode t = Element.FirstChild();
  return !t || (t.NodeType() == ntText && !t.NextSibling());
}

bool IsPlainLeaf(TQEMXMLNode Element) {
  return AttributeCount(Element) == 0 && HasPlainText(Element);
}

struct TOwnProp {
  std::string_view Type;
  bool Optional;
};

// A group holding the properties Props in their order and nothing else.
bool HasOwnProps(TQEMXMLNode Group, std::string_view Name, std::initializer_list<TOwnProp> Props) {
  if (!HasOnlyAttribute(Group, "name", Name)) return false;
  auto want = Props.begin();
  for (TQEMXMLNode p = Group.FirstChild(); p; p = p.NextSibling()) {
    TQEMXMLRawAttribute a[1];
    if (!IsNamed(p, "prop") || RawAttributes(p, a, 1) != 1 || a[0].Name != "prop-type" ||
        !HasPlainText(p))
      return false;
    while (want != Props.end() && want->Optional && want->Type != a[0].Value)
      ++want;
    if (want == Props.end() || want->Type != a[0].Value) return false;
    ++want;
  }
  for (; want != Props.end(); ++want)
    if (!want->Optional) return false;
  return true;
}

// The parts of a history alt-trans, found in one walk; the first property of each type counts.
struct THistoryParts {
  TQEMXMLNode Source, Target, TagName, Modified;
  bool Group = false;
  // Written as a save writes it: source (unless left out), target and group in that order,
  // nothing else.
  bool Own = false;
};

// True for an alt-trans the item history holds all of: a source, a target and our group with
// its two properties, nothing more. Any other (another tool's match, with its origin or quality)
// is kept in the unit as it is, neither read into the history nor dropped on save.
bool ReadHistoryAltTrans(TQEMXMLNode Alt, THistoryParts& Parts) {
  if (AttributeCount(Alt) != 0) return false;
  Parts = THistoryParts();
  int source = 0, target = 0, group = 0;
  bool own = true;
  for (TQEMXMLNode n = Alt.FirstChild(); n; n = n.NextSibling()) {
    if (n.NodeType() != ntElement) {
      own = false;
      continue;
    }
    const std::string_view name = RawName(n);
    if (name == "source") {
      if (source++) return false;
      Parts.Source = n;
      own = own && !target && !group && IsPlainLeaf(n);
    } else if (name == "target") {
      if (target++) return false;
      Parts.Target = n;
      own = own && !group && IsPlainLeaf(n);
    } else if (name != "prop-group" || !HasAttributeValue(n, u"name", kFieldGroup) || group++) {
      return false;
    } else {
      Parts.Group = true;
      own =
          own && target && HasOwnProps(n, "QEMFieldProp", {{"TagName", true}, {"Modified", false}});
      for (TQEMXMLNode p = n.FirstChild(); p; p = p.NextSibling()) {
        if (p.NodeType() != ntElement) continue;
        if (RawName(p) != "prop") return false;
        if (HasAttributeValue(p, u"prop-type", u"TagName")) {
          if (!Parts.TagName) Parts.TagName = p;
        } else if (HasAttributeValue(p, u"prop-type", u"Modified")) {
          if (!Parts.Modified) Parts.Modified = p;
        } else {
          return false;
        }
      }
    }
  }
  Parts.Own = own && group;
  return true;
}

bool IsHistoryAltTrans(TQEMXMLNode Alt) {
  THistoryParts parts;
  return ReadHistoryAltTrans(Alt, parts);
}

TQEMXMLNode FirstFile(TQEMXMLNode Root) {
  return FindChildElement(Root, u"file");
}

std::u16string XmlEscapeAttr(const std::u16string& S) {
  std::u16string r;
  for (char16_t c : S) {
    switch (c) {
    case u'&':
      r += u"&amp;";
      break;
    case u'<':
      r += u"&lt;";
      break;
    case u'>':
      r += u"&gt;";
      break;
    case u'"':
      r += u"&quot;";
      break;
    case u'\r':
      r += u"&#13;";
      break;
    case u'\n':
      r += u"&#10;";
      break;
    case u'\t':
      r += u"&#9;";
      break;
    default:
      r.push_back(c);
    }
  }
  return r;
}

// The fixed head with the kept root's own attributes, so a re-indented save keeps them.
std::u16string HeadFor(TQEMXMLNode Root) {
  std::u16string head = QEMNotesDocumentHead();
  if (!Root) return head;
  const size_t at = head.find(u"<xliff");
  // Appended piece by piece: GCC 12 warns falsely about "literal" + string here.
  head.resize(at);
  head += u'<';
  head += Root.NodeName();
  for (const auto& [name, value] : Root.Attributes()) {
    head += u' ';
    head += name;
    head += u"=\"";
    head += XmlEscapeAttr(value);
    head += u'"';
  }
  head += u" />\r\n";
  return head;
}
} // namespace

namespace {
// The header texts of a document, each property the first of its type, as FindProp finds it.
// False when the document has no file element.
bool DocumentHeaderTexts(TQEMXMLNode Root, notesdetail::THeaderTexts& T) {
  using notesdetail::THeaderTexts;
  const TQEMXMLNode file = FirstFile(Root);
  if (!file) return false;
  T.Original = file.GetAttribute(u"original");
  T.Source = file.GetAttribute(u"source-language");
  T.Target = file.GetAttribute(u"target-language");
  const TQEMXMLNode header = FindChildElement(file, u"header");
  const TQEMXMLNode group = header ? FindGroup(header, kHeaderGroup) : TQEMXMLNode();
  T.Group = bool(group);
  if (!group) return true;
  bool found[THeaderTexts::PropCount] = {};
  for (TQEMXMLNode n = group.FirstChild(); n; n = n.NextSibling()) {
    if (!IsNamed(n, "prop")) continue;
    for (size_t i = 0; i < THeaderTexts::PropCount; ++i)
      if (!found[i] && HasAttributeValue(n, u"prop-type", notesdetail::kHeaderProps[i])) {
        found[i] = true;
        GetTextFromNode(n, T.Props[i]);
      }
  }
  return true;
}
} // namespace

void TQEMCustomNotesFile::LoadNewNotesHeader(std::string_view Bytes, bool Whole) {
  using notesdetail::THeaderTexts;
  THeaderTexts h;
  std::shared_ptr<TQEMXMLDocument> doc;
  // Only the header is read now; the body waits for the items or a save.
  bool headOnly = notesdetail::ScanOwnHeader(Bytes, h);
  if (!headOnly) {
    h = THeaderTexts();
    doc = CreateNewDocument();
    headOnly = LoadHeadFromBytes(*doc, Bytes, {"file", "header"});
    if (!headOnly) {
      std::string all;
      if (!Whole) all = notesdetail::ReadAll(FFileName);
      notesdetail::CountBodyRead();
      if (!LoadFromBytes(*doc, Whole ? Bytes : std::string_view(all)))
        throw EQEMNotesError(Format(SNotesNotXML, FFileName, doc->LastError()));
    }
    if (!DocumentHeaderTexts(doc->DocumentElement(), h))
      throw EQEMNotesError(Format(SHeaderIncorrect, FFileName));
  }
  TFileStats s = FStats->GetFileStats();
  s.OrigFileName = std::move(h.Original);
  if (!IsValidLangTag(h.Source)) throw EQEMNotesError(Format(SSourceLangIncorrect, h.Source));
  if (!IsValidLangTag(h.Target)) throw EQEMNotesError(Format(STargetLangIncorrect, h.Target));
  s.OrigLCID = LangTagToLCID(h.Source);
  s.XlatLCID = LangTagToLCID(h.Target);
  if (!h.Group) throw EQEMNotesError(Format(SHeaderIncorrect, FFileName));
  try {
    s.Version = std::move(h.Props[THeaderTexts::Version]);
    s.SelfDateTime = QEMStrToFloat(h.Props[THeaderTexts::SelfDateTime]);
    s.OrigDateTime = QEMStrToFloat(h.Props[THeaderTexts::OrigDateTime]);
    s.XlatDateTime = QEMStrToFloat(h.Props[THeaderTexts::XlatDateTime]);
    s.Translated = QEMStrToInt(h.Props[THeaderTexts::Translated]);
    s.UnTranslated = QEMStrToInt(h.Props[THeaderTexts::UnTranslated]);
  } catch (const EQEMConvertError& e) {
    throw EQEMNotesError(Format(SNotesFileError, FFileName, e.Message()));
  }
  FStats->SetFileStats(s);
  FStats->SetOrigStamp(h.Props[THeaderTexts::OrigStamp]);
  if (headOnly) {
    FDoc.reset();
    FXLIFF = TQEMXMLNode();
  } else {
    FDoc = std::move(doc);
    FXLIFF = FDoc->DocumentElement();
  }
  FFormatted = false; // a loaded document carries no indentation of ours
  FBodyNotLoaded = true;
}

namespace {
// The parts of a trans-unit the item is read from, found in one walk over its children: the
// first of each, and every alt-trans.
struct TUnitParts {
  TQEMXMLNode Source, Target, Note, Group;
  std::vector<TQEMXMLNode> Alts;
  // Nothing but what a save writes, in its order; the history is judged when it is read.
  bool Own = false;

  void Read(TQEMXMLNode Unit) {
    Source = Target = Note = Group = TQEMXMLNode();
    Alts.clear();
    Own = HasAttributes(Unit, {"id", "resname"});
    int last = 0; // the last child seen: none, source, target, note, group (or history)
    for (TQEMXMLNode n = Unit.FirstChild(); n; n = n.NextSibling()) {
      if (n.NodeType() != ntElement) {
        Own = false;
        continue;
      }
      const std::string_view name = RawName(n);
      if (name == "alt-trans") {
        Alts.push_back(n);
        Own = Own && last == 4;
      } else if (!Source && name == "source") {
        Source = n;
        Own = Own && last == 0 && IsPlainLeaf(n);
        last = 1;
      } else if (!Target && name == "target") {
        Target = n;
        Own = Own && last == 1 && IsPlainLeaf(n);
        last = 2;
      } else if (!Note && name == "note") {
        Note = n;
        Own = Own && (last == 1 || last == 2) && HasAttributes(n, {"xml:lang"}) && HasPlainText(n);
        last = 3;
      } else if (!Group && name == "prop-group" && HasAttributeValue(n, u"name", kFieldGroup)) {
        Group = n;
        Own = Own && last >= 1 && last <= 3 &&
              HasOwnProps(n, "QEMFieldProp", {{"Created", false}, {"Status", false}});
        last = 4;
      } else {
        Own = false;
      }
    }
    Own = Own && last == 4;
  }
};
} // namespace

namespace {
// Item classes of packages are filled through their setters, each copying the text read.
struct TGenericLoader {
  IQEMNotesItem& I;
  std::u16string Buf; // reused: one allocation for every text read, not one each
  std::u16string FID; // as read, for the messages

  const std::u16string& Text(TQEMXMLNode Node) {
    GetTextFromNode(Node, Buf);
    return Buf;
  }
  void SetID(std::u16string&& V) {
    FID = std::move(V);
    I.SetID(FID);
  }
  const std::u16string& ID() const { return FID; }
  void SetResName(const std::u16string& V) { I.SetResName(V); }
  void SetOrig(const std::u16string& V) { I.SetOrigText(V); }
  void SetXlat(const std::u16string& V) { I.SetXlatText(V); }
  void XlatFromOrig() { I.SetXlatText(I.GetOrigText()); }
  void SetComment(const std::u16string& V) { I.SetComment(V); }
  void SetCreated(TDateTime V) { I.SetCreated(V); }
  void SetStatus(TResStatus V) { I.SetStatus(V); }
  std::u16string PrevOrigOrEmpty() const {
    return I.GetPrevCount() > 0 ? I.GetPrevOrigText(0) : std::u16string();
  }
  bool OnlyPlaceholder() const {
    return I.GetPrevCount() == 1 && I.GetPrevOrigText(0).empty() && I.GetPrevXlatText(0).empty();
  }
  void MoveCurrent() { I.MoveCurrentToHistory(u""); }
  void SetPrevOrig(const std::u16string& V) { I.SetPrevOrigText(0, V); }
  void SetPrevXlat(const std::u16string& V) { I.SetPrevXlatText(0, V); }
  void SetPrevTag(const std::u16string& V) { I.SetPrevTagName(0, V); }
  void SetPrevModified(TDateTime V) { I.SetPrevModified(0, V); }
};

// A plain item gets each text moved in, converted straight into its own string.
struct TPlainLoader {
  TQEMNotesItemLoader F;

  static std::u16string Text(TQEMXMLNode Node) {
    std::u16string s;
    GetTextFromNode(Node, s);
    return s;
  }
  void SetID(std::u16string&& V) { F.ID() = std::move(V); }
  const std::u16string& ID() const { return F.ID(); }
  void SetResName(std::u16string&& V) { F.ResName() = std::move(V); }
  void SetOrig(std::u16string&& V) { F.Orig() = std::move(V); }
  void SetXlat(std::u16string&& V) { F.Xlat() = std::move(V); }
  void XlatFromOrig() { F.Xlat() = F.Orig(); }
  void SetComment(std::u16string&& V) { F.Comment() = std::move(V); }
  void SetCreated(TDateTime V) { F.Created() = V; }
  void SetStatus(TResStatus V) { F.Status() = V; }
  std::u16string PrevOrigOrEmpty() const {
    return F.List().empty() ? std::u16string() : F.List().front().FOrigText;
  }
  bool OnlyPlaceholder() const {
    const auto& list = F.List();
    return list.size() == 1 && list[0].FOrigText.empty() && list[0].FXlatText.empty();
  }
  void MoveCurrent() { F.MoveCurrentToHistory(); }
  void SetPrevOrig(std::u16string&& V) { F.List().front().FOrigText = std::move(V); }
  void SetPrevXlat(std::u16string&& V) { F.List().front().FXlatText = std::move(V); }
  void SetPrevTag(std::u16string&& V) { F.List().front().FTagName = std::move(V); }
  void SetPrevModified(TDateTime V) { F.List().front().FModified = V; }
};
} // namespace

namespace {
// Kept from unit to unit: the times, and the room their texts are read into.
struct TUnitTimes {
  notesdetail::TTimeCache Created, Modified;
  std::u16string Buf;
  const std::u16string& Text(TQEMXMLNode Node) {
    if (Node)
      GetTextFromNode(Node, Buf);
    else
      Buf.clear();
    return Buf;
  }
};

// One item from its unit; true when its history is all as a save writes it.
template <class TLoader>
bool ReadUnit(TQEMCustomNotesFile& F, TQEMXMLNode Unit, const TUnitParts& Parts,
              IQEMNotesItem& Item, TLoader& L, TUnitTimes& T) {
  L.SetID(Unit.GetAttribute(u"id"));
  L.SetResName(Unit.GetAttribute(u"resname"));
  if (!Parts.Source) throw EQEMNotesError(std::u16string(SSourceTagIncorrect));
  L.SetOrig(L.Text(Parts.Source));
  if (Parts.Target)
    L.SetXlat(L.Text(Parts.Target));
  else
    L.XlatFromOrig();
  if (Parts.Note) L.SetComment(L.Text(Parts.Note));
  if (const TQEMXMLNode group = Parts.Group) {
    TQEMXMLNode created, status;
    for (TQEMXMLNode p = group.FirstChild(); p && !(created && status); p = p.NextSibling()) {
      if (!IsNamed(p, "prop")) continue;
      if (!created && HasAttributeValue(p, u"prop-type", u"Created"))
        created = p;
      else if (!status && HasAttributeValue(p, u"prop-type", u"Status"))
        status = p;
    }
    L.SetCreated(T.Created.Get(T.Text(created)));
    L.SetStatus(notesdetail::UnitStatus(L.ID(), T.Text(status)));
    F.ReadCustomProp(group, Item);
  }
  // Newest first in the document; each one read goes to the front, so walk backwards.
  bool own = true;
  THistoryParts h;
  for (auto a = Parts.Alts.rbegin(); a != Parts.Alts.rend(); ++a) {
    const TQEMXMLNode alt = *a;
    if (!ReadHistoryAltTrans(alt, h)) {
      own = false;
      continue;
    }
    // A save leaves out a source repeating the older entry's, never the oldest one's.
    own = own && h.Own && (h.Source || a != Parts.Alts.rbegin());
    TQEMXMLNode altSource = h.Source;
    if (!altSource) {
      // A source left out repeats the one of the older entry that follows it.
      altSource = alt.AppendElement(u"source");
      SetTextToNode(altSource, L.PrevOrigOrEmpty());
    }
    if (!L.OnlyPlaceholder()) L.MoveCurrent();
    L.SetPrevOrig(L.Text(altSource));
    if (h.Target) L.SetPrevXlat(L.Text(h.Target));
    if (h.Group) L.SetPrevTag(h.TagName ? L.Text(h.TagName) : std::u16string());
    if (h.Modified && !T.Text(h.Modified).empty()) L.SetPrevModified(T.Modified.Get(T.Buf));
  }
  return own;
}

// The nodes of both documents on their top level alike: kind, name, value and attributes, but
// not what elements hold.
bool SameTopLevel(const TQEMXMLDocument& Doc, const TQEMXMLDocument& Head) {
  TQEMXMLNode a = Doc.DocumentNode().FirstChild(), b = Head.DocumentNode().FirstChild();
  for (; a && b; a = a.NextSibling(), b = b.NextSibling()) {
    if (a.NodeType() != b.NodeType() || RawName(a) != RawName(b) || RawValue(a) != RawValue(b))
      return false;
    TQEMXMLRawAttribute x[4], y[4];
    const size_t n = RawAttributes(a, x, 4);
    if (n > 4 || n != RawAttributes(b, y, 4)) return false;
    for (size_t i = 0; i < n; ++i)
      if (x[i].Name != y[i].Name || x[i].Value != y[i].Value) return false;
  }
  return !a && !b;
}

std::shared_ptr<TQEMXMLDocument> FixedHead() {
  auto head = CreateNewDocument();
  if (!LoadFromString(*head, QEMNotesDocumentHead())) throw EQEMNotesError(head->LastError());
  return head;
}
} // namespace

namespace notesdetail {
bool IsOwnFrame(const TQEMXMLDocument& Doc, TQEMXMLNode File, TQEMXMLNode Header,
                TQEMXMLNode Body) {
  if (!SameTopLevel(Doc, *FixedHead())) return false;
  const TQEMXMLNode root = Doc.DocumentElement();
  if (root.FirstChild() != File || File.NextSibling() || File.FirstChild() != Header ||
      Header.NextSibling() != Body || Body.NextSibling())
    return false;
  if (!HasAttributes(
          File, {"original", "source-language", "target-language", "datatype", "tool", "ts"}) ||
      AttributeCount(Header) != 0 || AttributeCount(Body) != 0)
    return false;
  const TQEMXMLNode group = Header.FirstChild();
  return group && !group.NextSibling() && IsNamed(group, "prop-group") &&
         HasOwnProps(group, "QEMHeaderProp",
                     {{"Version", false},
                      {"SelfDateTime", false},
                      {"OrigDateTime", false},
                      {"XlatDateTime", false},
                      {"Translated", false},
                      {"UnTranslated", false},
                      {"OrigStamp", true}});
}

std::shared_ptr<TQEMXMLDocument> OwnHead(TQEMXMLNode File, TQEMXMLNode Header) {
  auto head = FixedHead();
  const TQEMXMLNode kept = head->DocumentElement().AppendCopy(File, false);
  kept.AppendCopy(Header, true);
  kept.AppendElement(u"body");
  return head;
}

bool WritesNoOwnProps(TQEMCustomNotesFile& F, const std::vector<IQEMNotesItemPtr>& Items) {
  const auto probe = CreateNewDocument();
  const TQEMXMLNode group = probe->DocumentNode().AppendElement(u"prop-group");
  for (const IQEMNotesItemPtr& item : Items) {
    F.WriteCustomProp(group, *item);
    if (group.FirstChild() || AttributeCount(group) != 0) return false;
  }
  return true;
}
} // namespace notesdetail

void TQEMCustomNotesFile::LoadNewNotes() {
  if (!FDoc || !FXLIFF) return;
  const TQEMXMLNode file = FirstFile(FXLIFF);
  const TQEMXMLNode body = file ? FindChildElement(file, u"body") : TQEMXMLNode();
  if (!body) return;
  const TQEMXMLNode header = FindChildElement(file, u"header");
  bool own = notesdetail::DropOwnDocument && notesdetail::IsOwnFrame(*FDoc, file, header, body);
  size_t units = 0;
  for (TQEMXMLNode n = body.FirstChild(); n; n = n.NextSibling())
    units += IsNamed(n, "trans-unit");
  if (auto* list = dynamic_cast<TQEMNotesItems*>(FItems.get()))
    list->Reserve(size_t(list->Count()) + units);
  std::vector<IQEMNotesItemPtr> loaded;
  loaded.reserve(units);
  const notesdetail::TLoadClock clock;
  TUnitParts parts;
  TUnitTimes times;
  std::u16string buf; // for item classes of packages
  for (TQEMXMLNode tu = body.FirstChild(); tu; tu = tu.NextSibling()) {
    if (!IsNamed(tu, "trans-unit")) {
      own = false;
      continue;
    }
    const IQEMNotesItemPtr item = CreateNotesItem();
    FItems->Add(item);
    loaded.push_back(item);
    parts.Read(tu);
    own = own && parts.Own;
    if (typeid(*item) == typeid(TQEMNotesItem)) {
      TPlainLoader loader{{dynamic_cast<TQEMNotesItem&>(*item)}};
      own = ReadUnit(*this, tu, parts, *item, loader, times) && own;
    } else {
      TGenericLoader loader{*item, std::move(buf), {}};
      ReadUnit(*this, tu, parts, *item, loader, times);
      buf = std::move(loader.Buf);
      own = false; // their class may hold more than a save of ours writes
    }
  }
  if (!own || !notesdetail::WritesNoOwnProps(*this, loaded)) return;
  // Nothing here but what the next save writes anew: keep the head alone, and stream.
  FDoc = notesdetail::OwnHead(file, header);
  FXLIFF = TQEMXMLNode();
}

struct TQEMCustomNotesFile::TWriter {
  using THistoryEntry = notesdetail::THistoryEntry;
  TQEMCustomNotesFile& F;
  bool Formatted;

  // The element Name of Parent, created when missing: appended (with indentation while the
  // document is ours) or put before the first child that must come after it.
  TQEMXMLNode Ensure(TQEMXMLNode Parent, const std::u16string& Name, bool Block,
                     std::initializer_list<const char16_t*> Later = {}) const {
    if (TQEMXMLNode e = FindChildElement(Parent, Name)) return e;
    for (TQEMXMLNode n = Parent.FirstChild(); n; n = n.NextSibling()) {
      if (n.NodeType() != ntElement) continue;
      for (const char16_t* later : Later)
        if (n.NodeName() == later) return Parent.InsertElementBefore(n, Name);
    }
    return Block ? CreateNewElement(Parent, Name, Formatted)
                 : CreateNewTextElement(Parent, Name, Formatted);
  }

  TQEMXMLNode EnsureGroup(TQEMXMLNode Parent, const std::u16string& Name,
                          std::initializer_list<const char16_t*> Later = {}) const {
    if (TQEMXMLNode g = FindGroup(Parent, Name)) return g;
    TQEMXMLNode g;
    for (TQEMXMLNode n = Parent.FirstChild(); n && !g; n = n.NextSibling()) {
      if (n.NodeType() != ntElement) continue;
      for (const char16_t* later : Later)
        if (n.NodeName() == later) {
          g = Parent.InsertElementBefore(n, u"prop-group");
          break;
        }
    }
    if (!g) g = CreateNewElement(Parent, u"prop-group", Formatted);
    g.SetAttribute(u"name", Name);
    return g;
  }

  void SetProp(TQEMXMLNode Group, const std::u16string& Type, const std::u16string& Value,
               bool Indent) const {
    TQEMXMLNode p = FindProp(Group, Type);
    if (!p) {
      p = Indent ? CreateNewTextElement(Group, u"prop", Formatted) : Group.AppendElement(u"prop");
      p.SetAttribute(u"prop-type", Type);
    }
    SetTextToNode(p, Value);
  }

  // Rewriting an unchanged value would only churn the document's memory.
  static void SetAttr(TQEMXMLNode E, const char16_t* Name, const std::u16string& Value) {
    if (!HasAttributeValue(E, Name, Value)) E.SetAttribute(Name, Value);
  }

  void WriteItem(TQEMXMLNode Unit, IQEMNotesItem& Item, const std::u16string& SourceTag) const {
    SetAttr(Unit, u"id", Item.GetID());
    SetAttr(Unit, u"resname", Item.GetResName());
    SetTextToNode(Ensure(Unit, u"source", false), Item.GetOrigText());
    const std::u16string xlat = Item.GetXlatText();
    if (!xlat.empty() && xlat != Item.GetOrigText())
      SetTextToNode(Ensure(Unit, u"target", false, {u"note", u"prop-group", u"alt-trans"}), xlat);
    else if (TQEMXMLNode t = FindChildElement(Unit, u"target"))
      Unit.RemoveChild(t);
    const std::u16string comment = Item.GetComment();
    if (!comment.empty()) {
      TQEMXMLNode note = Ensure(Unit, u"note", false, {u"prop-group", u"alt-trans"});
      note.SetAttribute(u"xml:lang", SourceTag);
      SetTextToNode(note, comment);
    } else if (TQEMXMLNode n = FindChildElement(Unit, u"note")) {
      Unit.RemoveChild(n);
    }
    TQEMXMLNode group = EnsureGroup(Unit, kFieldGroup, {u"alt-trans"});
    SetProp(group, u"Created", QEMFloatToStr(Item.GetCreated()), false);
    SetProp(group, u"Status", IntToStr(Item.GetStatus()), false);
    F.WriteCustomProp(group, Item);

    std::vector<TQEMXMLNode> old;
    TQEMXMLNode foreign; // the first alt-trans kept as it is: the history goes before it
    ForEachChildElement(Unit, u"alt-trans", [&](TQEMXMLNode a) {
      if (IsHistoryAltTrans(a))
        old.push_back(a);
      else if (!foreign)
        foreign = a;
    });
    const std::vector<THistoryEntry> history = History(Item);
    if (SameHistory(old, history, foreign)) return;
    for (const TQEMXMLNode& a : old)
      Unit.RemoveChild(a);
    TQEMXMLNode newer = foreign; // the next (newer) alt-trans written goes before this one
    for (auto h = history.rbegin(); h != history.rend(); ++h) {
      TQEMXMLNode alt =
          newer ? Unit.InsertElementBefore(newer, u"alt-trans") : Unit.AppendElement(u"alt-trans");
      if (h->WithSource) SetTextToNode(alt.AppendElement(u"source"), h->Orig);
      SetTextToNode(alt.AppendElement(u"target"), h->Xlat);
      TQEMXMLNode g = alt.AppendElement(u"prop-group");
      g.SetAttribute(u"name", kFieldGroup);
      if (!h->Tag.empty()) SetProp(g, u"TagName", h->Tag, false);
      SetProp(g, u"Modified", h->Modified, false);
      newer = alt;
    }
  }

  static std::vector<THistoryEntry> History(IQEMNotesItem& Item) {
    return notesdetail::History(Item);
  }

  static bool IsProp(TQEMXMLNode P, const char16_t* Type, const std::u16string& Value) {
    TQEMXMLNode e;
    return IsElement(P, u"prop", e) && AttributeCount(P) == 1 &&
           HasAttributeValue(P, u"prop-type", Type) && HasOnlyText(P, Value);
  }

  // True when the kept entries already say what the history would write, in its place: an
  // unchanged history is left alone instead of being built anew on every save.
  static bool SameHistory(const std::vector<TQEMXMLNode>& Old,
                          const std::vector<THistoryEntry>& History, TQEMXMLNode Foreign) {
    if (Old.size() != History.size()) return false;
    TQEMXMLNode e;
    for (size_t j = 0; j < Old.size(); ++j) {
      const THistoryEntry& h = History[j];
      if (Old[j].NextSibling() != (j + 1 < Old.size() ? Old[j + 1] : Foreign)) return false;
      TQEMXMLNode n = Old[j].FirstChild();
      const auto text = [&](const char16_t* Name, const std::u16string& S) {
        const bool same = IsElement(n, Name, e) && AttributeCount(n) == 0 && HasOnlyText(n, S);
        n = n.NextSibling();
        return same;
      };
      if (h.WithSource && !text(u"source", h.Orig)) return false;
      if (!text(u"target", h.Xlat)) return false;
      if (!IsElement(n, u"prop-group", e) || AttributeCount(n) != 1 || n.NextSibling())
        return false;
      TQEMXMLNode p = n.FirstChild();
      if (!h.Tag.empty()) {
        if (!IsProp(p, u"TagName", h.Tag)) return false;
        p = p.NextSibling();
      }
      if (!IsProp(p, u"Modified", h.Modified) || p.NextSibling()) return false;
    }
    return true;
  }
};

namespace {

// The unit each item writes: the n-th item of an id writes the n-th trans-unit of that id;
// units no item claims are removed, so purged items stay purged. Units mostly come in item
// order, so each is tried in place first and the map by id is built only on a mismatch.
std::vector<TQEMXMLNode> MatchUnits(TQEMXMLNode Body, IQEMNotesItems& Items, bool Formatted) {
  std::vector<TQEMXMLNode> units, ordered;
  ForEachChildElement(Body, u"trans-unit", [&](TQEMXMLNode tu) { units.push_back(tu); });
  const size_t count = size_t(Items.Count());
  ordered.reserve(count);
  while (ordered.size() < count && ordered.size() < units.size() &&
         HasAttributeValue(units[ordered.size()], u"id", Items.Get(int(ordered.size()))->GetID()))
    ordered.push_back(units[ordered.size()]);
  if (ordered.size() == count && count == units.size()) return ordered;
  struct TUnits {
    std::vector<TQEMXMLNode> Nodes;
    size_t Used = 0;
  };
  std::unordered_map<std::u16string, TUnits> byID;
  for (size_t k = ordered.size(); k < units.size(); ++k)
    byID[units[k].GetAttribute(u"id")].Nodes.push_back(units[k]);
  for (size_t i = ordered.size(); i < count; ++i) {
    TUnits& slot = byID[Items.Get(int(i))->GetID()];
    ordered.push_back(slot.Used < slot.Nodes.size()
                          ? slot.Nodes[slot.Used++]
                          : CreateNewElement(Body, u"trans-unit", Formatted));
  }
  for (auto& [id, slot] : byID)
    for (size_t n = slot.Used; n < slot.Nodes.size(); ++n)
      Body.RemoveChild(slot.Nodes[n]);
  return ordered;
}

// The file follows the item order (a merge re-orders items), moving each unit with the
// indentation before it; an unchanged order moves nothing.
void ReorderUnits(TQEMXMLNode Body, const std::vector<TQEMXMLNode>& Ordered) {
  size_t k = 0;
  bool same = true;
  ForEachChildElement(Body, u"trans-unit", [&](TQEMXMLNode tu) {
    if (k >= Ordered.size() || Ordered[k] != tu) same = false;
    ++k;
  });
  if (same) return;
  TQEMXMLNode tail = Body.LastChild();
  if (tail && tail.NodeType() != ntText) tail = TQEMXMLNode();
  const auto place = [&](TQEMXMLNode N) {
    if (tail)
      Body.MoveBefore(N, tail);
    else
      Body.MoveToEnd(N);
  };
  for (const TQEMXMLNode& tu : Ordered) {
    const TQEMXMLNode prev = tu.PreviousSibling();
    if (prev && prev.NodeType() == ntText && prev != tail) place(prev);
    place(tu);
  }
}

} // namespace

void TQEMCustomNotesFile::SaveNewNotes(std::ostream& Stream) {
  const LCID origLCID = FStats->GetOrigLCID(), xlatLCID = FStats->GetXlatLCID();
  if (!IsValidLCID(origLCID)) throw EQEMNotesError(Format(SSourceLCIDIncorrect, origLCID));
  if (!IsValidLCID(xlatLCID)) throw EQEMNotesError(Format(STargetLCIDIncorrect, xlatLCID));
  const std::u16string sourceTag = LCIDToLangTag(origLCID), targetTag = LCIDToLangTag(xlatLCID);
  if (FDoc && !FXLIFF) {
    // Read from a file of our own, of which only the head was kept.
    if (notesdetail::StreamNewNotes &&
        notesdetail::WriteOwnNotes(*this, *FItems, Stream, QEMNotesFormattedXML, sourceTag,
                                   targetTag, FirstFile(FDoc->DocumentElement())))
      return;
    FXLIFF = FDoc->DocumentElement();
  }
  if (!FDoc && notesdetail::StreamNewNotes) {
    // Nothing to keep: no tree is needed, and the next save streams again.
    FFormatted = QEMNotesFormattedXML;
    if (notesdetail::WriteNewNotes(*this, *FItems, Stream, FFormatted, sourceTag, targetTag))
      return;
  }
  if (!FDoc) {
    FDoc = CreateNewDocument();
    if (!LoadFromString(*FDoc, QEMNotesDocumentHead())) throw EQEMNotesError(FDoc->LastError());
    FXLIFF = FDoc->DocumentElement();
    FFormatted = QEMNotesFormattedXML;
    if (FFormatted) FXLIFF.AppendText(u"\r\n");
  }
  const TWriter w{*this, FFormatted};
  const std::u16string original = FStats->GetOrigFileName();

  TQEMXMLNode file = FirstFile(FXLIFF);
  if (!file) {
    file = CreateNewElement(FXLIFF, u"file", FFormatted);
    file.SetAttribute(u"original", original);
    file.SetAttribute(u"source-language", sourceTag);
    file.SetAttribute(u"target-language", targetTag);
    file.SetAttribute(u"datatype", GetDataType());
    file.SetAttribute(u"tool", u"HLX v10.0");
    file.SetAttribute(u"ts", original);
  } else {
    // The header fields are the truth: a file renamed or retargeted must say so.
    file.SetAttribute(u"original", original);
    file.SetAttribute(u"source-language", sourceTag);
    file.SetAttribute(u"target-language", targetTag);
  }

  const TQEMXMLNode header = w.Ensure(file, u"header", true, {u"body"});
  const TQEMXMLNode group = w.EnsureGroup(header, kHeaderGroup);
  w.SetProp(group, u"Version", FStats->GetVersion(), true);
  w.SetProp(group, u"SelfDateTime", QEMFloatToStr(FStats->GetSelfDateTime()), true);
  w.SetProp(group, u"OrigDateTime", QEMFloatToStr(FStats->GetOrigDateTime()), true);
  w.SetProp(group, u"XlatDateTime", QEMFloatToStr(FStats->GetXlatDateTime()), true);
  w.SetProp(group, u"Translated", IntToStr(FStats->GetTranslated()), true);
  w.SetProp(group, u"UnTranslated", IntToStr(FStats->GetUnTranslated()), true);
  if (const std::u16string stamp = FStats->GetOrigStamp(); !stamp.empty())
    w.SetProp(group, kOrigStamp, stamp, true);
  else if (const TQEMXMLNode p = FindProp(group, kOrigStamp))
    group.RemoveChild(p);

  const TQEMXMLNode body = w.Ensure(file, u"body", true);
  const std::vector<TQEMXMLNode> ordered = MatchUnits(body, *FItems, FFormatted);
  for (int i = 0; i < FItems->Count(); ++i)
    w.WriteItem(ordered[size_t(i)], *FItems->Get(i), sourceTag);
  ReorderUnits(body, ordered);

  if (QEMNotesFormattedXML && !FFormatted)
    SaveFormattedDocument(*FDoc, Stream, HeadFor(FXLIFF));
  else
    SaveToStream(*FDoc, Stream);
}
