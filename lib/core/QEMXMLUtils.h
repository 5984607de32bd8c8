#pragma once
// The XML layer: the small DOM through which notes, project and repository files are read and
// written, and the helpers with the two indentation schemes used when writing them.
//
// Rules that hold across the layer:
// - Text is UTF-16 here and UTF-8 inside the document.
// - Loading keeps the declaration, the document type, comments and processing instructions,
//   drops whitespace-only text between elements but keeps it as an element's only child (so a
//   translation of spaces survives), and reads CDATA. No entity declared in a document type is
//   ever expanded and no external file is read: such a reference stays text.
// - A NUL handed to any setter is stored as U+FFFF: the document keeps C strings, and U+FFFF is
//   itself no XML character, so the save refuses it like the other characters XML cannot hold
//   (C0 controls other than tab, CR and LF; U+FFFE; U+FFFF).
// - Saving writes UTF-8 without a byte-order mark and declares UTF-8.
// - Node handles do not keep their document alive: hold the document while using them.
// - Reading through a null handle gives null or empty results; changing through one, or any
//   change the document cannot hold (a second root element, text beside the root, an invalid
//   name), raises EQEMXMLError.
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/QEMSysUtils.h"

namespace pugi {
struct xml_node_struct;
class xml_document;
} // namespace pugi

class QEM_API EQEMXMLError : public EQEMError {
public:
  using EQEMError::EQEMError;
};

// The DOM's node-type numbers. The declaration counts as the processing instruction "xml".
enum TQEMXMLNodeType : int {
  ntNull = 0,
  ntElement = 1,
  ntText = 3,
  ntCData = 4,
  ntProcessingInstruction = 7,
  ntDeclaration = 7,
  ntComment = 8,
  ntDocument = 9,
  ntDocumentType = 10,
};

// A copyable handle to a node of a TQEMXMLDocument; a default-constructed handle is null.
// Like a pointer, a const handle still changes its node. New nodes are always created in place
// (appended or inserted), never detached.
class QEM_API TQEMXMLNode {
public:
  TQEMXMLNode() = default;
  explicit TQEMXMLNode(pugi::xml_node_struct* Node) : FNode(Node) {}

  bool IsNull() const { return FNode == nullptr; }
  explicit operator bool() const { return FNode != nullptr; }
  bool operator==(const TQEMXMLNode&) const = default;
  pugi::xml_node_struct* Handle() const { return FNode; }

  TQEMXMLNodeType NodeType() const;
  // DOM names: the tag or target, "#text", "#cdata-section", "#comment", "#document", or the
  // document type's name.
  std::u16string NodeName() const;
  // Empty for elements, documents and document types; the pseudo-attributes of a declaration.
  std::u16string NodeValue() const;
  // Ignored where NodeValue is always empty.
  void SetNodeValue(const std::u16string& Value) const;

  TQEMXMLNode ParentNode() const;
  TQEMXMLNode FirstChild() const;
  TQEMXMLNode LastChild() const;
  TQEMXMLNode PreviousSibling() const;
  TQEMXMLNode NextSibling() const;
  bool HasChildNodes() const;
  // Both walk the children (a linked list): loop with FirstChild/NextSibling instead of
  // Child(0..ChildCount()-1), which is quadratic.
  int ChildCount() const;
  TQEMXMLNode Child(int Index) const;
  // Raises EQEMXMLError when Child is not a child of this node. Handles to the removed subtree
  // are dead afterwards.
  void RemoveChild(TQEMXMLNode Child) const;
  // The document node; null for the document node itself, as in the DOM.
  TQEMXMLNode OwnerDocument() const;

  // Attributes of elements; names compare exactly.
  std::u16string GetAttribute(const std::u16string& Name) const;
  bool HasAttribute(const std::u16string& Name) const;
  void SetAttribute(const std::u16string& Name, const std::u16string& Value) const;
  void RemoveAttribute(const std::u16string& Name) const;
  // Name and value of each attribute, in document order.
  std::vector<std::pair<std::u16string, std::u16string>> Attributes() const;

  // Each returns the new node.
  TQEMXMLNode AppendElement(const std::u16string& Name) const;
  TQEMXMLNode AppendText(const std::u16string& Text) const;
  TQEMXMLNode AppendCData(const std::u16string& Text) const;
  TQEMXMLNode InsertElementBefore(TQEMXMLNode Ref, const std::u16string& Name) const;
  TQEMXMLNode InsertTextBefore(TQEMXMLNode Ref, const std::u16string& Text) const;
  // Appends a copy of Source (which may belong to another document) as the last child. A
  // shallow copy keeps the name, value and attributes but no children.
  TQEMXMLNode AppendCopy(TQEMXMLNode Source, bool Deep) const;
  // Move a node of the same document here: before the child Ref, or to the end.
  void MoveBefore(TQEMXMLNode Node, TQEMXMLNode Ref) const;
  void MoveToEnd(TQEMXMLNode Node) const;

private:
  pugi::xml_node_struct* FNode = nullptr;
};

// Owns a parsed or built document. Created through CreateNewDocument and shared.
class QEM_API TQEMXMLDocument {
public:
  TQEMXMLDocument();
  ~TQEMXMLDocument();
  TQEMXMLDocument(const TQEMXMLDocument&) = delete;
  TQEMXMLDocument& operator=(const TQEMXMLDocument&) = delete;

  TQEMXMLNode DocumentNode() const;
  // The root element; null when there is none (a new document, or after a failed load).
  TQEMXMLNode DocumentElement() const;
  // Why the last load failed; empty after a successful one.
  const std::u16string& LastError() const { return FLastError; }
  void Clear();

private:
  friend struct TQEMXMLDocumentAccess;
  std::unique_ptr<pugi::xml_document> FDoc;
  std::u16string FLastError;
};

// One indentation unit of the formatted forms.
QEM_API extern std::u16string DefaultIndentStr;

QEM_API std::shared_ptr<TQEMXMLDocument> CreateNewDocument();

// Loading replaces the document's content. A failure returns false, leaves the document empty
// (no root element) and sets LastError.
// Bytes may start with a UTF-8 or UTF-16 byte-order mark (UTF-16 is also recognised by its
// first characters "<?"); without one, an encoding declared other than UTF-8 is decoded first.
QEM_API bool LoadFromBytes(TQEMXMLDocument& Doc, std::string_view Bytes);
QEM_API bool LoadFromStream(TQEMXMLDocument& Doc, std::istream& Stream);
// Loads only the start of a document, up to the end of the element reached from the root
// through the first child element of each name in Path, closing the elements still open there.
// False (the document then unusable) when Bytes end first, an element of the path closes
// without leading there, the text is in another encoding or its start is not well-formed: the
// caller loads the whole document instead, which gives the error, if any.
QEM_API bool LoadHeadFromBytes(TQEMXMLDocument& Doc, std::string_view Bytes,
                               std::initializer_list<std::string_view> Path);

QEM_API bool LoadFromFile(TQEMXMLDocument& Doc, const std::u16string& FileName);
// S is already decoded: a declared encoding is ignored.
QEM_API bool LoadFromString(TQEMXMLDocument& Doc, const std::u16string& S);

// Saving writes the nodes as they are (raw: indentation comes from text nodes) with a UTF-8
// declaration first and CR LF after each top-level node. Text XML cannot hold, or a document
// without a root element, raises EQEMXMLError before anything is written.
QEM_API void SaveToStream(const TQEMXMLDocument& Doc, std::ostream& Stream);
QEM_API std::string SaveToBytes(const TQEMXMLDocument& Doc);
QEM_API std::u16string SaveToString(const TQEMXMLDocument& Doc);
// Writes Head (a document with an empty root, such as the fixed head of a notes file) with the
// children of Doc's root element copied into its root, every element on its own line and leaf
// elements' text inline. Indentation stops growing after MaxFormattedDepth levels, so a hostile
// nesting cannot make the output grow quadratically. The text goes to Stream as it is made (no
// copy of the document, no whole output in memory) and, as above, nothing when it is refused.
inline constexpr int MaxFormattedDepth = 32;
QEM_API void SaveFormattedDocument(const TQEMXMLDocument& Doc, std::ostream& Stream,
                                   const std::u16string& Head);

// Appends an element named Name to Parent; Formatted surrounds it with indentation text as a
// block element (children on their own lines).
QEM_API TQEMXMLNode CreateNewElement(TQEMXMLNode Parent, const std::u16string& Name,
                                     bool Formatted);
// The same for an element that will hold only text: Formatted repeats the whitespace before it.
QEM_API TQEMXMLNode CreateNewTextElement(TQEMXMLNode Parent, const std::u16string& Name,
                                         bool Formatted);
// The first child element named exactly Name; null when there is none.
QEM_API TQEMXMLNode FindChildElement(TQEMXMLNode Node, const std::u16string& Name);
// True, with Element set to Node, when Node is an element named exactly Name; otherwise
// Element is null.
QEM_API bool IsElement(TQEMXMLNode Node, const std::u16string& Name, TQEMXMLNode& Element);
// Empty when there is no such attribute.
QEM_API std::u16string GetAttribute(TQEMXMLNode Element, const std::u16string& Name);
// True when Element holds exactly one text node of S (S not empty), compared without converting.
QEM_API bool HasOnlyText(TQEMXMLNode Element, std::u16string_view S);
QEM_API int AttributeCount(TQEMXMLNode Element);
// True when Element has the attribute Name with exactly Value; compares without converting.
QEM_API bool HasAttributeValue(TQEMXMLNode Element, std::u16string_view Name,
                               std::u16string_view Value);
// An element's direct text and CDATA children joined (child elements ignored), or another
// node's value; every line break then becomes CR LF.
QEM_API std::u16string GetTextFromNode(TQEMXMLNode Node);
// The same into Out, reusing its room: readers of many nodes allocate once.
QEM_API void GetTextFromNode(TQEMXMLNode Node, std::u16string& Out);
// An element loses all its children and gets one text node holding S; another node gets S as
// its value.
QEM_API void SetTextToNode(TQEMXMLNode Node, const std::u16string& S);

// Views of what the document holds, as UTF-8, valid while the node lives: for readers that walk
// many nodes and only compare names or convert values once. Empty for a null handle.
// The tag or target of an element, declaration or instruction.
QEM_API std::string_view RawName(TQEMXMLNode Node);
// The text of a text, CDATA, comment or instruction node; the whole of a document type.
QEM_API std::string_view RawValue(TQEMXMLNode Node);
struct TQEMXMLRawAttribute {
  std::string_view Name, Value;
};
// Up to Max attributes of Node into Out, in document order; returns how many it has.
QEM_API size_t RawAttributes(TQEMXMLNode Node, TQEMXMLRawAttribute* Out, size_t Max);
