#pragma once
// Spell checking of translations with the system's Hunspell dictionaries. The dictionary comes
// from the target language's tag; without one installed the checker is disabled and finds
// nothing. Accelerator markers, format specifiers, numbers and addresses are not words. Words
// the user adds are kept in a file beside the settings database, one per dictionary.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/QEMExport.h"
#include "toolkit/QEMQualityChecks.h"

class QEM_API TQEMSpellChecker {
public:
  // LangTag in BCP 47 form ("de-DE", "de"). AccelChar 0: texts carry no accelerator markers.
  explicit TQEMSpellChecker(const std::u16string& LangTag, char16_t AccelChar = u'&');
  ~TQEMSpellChecker();
  TQEMSpellChecker(const TQEMSpellChecker&) = delete;
  TQEMSpellChecker& operator=(const TQEMSpellChecker&) = delete;

  bool Enabled() const;
  // The dictionary's name ("de_DE"), empty when disabled.
  const std::u16string& DictionaryName() const;

  // The misspelt words of Text, in order; a range covers the word as written, markers included.
  std::vector<TQEMTextRange> Check(std::u16string_view Text) const;
  // Word may still hold an accelerator marker. Disabled: every word is correct.
  bool IsCorrect(std::u16string_view Word) const;
  std::vector<std::u16string> Suggest(std::u16string_view Word) const;
  // Stores Word (without markers) in the user dictionary; from then on it is correct. False
  // when disabled or Word is empty. Raises EQEMError naming the file when it cannot be written,
  // and the word is then not added.
  bool AddToUserDictionary(std::u16string_view Word);

  // The folders searched for dictionaries: $HLX_DICTIONARY_PATH (folders separated by ':')
  // when set, else /usr/share/hunspell.
  static std::vector<std::u16string> DictionaryFolders();
  // The dictionary for a tag as a path without extension, empty when none is installed: the
  // exact language and region, then the language's likely region (de -> de_DE), then the
  // language alone, then any region of the language.
  static std::u16string FindDictionary(const std::u16string& LangTag);
  // The user dictionary of a dictionary name, beside the settings database.
  static std::u16string UserDictionaryFileName(const std::u16string& DictName);

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};
