#pragma once
// What a command line is refused with, checking its named files too; empty when it is taken.
#include <string>
#include <vector>

#include "workspace/QEMCommandLine.h"

inline std::u16string Refusal(const std::vector<std::u16string>& Args) {
  THlxCommandLine c;
  try {
    c.ParseCmdLine(Args);
    c.CheckNamedFiles();
  } catch (const EHLXException& e) {
    return e.Message();
  }
  return {};
}
