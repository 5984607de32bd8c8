#pragma once
// Tools > Options: a page per property set the run mode keeps, every option with an editor that
// fits its kind. The dialog edits a copy of the options; OK saves the copy into them, Cancel
// drops it.
#include <QDialog>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QListWidget;
class QStackedWidget;
class TQEMINTOptionProps;
class TQEMPropertySet;
struct TQEMOptionView;

class TQEMOptionsDialog : public QDialog {
  Q_OBJECT
public:
  explicit TQEMOptionsDialog(TQEMINTOptionProps& Options, QWidget* Parent = nullptr);
  ~TQEMOptionsDialog() override;

  const TQEMINTOptionProps& Edited() const { return *FEdited; }
  // The editor of a field (named "Set.Field"); null for a set the run mode does not keep.
  QWidget* Editor(std::u16string_view Set, std::u16string_view Field) const;
  // Shows the page of Set; false when there is none.
  bool ShowPage(std::u16string_view Set);
  QListWidget* PageList() const { return FPageList; }

public slots:
  void accept() override;

private:
  QWidget* MakePage(TQEMPropertySet& Set, const QString& Title);
  // A text editor with a button that chooses a program or a repository file.
  QWidget* WithBrowseButton(QLineEdit* Edit, bool Program);
  QWidget* MakeEditor(TQEMPropertySet& Set, int Index, const TQEMOptionView& View,
                      const std::u16string& Caption);

  TQEMINTOptionProps& FOptions;
  std::unique_ptr<TQEMINTOptionProps> FEdited;
  QListWidget* FPageList;
  QStackedWidget* FStack;
  std::vector<std::u16string> FPageSets;
};

// What the options dialog shows for a field: its caption, else the title of its group. Empty
// when the dialog has no caption for it.
std::u16string_view QEMOptionCaption(std::u16string_view Set, std::u16string_view Field);

// Tools > "&Options..." over the process's options. True when the user saved.
bool QEMShowOptionsDialog(QWidget* Parent);
