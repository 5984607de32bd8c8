#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/QEMSysUtils.h"
#include "support/TestSupport.h"
#include "toolkit/QEMExeImage.h"

namespace {

// fixture.dll is built by tests/data/exeimage/make-fixtures.sh from fixture.rc.
std::string FixturePath() {
  const char* d = std::getenv("HLX_TEST_DATA");
  return std::string(d ? d : "tests/data") + "/exeimage/fixture.dll";
}
std::string Fixture() {
  return qemtest::ReadTextFile(FixturePath());
}

std::span<const uint8_t> Bytes(const std::string& S) {
  return {reinterpret_cast<const uint8_t*>(S.data()), S.size()};
}

std::string Lines(const TStringList& L) {
  std::string r;
  for (int i = 0; i < L.Count(); ++i)
    r += UTF16ToUTF8(L.Get(i)) + "\n";
  return r;
}

TResourceItem& Find(TResourceList& L, const std::u16string& Name) {
  for (int i = 0; i < L.Count(); ++i)
    if (L.GetResourceItem(i).GetName() == Name) return L.GetResourceItem(i);
  throw std::runtime_error("no item " + UTF16ToUTF8(Name));
}

// The first item of the type named Type.
TResourceItem& First(TExeImage& Image, const std::u16string& Type) {
  return Find(Image.GetResourceList(), Type).GetResourceItem(0);
}

std::string Saved(const TResourceItem& Item) {
  std::ostringstream s;
  Item.SaveToStream(s);
  return s.str();
}

uint32_t At32(const std::string& S, size_t Pos) {
  uint32_t v;
  std::memcpy(&v, S.data() + Pos, 4);
  return v;
}
void Put32(std::string& S, size_t Pos, uint32_t V) {
  std::memcpy(S.data() + Pos, &V, 4);
}

// Everything a package might ask of every item; EExeError is the only failure allowed.
void WalkAll(TExeImage& Image) {
  auto visit = [](TResourceItem& It, auto& Self) -> void {
    It.GetName();
    if (It.IsList()) {
      for (int i = 0; i < It.GetResourceList().Count(); ++i)
        Self(It.GetResourceItem(i), Self);
      return;
    }
    Saved(It);
    TStringList l;
    if (auto* m = dynamic_cast<TMenuResource*>(&It)) m->AssignTo(l);
    if (auto* s = dynamic_cast<TStringResource*>(&It)) s->AssignTo(l);
  };
  TResourceList& top = Image.GetResourceList();
  for (int i = 0; i < top.Count(); ++i)
    visit(top.GetResourceItem(i), visit);
}

// The error text of opening and walking Bytes; empty when all went through.
std::string Outcome(const std::string& Bytes_) {
  try {
    TExeImage image(Bytes(Bytes_), u"bad.dll");
    WalkAll(image);
  } catch (const EExeError& e) {
    return e.what();
  }
  return "";
}

TEST(ExeImage, NamesTypesAndItems) {
  TExeImage image(UTF8ToUTF16(FixturePath()));
  TResourceList& top = image.GetResourceList();
  std::string names;
  for (int i = 0; i < top.Count(); ++i)
    names += UTF16ToUTF8(top.GetResourceItem(i).GetName()) + " ";
  EXPECT_EQ(names, "Bitmap IconEntry Menu String RCData Icon ");
  TResourceItem& config = First(image, u"RCData");
  EXPECT_EQ(config.GetName(), u"CONFIG");
  EXPECT_EQ(config.ResTypeStr(), u"RCData");
  EXPECT_FALSE(config.IsList());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(config.RawData()), config.Size()), "hi");
  EXPECT_EQ(First(image, u"Menu").GetName(), u"100");
  EXPECT_EQ(Find(top, u"Menu").Size(), 0u);
  try {
    config.GetResourceList();
    ADD_FAILURE();
  } catch (const EExeError& e) {
    EXPECT_STREQ(e.what(), "ResourceItem is not a list");
  }
  TImageSectionHeader h;
  EXPECT_TRUE(image.GetSectionHdr(".RSRC", h));
  EXPECT_FALSE(image.GetSectionHdr(".rsrc2", h));
}

TEST(ExeImage, StringTablesAndMenusAsScriptTextEvenWhenMalformed) {
  const std::string dll = Fixture();
  TExeImage image(Bytes(dll), u"fixture.dll");
  TResourceItem& strings = Find(image.GetResourceList(), u"String");
  TStringList l;
  l.Add(u"stale");
  dynamic_cast<TStringResource&>(strings.GetResourceItem(0)).AssignTo(l);
  EXPECT_EQ(Lines(l), "1,  \"Block one\"\n");
  dynamic_cast<TStringResource&>(strings.GetResourceItem(1)).AssignTo(l);
  EXPECT_EQ(Lines(l), "16,  \"Tab\\there \\\"quoted\\\"\"\n31,  \"Last of block two\"\n");

  dynamic_cast<TMenuResource&>(First(image, u"Menu")).AssignTo(l);
  EXPECT_EQ(Lines(l), "POPUP \"&File\"\n"
                      "  MENUITEM \"&Open\",  101\n"
                      "  MENUITEM SEPARATOR\n"
                      "  POPUP \"&Recent\"\n"
                      "    MENUITEM \"One\",  111\n"
                      "    MENUITEM \"Two\",  112\n"
                      "  ENDPOPUP\n"
                      "  MENUITEM \"E&xit\",  102\n"
                      "ENDPOPUP\n"
                      "POPUP \"&Help\"\n"
                      "  MENUITEM \"&About\",  201\n"
                      "ENDPOPUP\n");

  // A menu ended early never takes the nesting below zero.
  std::string early = dll;
  const size_t at = early.find(std::string("&\0O\0p\0e\0n\0", 10));
  ASSERT_NE(at, std::string::npos);
  early[at - 4] = char(0x80); // "&Open" now ends its popup, and "E&xit" the whole menu
  TExeImage broken(Bytes(early), u"fixture.dll");
  dynamic_cast<TMenuResource&>(First(broken, u"Menu")).AssignTo(l);
  EXPECT_EQ(Lines(l), "POPUP \"&File\"\n"
                      "  MENUITEM \"&Open\",  101\n"
                      "ENDPOPUP\n"
                      "MENUITEM SEPARATOR\n"
                      "POPUP \"&Recent\"\n"
                      "  MENUITEM \"One\",  111\n"
                      "  MENUITEM \"Two\",  112\n"
                      "ENDPOPUP\n"
                      "MENUITEM \"E&xit\",  102\n");
}

TEST(ExeImage, BitmapAndIconFiles) {
  const std::string dll = Fixture();
  TExeImage image(Bytes(dll), u"fixture.dll");
  TResourceItem& bitmap = First(image, u"Bitmap");
  const std::string bmp = Saved(bitmap);
  ASSERT_EQ(bmp.size(), bitmap.Size() + 14);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(At32(bmp, 2), bmp.size());
  EXPECT_EQ(At32(bmp, 6), 0u);
  EXPECT_EQ(At32(bmp, 10), 14u + 40 + 4 * 16); // 4 bits per pixel: full palette
  std::string assigned;
  dynamic_cast<TBitMapResource&>(bitmap).AssignTo(assigned);
  EXPECT_EQ(assigned, bmp);

  TResourceItem& group = First(image, u"Icon");
  ASSERT_TRUE(group.IsList());
  ASSERT_EQ(group.GetResourceList().Count(), 1);
  TResourceItem& icon = group.GetResourceItem(0);
  EXPECT_EQ(icon.GetName(), u"8 X 8 2 Colors");
  EXPECT_EQ(First(image, u"IconEntry").GetName(), u"1");
  const std::string ico = Saved(icon);
  const std::string head("\0\0\1\0\1\0\x08\x08\x02\0\1\0\1\0", 14);
  EXPECT_EQ(ico.substr(0, 14), head);
  EXPECT_EQ(At32(ico, 14), icon.Size());
  EXPECT_EQ(At32(ico, 18), 22u);
  EXPECT_EQ(ico.substr(22),
            std::string(reinterpret_cast<const char*>(icon.RawData()), icon.Size()));
  // Listed under its type the entry has no group, so the header comes from the image itself.
  EXPECT_EQ(Saved(First(image, u"IconEntry")), ico);
}

TEST(ExeImage, RefusesWhatIsNoModule) {
  qemtest::TTempDir dir;
  qemtest::WriteTextFile(dir.Path() / "notes.txt", "MZ but nothing else of a module");
  const std::u16string name = dir.U16("notes.txt");
  try {
    TExeImage image(name);
    ADD_FAILURE();
  } catch (const EExeError& e) {
    EXPECT_EQ(e.Message(), u"Unable to decompile resources in " + name + u".");
  }
  qemtest::WriteTextFile(dir.Path() / "empty.dll", "");
  EXPECT_THROW(TExeImage(dir.U16("empty.dll")), EExeError);
  EXPECT_THROW(TExeImage(dir.U16("missing.dll")), EExeError);
  EXPECT_THROW(TExeImage(dir.U16("")), EExeError); // a folder

  std::string dll = Fixture();
  dll.replace(dll.find(".rsrc"), 5, ".data");
  EXPECT_EQ(Outcome(dll), "No resources in bad.dll.");
}

TEST(ExeImage, TruncatedAndHostileFilesFailCleanly) {
  const std::string dll = Fixture();
  EXPECT_EQ(Outcome(dll), "");
  const std::string error = "Unable to decompile resources in bad.dll.";
  TExeImage image(Bytes(dll), u"fixture.dll");
  TImageSectionHeader h;
  ASSERT_TRUE(image.GetSectionHdr(".rsrc", h));
  const size_t res = h.PointerToRawData;
  // The last cut takes one byte off the last resource, the icon group.
  for (size_t cut : {size_t(0), size_t(1), size_t(0x3F), size_t(0x90), res, res + 20, res + 0x100,
                     res + 0x300, res + 0x423})
    EXPECT_EQ(Outcome(dll.substr(0, std::min(cut, dll.size()))), error) << cut;

  auto patched = [&](size_t Pos, uint32_t V) {
    std::string s = dll;
    Put32(s, Pos, V);
    return Outcome(s);
  };
  EXPECT_EQ(patched(0x3C, 0xFFFFFFF0u), error);               // PE header past the end
  EXPECT_EQ(patched(res + 12, 0xFFFFFFFFu), error);           // more entries than bytes
  EXPECT_EQ(patched(res + 20, 0x80000000u), error);           // a type pointing at the root
  const uint32_t typeDir = At32(dll, res + 20) & 0x7FFFFFFF;  // the bitmap type's names
  EXPECT_EQ(patched(res + typeDir + 20, 0x80000000u), error); // a name pointing at the root
  EXPECT_EQ(patched(res + typeDir + 16, 0x8FFFFFF0u), error); // a name past the end
  const uint32_t langDir = At32(dll, res + typeDir + 20) & 0x7FFFFFFF;
  const uint32_t data = At32(dll, res + langDir + 20);
  EXPECT_EQ(patched(res + data + 4, 0xFFFFFFFFu), error); // data size past the end
  EXPECT_EQ(patched(res + data, 0u), error);              // data before the section
  EXPECT_EQ(patched(res + data, 0xFFFFFFFFu), error);     // data address past the end
}

} // namespace
