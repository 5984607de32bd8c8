#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/QEMSysUtils.h"

namespace qemtest {

TTempDir::TTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "qemtest-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  FPath = tmpl;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::u16string TTempDir::U16(const std::string& Name) const {
  return UTF8ToUTF16((Name.empty() ? FPath : FPath / Name).string());
}

void WriteTextFile(const std::filesystem::path& Path, const std::string& Text) {
  std::filesystem::create_directories(Path.parent_path());
  std::ofstream f(Path, std::ios::binary | std::ios::trunc);
  f << Text;
}

std::string ReadTextFile(const std::filesystem::path& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string TestRegistryPath() {
  const char* p = std::getenv("HLX_REGISTRY");
  return p ? p : "";
}

} // namespace qemtest
