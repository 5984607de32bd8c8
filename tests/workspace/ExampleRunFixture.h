#pragma once
// A copy of the bundled example after one "hlx -I" run with the default packages as built and
// the example's translation memory.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "support/TestSupport.h"
#include "workspace/QEMWorkspace.h"

class ExampleRunFixture : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::copy(HLX_EXAMPLE_DIR, Dir.Path(), std::filesystem::copy_options::recursive);
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
      reg.WriteInteger(u"TranslatorCount", 0);
    }
    QEMRepositorySetFileName(Dir.U16("demo.tmx"));
    TQEMWorkspace w;
    ASSERT_EQ(w.ExecuteCmdLine({u"-I", Dir.U16("demo.hlx")}), 0);
  }
  void TearDown() override { QEMRepositorySetFileName(u""); }

  qemtest::TTempDir Dir;
};
