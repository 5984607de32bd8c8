// The switches of XLIFF and PO export and import: what they accept and what they refuse.
#include <gtest/gtest.h>

#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "workspace/CommandLineRefusal.h"
#include "workspace/QEMCommandLine.h"

namespace {

TEST(CommandLineExchange, ExportSwitches) {
  THlxCommandLine c;
  c.ParseCmdLine({u"--EXPORT=out", u"--format", u"PO", u"--language", u"de-DE", u"--language=fr-FR",
                  u"--file", u"a.ofm", u"--file", u"src/b.rc", u"/p/p.hlx"});
  EXPECT_EQ(c.ExchangeRun(), THlxExchangeRun::erExport);
  EXPECT_TRUE(c.BatchMode());
  EXPECT_TRUE(c.ExportPO());
  EXPECT_TRUE(c.ExchangePath().ends_with(u"/out")) << UTF16ToUTF8(c.ExchangePath());
  EXPECT_EQ(c.ExportLanguages(), (std::vector<std::u16string>{u"de-DE", u"fr-FR"}));
  EXPECT_EQ(c.ExportFiles(), (std::vector<std::u16string>{u"a.ofm", u"src/b.rc"}));
}

TEST(CommandLineExchange, RefusedAsUsageErrors) {
  const auto usage = [](std::u16string_view Why) { return Format(SHlxTryHelp, Why); };
  EXPECT_EQ(Refusal({u"--export", u"o", u"--format", u"tmx", u"p.hlx"}),
            usage(Format(SExchangeUnknownFormat, u"tmx")));
  EXPECT_EQ(Refusal({u"--export", u"o", u"--language", u"not a tag", u"p.hlx"}),
            usage(Format(SExchangeBadLanguage, u"not a tag")));
  EXPECT_EQ(Refusal({u"--export", u"o", u"--import", u"i", u"p.hlx"}),
            usage(std::u16string(SExchangeOneRun)));
  EXPECT_EQ(Refusal({u"-I", u"--import", u"i", u"p.hlx"}), usage(std::u16string(SExchangeOneRun)));
  EXPECT_EQ(Refusal({u"--export", u"o"}), usage(Format(SExchangeNeedsProject, u"--export")));
  EXPECT_EQ(Refusal({u"--format", u"po", u"p.hlx"}),
            usage(Format(SExchangeOnlyWithExport, u"--format")));
  EXPECT_EQ(Refusal({u"--export", u"o", u"--file"}), usage(Format(SHlxMissingValue, u"--file")));
  EXPECT_NE(Refusal({u"--import", u"/no/such/catalogue.po", u"/no/such/p.hlx"}), u"");
}

} // namespace
