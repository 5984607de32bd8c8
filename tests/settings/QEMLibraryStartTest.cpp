#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "QEMLibrary.h"
#include "settings/QEMINTOptionProp.h"
#include "settings/SettingsTestUtil.h"
#include "support/TestSupport.h"

namespace {

struct TFileState {
  std::string Bytes;
  timespec Modified{};
};

TFileState StateOf(const std::string& Path) {
  struct stat st {};
  EXPECT_EQ(stat(Path.c_str(), &st), 0) << Path;
  return {qemtest::ReadTextFile(Path), st.st_mtim};
}

// Stops the library the suite runs with, and starts it again whatever the test did.
struct TRestart {
  TRestart() { QEMFinalize(); }
  ~TRestart() {
    if (!QEMInitialized()) QEMInitialize();
  }
};

} // namespace

// Every start reads the options, colour schemes, fonts and packages list, and every stop saves
// some of them back: with nothing changed, the settings file keeps every byte and its time.
TEST(LibraryStart, StartAndStopWithNothingChangedLeaveTheSettingsFileAlone) {
  const std::string path = qemtest::TestRegistryPath();
  TRestart restart;
  QEMInitialize(); // a first start may store what is missing
  QEMFinalize();
  const TFileState before = StateOf(path);
  for (int i = 0; i < 2; ++i) {
    QEMInitialize();
    QEMFinalize();
  }
  const TFileState after = StateOf(path);
  EXPECT_EQ(after.Bytes, before.Bytes);
  EXPECT_EQ(after.Modified.tv_sec, before.Modified.tv_sec);
  EXPECT_EQ(after.Modified.tv_nsec, before.Modified.tv_nsec);
  // The journal may stay beside it, but empty: the settings file alone holds the settings.
  const std::string wal = path + "-wal";
  EXPECT_TRUE(!std::filesystem::exists(wal) || std::filesystem::file_size(wal) == 0);

  // A changed option is still saved.
  QEMInitialize();
  QEMINTOptionProps->GridSizeX = QEMINTOptionProps->GridSizeX == 8 ? 16 : 8;
  QEMINTOptionProps->SaveOptions();
  QEMFinalize();
  EXPECT_NE(StateOf(path).Bytes, before.Bytes);
  settingstest::WipeSettings();
}
