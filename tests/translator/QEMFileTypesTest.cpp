#include <gtest/gtest.h>

#include "settings/QEMGridColor.h"
#include "translator/FakeFileType.h"

namespace {

// A bottom-up bitmap file; Rows bottom row first, Bits per pixel 24 or 4 (palette given).
std::string MakeBmp(int W, int H, int Bits, const std::vector<uint8_t>& Rows,
                    const std::vector<uint32_t>& Palette = {}) {
  auto u32 = [](std::string& S, uint32_t V) {
    for (int i = 0; i < 4; ++i)
      S += char(V >> (8 * i));
  };
  const uint32_t offset = 14 + 40 + uint32_t(Palette.size()) * 4;
  std::string s = "BM";
  u32(s, offset + uint32_t(Rows.size()));
  u32(s, 0);
  u32(s, offset);
  for (uint32_t v : {40u, uint32_t(W), uint32_t(H), 1u | uint32_t(Bits) << 16, 0u, 0u, 0u, 0u,
                     uint32_t(Palette.size()), 0u})
    u32(s, v);
  for (uint32_t c : Palette)
    u32(s, c);
  s.append(Rows.begin(), Rows.end());
  return s;
}

// Magenta bottom-left: the transparent colour.
TQEMImage SmallImage() {
  return {2, 1, {0x00FF00FF, 0x00102030}};
}

class FileTypesTest : public ::testing::Test {
protected:
  void SetUp() override { QEMFileTypesInitialize(); }
  void TearDown() override {
    for (auto& t : Registered)
      UnRegisterQEMFileType(t);
  }
  std::shared_ptr<TFakeFileType> Reg(std::u16string Name, std::u16string Desc,
                                     std::initializer_list<std::u16string> Exts,
                                     const TQEMImage* Image = nullptr) {
    auto t = std::make_shared<TFakeFileType>(std::move(Name), std::move(Desc), Exts, Image);
    RegisterQEMFileType(t);
    Registered.push_back(t);
    return t;
  }
  std::vector<IQEMFileTypePtr> Registered;
};

TEST_F(FileTypesTest, OrderLookupAndFilter) {
  auto rc = Reg(u"RC", u"Resource script", {u".RC"});
  auto form = Reg(u"OFM", u"Form files", {u".OFM", u".XOFM"});
  auto form2 = Reg(u"OFM2", u"form FILES", {u".X"});
  TQEMFileTypes& types = QEMFileTypes();
  ASSERT_EQ(types.Count(), 3);
  EXPECT_EQ(types.GetQEMFileType(0), form);
  EXPECT_EQ(types.GetQEMFileType(1), form2); // equal description: registration order
  EXPECT_EQ(types.GetQEMFileType(2), rc);
  EXPECT_EQ(types.IndexOf(u"RC"), 2);
  EXPECT_EQ(types.IndexOf(u"rc"), -1);
  EXPECT_EQ(types.IndexOf(rc), 2);
  EXPECT_EQ(types.ExtIndexOf(u".xofm"), 0);
  EXPECT_EQ(types.ExtIndexOf(u".none"), -1);
  EXPECT_EQ(types.GetFilter(0), u"Form files (*.ofm;*.xofm)|*.ofm;*.xofm");

  EXPECT_EQ(types.LatestAdded(), form2);
  UnRegisterQEMFileType(rc);
  EXPECT_EQ(types.LatestAdded(), form2);
  UnRegisterQEMFileType(form2);
  EXPECT_EQ(types.LatestAdded(), nullptr);
  EXPECT_EQ(types.Count(), 1);
}

TEST(BmpTest, DecodesTintsAndRefusesDamage) {
  // 2x2, 24 bits: rows padded to 8 bytes; bottom row blue, white; top row red, black.
  const std::vector<uint8_t> rows = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0};
  const std::string bmp = MakeBmp(2, 2, 24, rows);
  const TQEMImage img = QEMDecodeBMP(bmp.data(), bmp.size());
  ASSERT_EQ(img.Pixels.size(), 4u);
  EXPECT_EQ(img.Pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(img.Pixel(0, 1), 0x0000FFu);
  EXPECT_EQ(img.Pixel(1, 1), 0xFFFFFFu);
  EXPECT_EQ(img.TransparentColor(), 0x0000FFu);
  // 4 bits: high nibble first.
  const std::string pal = MakeBmp(3, 1, 4, {0x10, 0x20, 0, 0}, {0x000000, 0x00AABBCC, 0x00112233});
  const TQEMImage p = QEMDecodeBMP(pal.data(), pal.size());
  EXPECT_EQ(p.Pixels, (std::vector<uint32_t>{0xAABBCC, 0, 0x112233}));

  EXPECT_THROW(QEMDecodeBMP(bmp.data(), bmp.size() - 1), EQEMError);
  EXPECT_THROW(QEMDecodeBMP(bmp.data(), 20), EQEMError);
  const std::string badIndex = MakeBmp(1, 1, 4, {0x50, 0, 0, 0}, {0, 0});
  EXPECT_THROW(QEMDecodeBMP(badIndex.data(), badIndex.size()), EQEMError);
  const std::string huge = MakeBmp(100000, 100000, 24, {});
  EXPECT_THROW(QEMDecodeBMP(huge.data(), huge.size()), EQEMError);

  // Tinting red (0x00BBGGRR) keeps the transparent pixel.
  EXPECT_EQ(QEMTintImage(SmallImage(), 0x000000FF).Pixels,
            (std::vector<uint32_t>{0x00FF00FF, 0x00871018}));
}

TEST_F(FileTypesTest, ImagesAddedOnceAndRetintedInPlace) {
  TQEMMemoryImageList list;
  TQEMImage globe = SmallImage();
  globe.Pixels[1] = 0x00445566;
  list.Add(globe, globe.TransparentColor());
  const TQEMImage img = SmallImage();
  auto t = Reg(u"T", u"T", {}, &img);
  TQEMFileTypes& types = QEMFileTypes();
  types.SetImageList(&list);
  EXPECT_EQ(list.Count(), 1 + 3 + 2); // globe, three file variants (no kind image), two globe tints
  types.SetImageList(&list);
  types.AddTheBitmaps(*t);
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(types.GlobeBitmap(0).Index, 0);

  TQEMColorScheme* scheme = QEMColorSchemes->SelectedColorsScheme();
  const TColor old = scheme->GetColor(iclUntranslatedItemColor);
  EXPECT_EQ(list.Image(t->FFile[1].Index).Pixels, QEMTintImage(img, old).Pixels);
  scheme->SetColor(iclUntranslatedItemColor, old ^ 0x00FFFFFF);
  types.UpdateBitmaps();
  scheme->SetColor(iclUntranslatedItemColor, old);
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(list.Image(t->FFile[1].Index).Pixels, QEMTintImage(img, old ^ 0x00FFFFFF).Pixels);
  EXPECT_EQ(list.Image(types.GlobeBitmap(1).Index).Pixels,
            QEMTintImage(globe, old ^ 0x00FFFFFF).Pixels);
  types.SetImageList(nullptr);
  EXPECT_EQ(t->FFile[0].Index, -1);
}

TEST(ShortcutTest, Dispatch) {
  int form = 0, other = 0, host = 0;
  std::vector<std::string> calls;
  TQEMShortcuts shortcuts;
  shortcuts.push_back(MakeQEMShortcut(
      &other, keDown, 'A', ssCtrl, [&](void*) { calls.push_back("other"); }, 1));
  shortcuts.push_back(MakeQEMShortcut(
      &form, keDown, 'A', ssCtrl,
      [&](void* S) {
        EXPECT_EQ(S, &host);
        calls.push_back("event");
      },
      2));
  shortcuts.push_back(MakeQEMShortcut(&form, keDown, 'B', 0));
  shortcuts.push_back(MakeQEMShortcut(
      &form, kePress, 'x', ssShift, [&](void*) { calls.push_back("press"); }, 3));
  TQEMKeyDispatcher d(&host);
  d.Shortcuts = &shortcuts;
  d.WindowKeyDown = [&](uint16_t&, TShiftState) { calls.push_back("window"); };

  uint16_t key = 'A';
  EXPECT_FALSE(d.KeyDown(key, ssCtrl)); // no window shown: nobody's shortcut
  d.ShownWindow = &form;
  EXPECT_TRUE(d.KeyDown(key, ssCtrl));
  EXPECT_EQ(key, 0);
  char16_t ch = u'a';
  EXPECT_TRUE(d.KeyPress(ch)); // swallowed after a handled down
  key = 'A';
  EXPECT_TRUE(d.KeyUp(key, ssCtrl));
  key = 'B';
  EXPECT_TRUE(d.KeyDown(key, 0)); // no handler: the window's own
  key = 'C';
  EXPECT_FALSE(d.KeyDown(key, 0));
  ch = u'x';
  EXPECT_TRUE(d.KeyPress(ch)); // the character alone decides
  EXPECT_EQ(calls, (std::vector<std::string>{"event", "window", "press"}));

  bool maximised = false;
  void* focus = &host;
  d.OnToggleMaximized = [&] { maximised = !maximised; };
  d.OnSwitchFocus = [&](void* W) { focus = W; };
  key = QEMVK_F11;
  EXPECT_TRUE(d.KeyDown(key, ssShift));
  key = QEMVK_F6;
  EXPECT_FALSE(d.KeyDown(key, ssCtrl));
  EXPECT_TRUE(d.KeyDown(key, 0));
  EXPECT_TRUE(maximised);
  EXPECT_EQ(focus, &form);
}

TEST(ShortcutTest, UnregisterFirstEqualOnly) {
  int form = 0;
  const size_t before = QEMShortcuts.size();
  auto a = MakeQEMShortcutFromAction(&form, keDown, TQEMAction{'S', ssCtrl, [](void*) {}, 7});
  RegisterQEMShortcuts({a, a});
  UnRegisterQEMShortcut(MakeQEMShortcut(
      &form, keDown, 'S', ssCtrl, [](void*) {}, 8));
  UnRegisterQEMShortcut(MakeQEMShortcut(&form, keDown, 'S', ssCtrl)); // no handler: not equal
  EXPECT_EQ(QEMShortcuts.size(), before + 2);
  UnRegisterQEMShortcut(a);
  EXPECT_EQ(QEMShortcuts.size(), before + 1);
  UnRegisterQEMShortcuts({a});
  EXPECT_EQ(QEMShortcuts.size(), before);
}

TEST_F(FileTypesTest, TreeImagesOnlyWithATree) {
  int begins = 0, ends = 0, refreshes = 0;
  QEMTreeViewHooks = {[] { return true; }, [&] { ++begins; }, [&] { ++ends; },
                      [&] { ++refreshes; }};
  UpdateGlobalTreeViewImages(true);
  UpdateGlobalTreeViewImages(false);
  QEMTreeViewHooks = {};
  UpdateGlobalTreeViewImages(true);
  EXPECT_EQ(begins, 2);
  EXPECT_EQ(ends, 2);
  EXPECT_EQ(refreshes, 1);
}

} // namespace
