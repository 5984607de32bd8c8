// The XLIFF form of notes files: reading the header, the lazy body with its history, and writing
// back into the kept document so that content this library does not know survives.
#include "notes/QEMNotes.h"

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

template <class F>
void ForEachChildElement(TQEMXMLNode Parent, const std::u16string& Name, F&& Fn) {
  TQEMXMLNode e;
  for (TQEMXMLNode n = Parent.FirstChild(); n; n = n.NextSibling())
    if (IsElement(n, Name, e)) Fn(e);
}

TQEMXMLNode FindGroup(TQEMXMLNode Parent, const std::u16string& Name) {
  TQEMXMLNode found, e;
  for (TQEMXMLNode n = Parent.FirstChild(); n && !found; n = n.NextSibling())
    if (IsElement(n, u"prop-group", e) && e.GetAttribute(u"name") == Name) found = e;
  return found;
}

TQEMXMLNode FindProp(TQEMXMLNode Group, const std::u16string& Type) {
  TQEMXMLNode found, e;
  for (TQEMXMLNode n = Group.FirstChild(); n && !found; n = n.NextSibling())
    if (IsElement(n, u"prop", e) && e.GetAttribute(u"prop-type") == Type) found = e;
  return found;
}

std::u16string GetProp(TQEMXMLNode Group, const std::u16string& Type) {
  const TQEMXMLNode p = FindProp(Group, Type);
  return p ? GetTextFromNode(p) : std::u16string();
}

// True for an alt-trans the item history holds all of: a source, a target and our group with
// its two properties, nothing more. Any other (another tool's match, with its origin or quality)
// is kept in the unit as it is, neither read into the history nor dropped on save.
bool IsHistoryAltTrans(TQEMXMLNode Alt) {
  if (!Alt.Attributes().empty()) return false;
  int source = 0, target = 0, group = 0;
  for (TQEMXMLNode n = Alt.FirstChild(); n; n = n.NextSibling()) {
    if (n.NodeType() != ntElement) continue;
    const std::u16string name = n.NodeName();
    if (name == u"source")
      ++source;
    else if (name == u"target")
      ++target;
    else if (name != u"prop-group" || n.GetAttribute(u"name") != kFieldGroup || group++)
      return false;
    else
      for (TQEMXMLNode p = n.FirstChild(); p; p = p.NextSibling()) {
        if (p.NodeType() != ntElement) continue;
        const std::u16string type = p.GetAttribute(u"prop-type");
        if (p.NodeName() != u"prop" || (type != u"TagName" && type != u"Modified")) return false;
      }
  }
  return source <= 1 && target <= 1;
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

void TQEMCustomNotesFile::LoadNewNotesHeader(std::string_view Bytes) {
  auto doc = CreateNewDocument();
  if (!LoadFromBytes(*doc, Bytes))
    throw EQEMNotesError(Format(SNotesNotXML, FFileName, doc->LastError()));
  const TQEMXMLNode root = doc->DocumentElement();
  const TQEMXMLNode file = FirstFile(root);
  if (!file) throw EQEMNotesError(Format(SHeaderIncorrect, FFileName));
  TFileStats s = FStats->GetFileStats();
  s.OrigFileName = file.GetAttribute(u"original");
  const std::u16string source = file.GetAttribute(u"source-language");
  const std::u16string target = file.GetAttribute(u"target-language");
  if (!IsValidLangTag(source)) throw EQEMNotesError(Format(SSourceLangIncorrect, source));
  if (!IsValidLangTag(target)) throw EQEMNotesError(Format(STargetLangIncorrect, target));
  s.OrigLCID = LangTagToLCID(source);
  s.XlatLCID = LangTagToLCID(target);
  const TQEMXMLNode header = FindChildElement(file, u"header");
  const TQEMXMLNode group = header ? FindGroup(header, kHeaderGroup) : TQEMXMLNode();
  if (!group) throw EQEMNotesError(Format(SHeaderIncorrect, FFileName));
  try {
    s.Version = GetProp(group, u"Version");
    s.SelfDateTime = QEMStrToFloat(GetProp(group, u"SelfDateTime"));
    s.OrigDateTime = QEMStrToFloat(GetProp(group, u"OrigDateTime"));
    s.XlatDateTime = QEMStrToFloat(GetProp(group, u"XlatDateTime"));
    s.Translated = QEMStrToInt(GetProp(group, u"Translated"));
    s.UnTranslated = QEMStrToInt(GetProp(group, u"UnTranslated"));
  } catch (const EQEMConvertError& e) {
    throw EQEMNotesError(Format(SNotesFileError, FFileName, e.Message()));
  }
  FStats->SetFileStats(s);
  FStats->SetOrigStamp(GetProp(group, kOrigStamp));
  FDoc = std::move(doc);
  FXLIFF = root;
  FFormatted = false; // a loaded document carries no indentation of ours
  FBodyNotLoaded = true;
}

void TQEMCustomNotesFile::LoadNewNotes() {
  if (!FDoc || !FXLIFF) return;
  const TQEMXMLNode file = FirstFile(FXLIFF);
  const TQEMXMLNode body = file ? FindChildElement(file, u"body") : TQEMXMLNode();
  if (!body) return;
  ForEachChildElement(body, u"trans-unit", [&](TQEMXMLNode tu) {
    IQEMNotesItemPtr item = CreateNotesItem();
    FItems->Add(item);
    const std::u16string id = tu.GetAttribute(u"id");
    item->SetID(id);
    item->SetResName(tu.GetAttribute(u"resname"));
    const TQEMXMLNode source = FindChildElement(tu, u"source");
    if (!source) throw EQEMNotesError(std::u16string(SSourceTagIncorrect));
    item->SetOrigText(GetTextFromNode(source));
    const TQEMXMLNode target = FindChildElement(tu, u"target");
    item->SetXlatText(target ? GetTextFromNode(target) : item->GetOrigText());
    if (const TQEMXMLNode note = FindChildElement(tu, u"note"))
      item->SetComment(GetTextFromNode(note));
    if (const TQEMXMLNode group = FindGroup(tu, kFieldGroup)) {
      item->SetCreated(QEMStrToFloat(GetProp(group, u"Created")));
      item->SetStatus(QEMCheckedStatus(id, GetProp(group, u"Status")));
      ReadCustomProp(group, *item);
    }
    // Newest first in the document; each one read goes to the front, so walk backwards.
    TQEMXMLNode alt;
    for (TQEMXMLNode n = tu.LastChild(); n; n = n.PreviousSibling()) {
      if (!IsElement(n, u"alt-trans", alt) || !IsHistoryAltTrans(alt)) continue;
      TQEMXMLNode altSource = FindChildElement(alt, u"source");
      if (!altSource) {
        // A source left out repeats the one of the older entry that follows it.
        altSource = alt.AppendElement(u"source");
        SetTextToNode(altSource,
                      item->GetPrevCount() > 0 ? item->GetPrevOrigText(0) : std::u16string());
      }
      const bool placeholder = item->GetPrevCount() == 1 && item->GetPrevOrigText(0).empty() &&
                               item->GetPrevXlatText(0).empty();
      if (!placeholder) item->MoveCurrentToHistory(u"");
      item->SetPrevOrigText(0, GetTextFromNode(altSource));
      if (const TQEMXMLNode altTarget = FindChildElement(alt, u"target"))
        item->SetPrevXlatText(0, GetTextFromNode(altTarget));
      if (const TQEMXMLNode group = FindGroup(alt, kFieldGroup)) {
        item->SetPrevTagName(0, GetProp(group, u"TagName"));
        const std::u16string modified = GetProp(group, u"Modified");
        if (!modified.empty()) item->SetPrevModified(0, QEMStrToFloat(modified));
      }
    }
  });
}

struct TQEMCustomNotesFile::TWriter {
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

  void WriteItem(TQEMXMLNode Unit, IQEMNotesItem& Item, const std::u16string& SourceTag) const {
    Unit.SetAttribute(u"id", Item.GetID());
    Unit.SetAttribute(u"resname", Item.GetResName());
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
    for (const TQEMXMLNode& a : old)
      Unit.RemoveChild(a);
    TQEMXMLNode newer = foreign; // the next (newer) alt-trans written goes before this one
    std::u16string lastSource;
    for (int i = Item.GetPrevCount() - 1; i >= 0; --i) {
      const std::u16string prevOrig = Item.GetPrevOrigText(i), prevXlat = Item.GetPrevXlatText(i);
      if (prevOrig.empty() || prevXlat.empty()) continue;
      TQEMXMLNode alt =
          newer ? Unit.InsertElementBefore(newer, u"alt-trans") : Unit.AppendElement(u"alt-trans");
      if (prevOrig != lastSource) SetTextToNode(alt.AppendElement(u"source"), prevOrig);
      lastSource = prevOrig;
      SetTextToNode(alt.AppendElement(u"target"), prevXlat);
      TQEMXMLNode g = alt.AppendElement(u"prop-group");
      g.SetAttribute(u"name", kFieldGroup);
      if (!Item.GetPrevTagName(i).empty()) SetProp(g, u"TagName", Item.GetPrevTagName(i), false);
      SetProp(g, u"Modified", QEMFloatToStr(Item.GetPrevModified(i)), false);
      newer = alt;
    }
  }
};

namespace {

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
  // The n-th item of an id writes the n-th trans-unit of that id; units no item claims are
  // removed, so purged items stay purged.
  struct TUnits {
    std::vector<TQEMXMLNode> Nodes;
    size_t Used = 0;
  };
  std::unordered_map<std::u16string, TUnits> units;
  ForEachChildElement(body, u"trans-unit",
                      [&](TQEMXMLNode tu) { units[tu.GetAttribute(u"id")].Nodes.push_back(tu); });
  std::vector<TQEMXMLNode> ordered;
  ordered.reserve(size_t(FItems->Count()));
  for (int i = 0; i < FItems->Count(); ++i) {
    const IQEMNotesItemPtr item = FItems->Get(i);
    TUnits& slot = units[item->GetID()];
    TQEMXMLNode tu = slot.Used < slot.Nodes.size()
                         ? slot.Nodes[slot.Used++]
                         : CreateNewElement(body, u"trans-unit", FFormatted);
    w.WriteItem(tu, *item, sourceTag);
    ordered.push_back(tu);
  }
  for (auto& [id, slot] : units)
    for (size_t n = slot.Used; n < slot.Nodes.size(); ++n)
      body.RemoveChild(slot.Nodes[n]);
  ReorderUnits(body, ordered);

  if (QEMNotesFormattedXML && !FFormatted)
    SaveFormattedDocument(*FDoc, Stream, HeadFor(FXLIFF));
  else
    SaveToStream(*FDoc, Stream);
}
