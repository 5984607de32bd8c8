// A translator package for key-value text files (".kv"): every line "key = text" is one item,
// the text running to the end of the line; blank lines and lines starting with '#' are kept as
// they are. The plug-in kit does the rest: notes, manager, updater and the translated file.
#include <memory>

#include "QEMPluginKit.h"

namespace {

bool IsBlank(char16_t C) {
  return C == u' ' || C == u'\t' || C == u'\r';
}

class TKeyValueFormat : public TQEMLiteralFormat {
public:
  void Parse(const std::u16string& FileName, const std::u16string& Text,
             std::vector<TQEMLiteralItem>& Items) override {
    for (size_t start = 0; start < Text.size();) {
      size_t end = Text.find(u'\n', start);
      if (end == std::u16string::npos) end = Text.size();
      const hlx::Result r = ParseLine(Text, start, end, Items);
      if (!r) throw QEMKitSyntaxError(FileName, QEMKitLineOf(Text, size_t(r.Offset)), r.Message);
      start = end + 1;
    }
  }

  // A text the target code page cannot hold makes the whole file UTF-8.
  bool OutputLiteral(const std::u16string& Value, uint32_t CodePage,
                     std::u16string& Literal) override {
    Literal = Value;
    return QEMKitFits(Value, CodePage);
  }

  // The text ends with its line, so a translation must not hold a line break.
  bool IsValidLiteral(const std::u16string& Literal) override {
    return Literal.find_first_of(u"\r\n") == std::u16string::npos;
  }

  std::u16string ToRaw(const std::u16string& Literal) override { return Literal; }
  std::u16string FromRaw(const std::u16string& Raw) override { return Raw; }

private:
  // A line that is no item is refused with the offset of its text.
  static hlx::Result ParseLine(const std::u16string& Text, size_t Begin, size_t End,
                               std::vector<TQEMLiteralItem>& Items) {
    size_t p = Begin;
    while (p < End && IsBlank(Text[p]))
      ++p;
    if (p == End || Text[p] == u'#') return {};
    const size_t eq = Text.find(u'=', p);
    if (eq == std::u16string::npos || eq >= End) {
      hlx::Result r = hlx::Result::Fail(hlx::Status::BadFile, u"\"key = text\" expected");
      r.Offset = int64_t(p);
      return r;
    }
    size_t keyEnd = eq;
    while (keyEnd > p && IsBlank(Text[keyEnd - 1]))
      --keyEnd;
    size_t value = eq + 1;
    while (value < End && IsBlank(Text[value]))
      ++value;
    size_t valueEnd = End;
    while (valueEnd > value && IsBlank(Text[valueEnd - 1]))
      --valueEnd;
    TQEMLiteralItem item;
    item.ID = Text.substr(p, keyEnd - p);
    item.ResName = item.ID;
    item.Value = Text.substr(value, valueEnd - value);
    item.Begin = value;
    item.End = valueEnd;
    Items.push_back(std::move(item));
    return {};
  }
};

struct TKeyValueNotesTraits {
  static constexpr const char16_t* DataType = u"x-keyvalue";
};
using TKeyValueNotesFile = TQEMKitNotesFile<TKeyValueNotesTraits>;

const TQEMNotesFileClassOf<TKeyValueNotesFile> KeyValueNotesClass;
const TQEMKitTypeInfo KeyValueInfo{
    u"KeyValue", u".kv", u"Key-value text files", u"KeyValue", u"Translators\\KeyValue", u"1.0"};

std::unique_ptr<TQEMKitPackage> Package;

} // namespace

QEM_KIT_EXPORT void QEMPackageInitialize(void* Module) {
  Package = std::make_unique<TQEMKitPackage>();
  Package->AddType(Module, std::make_shared<TKeyValueFormat>(), KeyValueNotesClass, KeyValueInfo);
}

QEM_KIT_EXPORT void QEMPackageFinalize() {
  Package.reset();
}
