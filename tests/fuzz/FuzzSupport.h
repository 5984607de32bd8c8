#pragma once
// Shared set-up of the fuzz targets: a started library on a private settings hive.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "QEMLibrary.h"

inline const std::filesystem::path& FuzzDir() {
  static const std::filesystem::path dir = [] {
    char tmpl[] = "/tmp/hlx-fuzz-XXXXXX";
    const std::filesystem::path d = mkdtemp(tmpl);
    setenv("HLX_REGISTRY", (d / "registry.db").c_str(), 1);
    QEMInitialize();
    std::atexit([] {
      QEMFinalize();
      std::error_code ec;
      std::filesystem::remove_all(FuzzDir(), ec);
    });
    return d;
  }();
  return dir;
}
