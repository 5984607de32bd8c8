#include <gtest/gtest.h>

#include "core/QEMXMLUtils.h"
#include "project/QEMXmlIniFile.h"

namespace {

class XmlIniFileTest : public ::testing::Test {
protected:
  void Load(const std::u16string& Text) {
    ASSERT_TRUE(LoadFromString(*FDoc, Text)) << UTF16ToUTF8(FDoc->LastError());
    FIni = std::make_unique<TXmlIniFile>(FDoc->DocumentElement());
  }
  std::string Saved() const {
    std::string s = SaveToBytes(*FDoc);
    return s.substr(s.find("<P"));
  }
  static std::string Joined(const TStringList& L) {
    std::string r;
    for (int i = 0; i < L.Count(); ++i)
      r += (i ? "|" : "") + UTF16ToUTF8(L.Get(i));
    return r;
  }

  std::shared_ptr<TQEMXMLDocument> FDoc = CreateNewDocument();
  std::unique_ptr<TXmlIniFile> FIni;
};

TEST_F(XmlIniFileTest, WritesKeysAsElementsNamedAfterTheirSection) {
  Load(u"<P><Other/></P>");
  FIni->WriteString(u"Language", u"ProjectLang", u"$00000409");
  FIni->WriteString(u"Misc Files", u"a\\b c", u"x");
  FIni->WriteString(u"Language", u"ProjectLang", u"$00000407");
  EXPECT_EQ(Saved(),
            "<P><Other/><Language><Language Name=\"ProjectLang\">$00000407</Language></Language>"
            "<Misc_Files><Misc_Files Name=\"a_b_c\">x</Misc_Files></Misc_Files></P>\r\n");
  EXPECT_EQ(TXmlIniFile::NormalizeIdent(u"Misc Files\\x"), u"Misc_Files_x");
}

TEST_F(XmlIniFileTest, ReadsThroughTheNormalizedNames) {
  Load(u"<P><Misc_Files><Misc_Files Name=\"Item_0\">a.rc</Misc_Files></Misc_Files></P>");
  EXPECT_EQ(FIni->ReadString(u"Misc Files", u"Item 0", u"-"), u"a.rc");
  EXPECT_EQ(FIni->ReadString(u"Misc\\Files", u"Item\\0", u"-"), u"a.rc");
  EXPECT_EQ(FIni->ReadString(u"Misc Files", u"Item1", u"-"), u"-");
  EXPECT_EQ(FIni->ReadString(u"Nothing", u"Item 0", u"-"), u"-");
  EXPECT_TRUE(FIni->SectionExists(u"Misc Files"));
  EXPECT_TRUE(FIni->ValueExists(u"Misc Files", u"Item_0"));
}

TEST_F(XmlIniFileTest, KeyElementsMustCarryTheSectionName) {
  Load(u"<P><S><K Name=\"a\">wrong</K><S Name=\"a\">right</S></S></P>");
  EXPECT_EQ(FIni->ReadString(u"S", u"a", u""), u"right");
  TStringList keys;
  FIni->ReadSection(u"S", keys);
  EXPECT_EQ(Joined(keys), "a");
}

TEST_F(XmlIniFileTest, IntegersAndBooleans) {
  Load(u"<P><O><O Name=\"dec\">1033</O><O Name=\"hex\">$00000407</O><O Name=\"junk\">12a</O>"
       u"<O Name=\"empty\"></O><O Name=\"yes\">True</O><O Name=\"lower\">true</O></O></P>");
  EXPECT_EQ(FIni->ReadInteger(u"O", u"dec", -1), 1033);
  EXPECT_EQ(FIni->ReadInteger(u"O", u"hex", -1), 0x407);
  EXPECT_EQ(FIni->ReadInteger(u"O", u"junk", -1), -1);
  EXPECT_EQ(FIni->ReadInteger(u"O", u"missing", -1), -1);
  EXPECT_TRUE(FIni->ReadBool(u"O", u"yes", false));
  EXPECT_FALSE(FIni->ReadBool(u"O", u"lower", true));
  EXPECT_TRUE(FIni->ReadBool(u"O", u"empty", true));
  EXPECT_TRUE(FIni->ReadBool(u"O", u"missing", true));

  FIni->WriteInteger(u"O", u"dec", -5);
  FIni->WriteBool(u"O", u"yes", false);
  EXPECT_EQ(FIni->ReadString(u"O", u"dec", u""), u"-5");
  EXPECT_EQ(FIni->ReadString(u"O", u"yes", u""), u"False");
}

TEST_F(XmlIniFileTest, SectionsListOnlyKeysHoldingText) {
  Load(u"<P><S><S Name=\"a\">1</S><S Name=\"empty\"/><S Name=\"nested\"><X/></S><S "
       u"Name=\"b\">x=y</S>"
       u"<S Name=\"a\">2</S></S><T><T Name=\"none\"></T></T></P>");
  TStringList l;
  FIni->ReadSection(u"S", l);
  EXPECT_EQ(Joined(l), "a|b|a");
  FIni->ReadSectionValues(u"S", l);
  EXPECT_EQ(Joined(l), "a=1|b=x=y|a=2");
  FIni->ReadSections(l);
  EXPECT_EQ(Joined(l), "S|T");
  // A section of keys without text does not exist.
  EXPECT_FALSE(FIni->SectionExists(u"T"));
  EXPECT_FALSE(FIni->SectionExists(u"U"));
}

TEST_F(XmlIniFileTest, EraseSectionAndDeleteKey) {
  Load(u"<P><S><S Name=\"a\">1</S><S Name=\"b\">2</S><S Name=\"a\">3</S></S><T><T "
       u"Name=\"x\">y</T></T></P>");
  FIni->DeleteKey(u"S", u"a");
  FIni->DeleteKey(u"S", u"missing");
  FIni->DeleteKey(u"Missing", u"a");
  EXPECT_EQ(Saved(),
            "<P><S><S Name=\"b\">2</S><S Name=\"a\">3</S></S><T><T Name=\"x\">y</T></T></P>\r\n");
  FIni->EraseSection(u"S");
  FIni->EraseSection(u"Missing");
  FIni->UpdateFile();
  EXPECT_EQ(Saved(), "<P><T><T Name=\"x\">y</T></T></P>\r\n");
}

} // namespace
