// Any bytes as a module: opening and walking every item either works or raises EExeError, never
// reads outside the input, and menu text never indents below the top level.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "FuzzSupport.h"
#include "toolkit/QEMExeImage.h"

namespace {

void Visit(TResourceItem& Item) {
  Item.GetName();
  Item.ResTypeStr();
  if (Item.IsList()) {
    TResourceList& list = Item.GetResourceList();
    for (int i = 0; i < list.Count(); ++i) {
      try {
        Visit(list.GetResourceItem(i));
      } catch (const EExeError&) {
      }
    }
    return;
  }
  if (Item.Size() != Item.Data().size()) __builtin_trap();
  std::ostringstream s;
  Item.SaveToStream(s);
  TStringList l;
  if (auto* m = dynamic_cast<TMenuResource*>(&Item)) {
    m->AssignTo(l);
    size_t depth = 0;
    for (int i = 0; i < l.Count(); ++i) {
      const std::u16string& line = l.Get(i);
      const size_t indent = line.find_first_not_of(u' ');
      if (line.substr(indent) == u"ENDPOPUP" && depth-- == 0) __builtin_trap();
      if (indent != 2 * depth) __builtin_trap();
      if (line.substr(indent).starts_with(u"POPUP")) ++depth;
    }
    if (depth != 0) __builtin_trap();
  }
  if (auto* t = dynamic_cast<TStringResource*>(&Item)) {
    t->AssignTo(l);
    if (l.Count() > 16) __builtin_trap();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir();
  try {
    TExeImage image({Data, Size}, u"fuzz.dll");
    TResourceList& top = image.GetResourceList();
    for (int i = 0; i < top.Count(); ++i) {
      try {
        Visit(top.GetResourceItem(i));
      } catch (const EExeError&) {
      }
    }
  } catch (const EExeError&) {
  }
  return 0;
}
