#pragma once
// The 1,000,000-record repository in three languages that the browser benchmarks open: each
// language in its own order, so that every sort really reorders the rows.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace qembench {

constexpr int RepositoryRecords = 1000000;

inline void MakeThreeLanguageTMX(const std::filesystem::path& File) {
  if (std::filesystem::exists(File)) return;
  std::filesystem::create_directories(File.parent_path());
  std::filesystem::path part = File;
  part += ".part";
  {
    std::ofstream f(part, std::ios::binary);
    f << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<tmx version=\"1.4\"><header "
         "creationtool=\"bench\"/><body>";
    for (int i = 0; i < RepositoryRecords; ++i)
      f << "<tu tuid=\"id" << i << "\"><tuv xml:lang=\"en-US\"><seg>Original text number " << i
        << " of the menu</seg></tuv><tuv xml:lang=\"de-DE\"><seg>Übersetzter Text "
        << (int64_t(i) * 7919) % RepositoryRecords
        << "</seg></tuv><tuv xml:lang=\"fr-FR\"><seg>Texte traduit "
        << (int64_t(i) * 104729) % RepositoryRecords << "</seg></tuv></tu>";
    f << "</body></tmx>";
  }
  std::filesystem::rename(part, File); // a run broken off leaves no half file behind
}

// CPU time of the process: the machine is shared, wall time is not ours.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace qembench
