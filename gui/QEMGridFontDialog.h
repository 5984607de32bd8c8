#pragma once
// The grids' fonts: the comment column's font and one font per language, each chosen with the
// font dialog or set back to the default font. The dialog edits a copy; OK saves every font and
// tells the open grids, Cancel drops the copy.
#include <QDialog>
#include <memory>

#include "core/QEMTypes.h"

class QComboBox;
class QFont;
class QLabel;
class QListWidget;
class QPushButton;
class TQEMGridFonts;
struct TQEMFont;

class TQEMGridFontDialog : public QDialog {
  Q_OBJECT
public:
  explicit TQEMGridFontDialog(TQEMGridFonts& Fonts, QWidget* Parent = nullptr);
  ~TQEMGridFontDialog() override;

  const TQEMGridFonts& Edited() const { return *FEdited; }
  // Row 0 is the comment font, then the languages of the table in its order.
  QListWidget* Entries() const { return FEntries; }
  QComboBox* LanguageChoice() const { return FLanguages; }
  QPushButton* ChangeButton() const { return FChange; }

  // Adds Lang (with its stored font, else the default font), selects it and returns its row.
  int AddLanguage(LCID Lang);
  // The font dialog for the selected entry.
  void ChooseFont();
  void SetEntryFont(int Row, const QFont& Font);
  void UseDefaultFont();

public slots:
  void accept() override;

private:
  TQEMFont* EntryFont(int Row) const;
  void FillEntries(int Select);
  void FillLanguages();
  void ShowSample();

  TQEMGridFonts& FFonts;
  std::unique_ptr<TQEMGridFonts> FEdited;
  QListWidget* FEntries;
  QComboBox* FLanguages;
  QPushButton* FAdd;
  QPushButton* FChange;
  QPushButton* FDefault;
  QLabel* FSample;
};

// The grid-font dialog over the process's fonts. True when the user saved.
bool QEMShowGridFontDialog(QWidget* Parent);
