#pragma once
// Shared helpers of the test suites: private temporary folders and small file utilities.
#include <filesystem>
#include <string>

namespace qemtest {

// A fresh folder that is removed with everything in it when the object goes.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  // The folder (or a file in it) as UTF-16 text, the form the library takes.
  std::u16string U16(const std::string& Name = "") const;

private:
  std::filesystem::path FPath;
};

void WriteTextFile(const std::filesystem::path& Path, const std::string& Text);
std::string ReadTextFile(const std::filesystem::path& Path);

// The registry file the test process was started with (a private temporary file).
std::string TestRegistryPath();

} // namespace qemtest
