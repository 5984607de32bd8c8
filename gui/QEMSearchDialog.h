#pragma once
// The "Search" dialog over TfrmQEMSearchForm: the Find page for the file of a translator window,
// the Find in Files page for files of the workspace. Every control writes through to the form
// as it changes; OK asks the form and closes only when it agrees.
#include <QDialog>
#include <functional>

#include "core/QEMTypes.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;
class TfrmQEMSearchForm;
struct TQEMSearchOptions;

class TQEMSearchDialog : public QDialog {
  Q_OBJECT
public:
  TQEMSearchDialog(TfrmQEMSearchForm& Form, QWidget* Parent = nullptr);

  TfrmQEMSearchForm& Form() const { return FForm; }
  QTabWidget* Pages() const { return FPages; }
  // Null when the form does not offer the page.
  QWidget* FindPage() const { return FFindPage; }
  QWidget* FilesPage() const { return FFilesPage; }

  // The page's text field and font button (page stSearch or stSearchInFiles).
  QComboBox* TextBox(int Page) const;
  QToolButton* FontButton(int Page) const;
  // Gives the page's text field the grid font of Lang, which becomes the text's language. Page
  // is stSearch or stSearchInFiles, as for the other page accessors.
  void SetTextLanguage(int Page, LCID Lang);

  QListWidget* Columns() const { return FColumns; }
  QListWidget* FileTypes() const { return FFileTypes; }
  QListWidget* Fields() const { return FFields; }
  QCheckBox* KeepSynchronized() const { return FKeepSync; }
  QPushButton* OKButton() const { return FOK; }
  QPushButton* HelpButton() const { return FHelp; }
  // The pop-up a check list shows: "Check all" and "Uncheck all".
  QMenu* CheckListMenu(QListWidget* List) const;

public slots:
  void accept() override;

private:
  struct TPage {
    QComboBox* Text = nullptr;
    QToolButton* Font = nullptr;
    QMenu* FontMenu = nullptr;
  };
  QWidget* CreateFindPage();
  QWidget* CreateFilesPage();
  QWidget* CreateTextRow(TPage& Page, TQEMSearchOptions& Options);
  QWidget* CreateOptions(TQEMSearchOptions& Options);
  QListWidget* CreateCheckList(const char* Name, const std::function<void(bool)>& CheckAll);
  void FillFontMenu(int Page);
  void ChooseOtherFont(int Page);
  TQEMSearchOptions& Options(int Page) const;

  void FillColumns();
  void FillFileTypes();
  void FillFields();

  TfrmQEMSearchForm& FForm;
  QTabWidget* FPages;
  QWidget* FFindPage = nullptr;
  QWidget* FFilesPage = nullptr;
  TPage FText[2];
  QListWidget* FColumns = nullptr;
  QListWidget* FFileTypes = nullptr;
  QListWidget* FFields = nullptr;
  QLabel* FFieldsLabel = nullptr;
  QCheckBox* FKeepSync = nullptr;
  QPushButton* FOK;
  QPushButton* FHelp;
  bool FFilling = false;
};

// Shows the dialog modally; true when it closed with a passed OK (the form then holds what the
// user chose).
bool QEMShowSearchDialog(QWidget* Parent, TfrmQEMSearchForm& Form);
