#pragma once
// TMX exchange with other tools: a TMX file of another tool merged into a repository, and a
// repository written as TMX 1.4b that the TMX 1.4 DTD accepts. The repository's own file keeps
// its own form either way.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/QEMDateTime.h"
#include "repository/QEMNewRepositoryEngine.h"

// Per translation unit of the file read.
struct TQEMTMXImportCounts {
  int Added = 0;   // became a new record
  int Updated = 0; // an existing record took translations it did not have
  int Skipped = 0; // held already, or nothing usable (no source, no text, an unusable tag)
};

// A file this large is refused before it is read; so is one bringing more languages.
inline constexpr uint64_t QEMTMXImportMaxBytes = uint64_t(512) << 20;
inline constexpr int QEMTMXImportMaxLanguages = 1000;

// Merges the units of a TMX file into Repository. A unit's original is its tuv in the unit's
// srclang, else the header's, else (none or "*all*") its first tuv. A record with the same
// original (and the unit's tuid, when it has one) whose translations agree with the unit's
// takes the ones it lacks; otherwise the unit becomes a new record: a translation already held
// is never overwritten. Tags are kept as the file spells them (a bare "de" serves "de-DE" at
// look-up). A file that cannot be read, or is broken, raises EQEMRepositoryError naming the line
// where that is known, and the repository stays as it was.
QEM_API TQEMTMXImportCounts QEMRepositoryImportTMX(IQEMRepository& Repository,
                                                   const std::u16string& FileName);
// The same over the file's bytes; FileName only names it in messages.
QEM_API TQEMTMXImportCounts QEMRepositoryImportTMXBytes(IQEMRepository& Repository,
                                                        std::string_view Bytes,
                                                        const std::u16string& FileName);

// The repository's records as a TMX 1.4b document: notes and properties before the seg, dates
// as YYYYMMDDThhmmssZ, one tuv per language with text, units without any left out. NowUTC is
// the export's changedate. Units receives the number of units written.
QEM_API std::string QEMRepositoryTMXText(const TQEMRepository& Repository, TDateTime NowUTC,
                                         int* Units = nullptr);
// Writes that document to FileName atomically, stamped with the clock; returns the units.
QEM_API int QEMRepositoryExportTMX(const TQEMRepository& Repository,
                                   const std::u16string& FileName);
