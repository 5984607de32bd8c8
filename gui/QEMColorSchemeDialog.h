#pragma once
// The grids' colour schemes: pick one, copy, rename or delete schemes, change a slot's colour,
// switch colours off, and see a sample grid drawn with the choice. Built-in schemes are only
// copied, never changed. The dialog edits a copy; OK saves it, Cancel drops it.
#include <QDialog>
#include <array>
#include <memory>

#include "settings/QEMGridColor.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// A few grid rows, one per item status and one selected, drawn as the translation grid draws
// them with the selected scheme of Schemes.
class TQEMColorPreview : public QWidget {
  Q_OBJECT
public:
  explicit TQEMColorPreview(const TQEMColorSchemes& Schemes, QWidget* Parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  const TQEMColorSchemes& FSchemes;
};

class TQEMColorSchemeDialog : public QDialog {
  Q_OBJECT
public:
  explicit TQEMColorSchemeDialog(TQEMColorSchemes& Schemes, QWidget* Parent = nullptr);
  ~TQEMColorSchemeDialog() override;

  const TQEMColorSchemes& Edited() const { return *FEdited; }
  QListWidget* SchemeList() const { return FList; }
  QPushButton* CopyButton() const { return FCopy; }
  QPushButton* RenameButton() const { return FRename; }
  QPushButton* DeleteButton() const { return FDelete; }
  QPushButton* SlotButton(TQEMColor Slot) const { return FSlots[Slot]; }
  QCheckBox* UseColorsCheck() const { return FUseColors; }
  TQEMColorPreview* Preview() const { return FPreview; }

  // What the buttons do, on the selected scheme.
  void CopyScheme();
  void RenameScheme();
  void DeleteScheme();
  // The colour dialog for a slot.
  void ChooseSlotColor(TQEMColor Slot);
  // False, and nothing changed, for a built-in scheme.
  bool SetSlotColor(TQEMColor Slot, TColor Color);

public slots:
  void accept() override;

private:
  void FillList();
  void UpdateControls();

  TQEMColorSchemes& FSchemes;
  std::unique_ptr<TQEMColorSchemes> FEdited;
  QListWidget* FList;
  QPushButton* FCopy;
  QPushButton* FRename;
  QPushButton* FDelete;
  QCheckBox* FUseColors;
  QLabel* FBuiltInNote;
  std::array<QPushButton*, QEMColorCount> FSlots{};
  TQEMColorPreview* FPreview;
};

// The colour-scheme dialog over the process's schemes. True when the user saved.
bool QEMShowColorSchemeDialog(QWidget* Parent);
