// Writes the translation-memory golden files: the example's memory with the records a translator
// adds (text that needs escaping, a line break, a note, a language the file did not have yet),
// saved by the repository engine, and the same memory exported as TMX.
// Usage: hlx_golden_tmx MEMORY REPOSITORY-OUT EXPORT-OUT (the clock comes from HLX_FIXED_TIME)
#include <cstdio>
#include <exception>
#include <filesystem>

#include "QEMLibrary.h"
#include "platform/QEMSysUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "repository/QEMRepositoryInterchange.h"

namespace {
struct TText {
  const char16_t* Tag;
  const char16_t* Text;
};

void Add(TQEMRepository& Repository, std::initializer_list<TText> Texts,
         const char16_t* Note = nullptr) {
  const auto rec = Repository.AddRecord();
  for (const TText& t : Texts) {
    Repository.AddLanguage(t.Tag);
    rec->SetString(t.Tag, t.Text);
  }
  if (Note) rec->SetNote(u"en-US", Note);
}
} // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "Usage: %s MEMORY REPOSITORY-OUT EXPORT-OUT\n", argv[0]);
    return 2;
  }
  QEMInitialize();
  int code = 0;
  try {
    std::filesystem::copy_file(argv[1], argv[2], std::filesystem::copy_options::overwrite_existing);
    auto repository = std::make_shared<TQEMRepository>();
    repository->LoadFromFile(UTF8ToUTF16(argv[2]));
    repository->BeginUpdate();
    Add(*repository, {{u"en-US", u"Contacts"}, {u"de-DE", u"Kontakte"}, {u"ja-JP", u"連絡先"}});
    Add(*repository,
        {{u"en-US", u"Save \"%s\" & <close>?"},
         {u"de-DE", u"\"%s\" speichern & <schließen>?"},
         {u"ja-JP", u"「%s」を保存して<閉じる>?"}},
        u"Asked when a changed contact is closed");
    Add(*repository, {{u"en-US", u"First line\r\nSecond line"},
                      {u"de-DE", u"Erste Zeile\r\nZweite Zeile"},
                      {u"it-IT", u"Prima riga\r\nSeconda riga"}});
    repository->EndUpdate();
    repository->Save();
    QEMRepositoryExportTMX(*repository, UTF8ToUTF16(argv[3]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    code = 1;
  }
  QEMFinalize();
  return code;
}
