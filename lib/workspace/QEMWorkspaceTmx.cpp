#include "workspace/QEMWorkspaceTmx.h"

#include <filesystem>

#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "repository/QEMRepositoryInterchange.h"
#include "resources/QEMConst.h"

namespace {

// The repository, read now; null after reporting why it cannot be.
std::shared_ptr<IQEMRepository> OpenRepository(const TQEMTmxReport& Error) {
  try {
    QEMRepositoryOpen();
    return QEMRepositoryGetRepository();
  } catch (const EQEMError& e) {
    Error(e.Message());
  }
  return nullptr;
}

bool SameFile(const std::u16string& A, const std::u16string& B) {
  std::error_code ec;
  return A == B || std::filesystem::equivalent(QEMNativePath(A), QEMNativePath(B), ec);
}

} // namespace

void QEMRunTmxImport(const std::u16string& FileName, const TQEMTmxReport& Summary,
                     const TQEMTmxReport& Error) {
  const auto repo = OpenRepository(Error);
  if (!repo) return;
  TQEMTMXImportCounts c;
  try {
    c = QEMRepositoryImportTMX(*repo, FileName);
    // Saved at once: a failure is this step's, named here, not one at the end of the program.
    if (c.Added + c.Updated > 0) QEMRepositorySave();
  } catch (const EQEMError& e) {
    Error(e.Message());
    return;
  }
  Summary(Format(STmxImported, FileName, c.Added, c.Updated, c.Skipped));
}

void QEMRunTmxExport(const std::u16string& FileName, const TQEMTmxReport& Summary,
                     const TQEMTmxReport& Error) {
  const auto repo = std::dynamic_pointer_cast<TQEMRepository>(OpenRepository(Error));
  if (!repo) return;
  // Written over, the repository's file would change its form.
  if (!repo->FileName().empty() && SameFile(FileName, repo->FileName())) {
    Error(Format(STmxExportOverRepository, repo->FileName()));
    return;
  }
  try {
    const int units = QEMRepositoryExportTMX(*repo, FileName);
    Summary(Format(STmxExported, FileName, units));
  } catch (const EQEMError& e) {
    Error(e.Message());
  }
}
