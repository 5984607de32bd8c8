// Every suite runs against a private settings hive and a started library, as hlx does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "QEMLibrary.h"
#include "core/QEMStrs.h"
#include "support/TestSupport.h"

namespace {
class TLibraryEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    FHome = std::make_unique<qemtest::TTempDir>();
    setenv("HLX_REGISTRY", (FHome->Path() / "registry.db").c_str(), 1);
    setenv("TMPDIR", FHome->Path().c_str(), 1);
    QEMInitialize();
  }
  void TearDown() override {
    QEMFinalize();
    FHome.reset();
  }

private:
  std::unique_ptr<qemtest::TTempDir> FHome;
};
} // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QEMSetProgramArgs(argc, argv);
  ::testing::AddGlobalTestEnvironment(new TLibraryEnvironment);
  return RUN_ALL_TESTS();
}
