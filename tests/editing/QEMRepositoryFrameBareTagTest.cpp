// The browser over a memory from another tool: a bare language tag is named and drawn as its
// language, not as an unknown tag.
#include <gtest/gtest.h>

#include "core/QEMIntlUtils.h"
#include "editing/QEMRepositoryFrame.h"
#include "platform/QEMUIServices.h"

namespace {

TEST(RepositoryFrameBareTagTest, BareTagsAreTheirLanguage) {
  const auto old = QEMSetUIServices(std::make_shared<TQEMScriptedUIServices>());
  auto rep = std::make_shared<TQEMRepository>();
  rep->SetLoaded(true);
  auto rec = rep->AddRecord();
  for (const char16_t* tag : {u"de", u"en-US", u"x-custom", u"zz"})
    rec->SetString(tag, u"text");
  {
    TQEMRepositoryFrame frame(rep);
    const int de = frame.ColumnOf(u"de");
    ASSERT_GE(de, 0);
    EXPECT_EQ(frame.Column(de).Caption, u"German");
    EXPECT_EQ(frame.Column(de).Lang, LangTagToLCID(u"de-DE"));
    EXPECT_EQ(frame.Column(frame.ColumnOf(u"x-custom")).Caption, u"x-custom");
    EXPECT_EQ(frame.Column(frame.ColumnOf(u"zz")).Lang, 0u);
  }
  QEMSetUIServices(old);
}

} // namespace
