#pragma once
// The translator window: the grid over one translated file, its tool bar (the window's commands,
// the filter, column and repository menus, the text-label toggle) and its status bar; and
// TQEMTranslatorWindowForm, the editor window the desktop gives file types whose package brings
// none of its own.
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "editing/QEMTranslatorForm.h"
#include "translator/QEMFileTypes.h"

class QAction;
class QLabel;
class QMenu;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QVBoxLayout;
class TQEMConcordancePanel;
class TQEMSuggestionsPanel;
class TQEMWarningsPanel;
class TQEMTranslatorGridModel;
class TQEMTranslatorGridView;

// Keys as the shortcut registry names them: Windows virtual-key codes (0 for keys it does not
// name) and the shift state.
uint16_t QEMVirtualKey(int QtKey);
TShiftState QEMShiftState(Qt::KeyboardModifiers Modifiers);

class TQEMTranslatorWindow : public QWidget {
  Q_OBJECT
public:
  // FormId is what the window's keyboard shortcuts are registered under (its editor window,
  // TQEMTranslatorForm*): the host hands them keys while this window is the one shown.
  TQEMTranslatorWindow(TQEMTranslatorFormModel& Model, TQEMTranslatorForm* FormId,
                       QWidget* Parent = nullptr);
  ~TQEMTranslatorWindow() override;

  TQEMTranslatorFormModel& Model() const { return FModel; }
  TQEMTranslatorGridModel& GridModel() const { return *FGridModel; }
  TQEMTranslatorGridView* Grid() const { return FGrid; }
  QToolBar* ToolBar() const { return FToolBar; }
  QMenu* FilterMenu() const { return FFilterMenu; }
  QMenu* ColumnMenu() const { return FColumnMenu; }
  QMenu* RepositoryMenu() const { return FRepositoryMenu; }
  QLabel* StatusPanel(TQEMStatusPanel Panel) const { return FPanels[Panel]; }
  // The model's last message, or the hint of the entry being typed.
  QLabel* MessagePanel() const { return FMessage; }
  const TQEMShortcuts& Shortcuts() const { return FShortcuts; }
  // The aids below the grid.
  QTabWidget* Aids() const { return FAids; }
  TQEMSuggestionsPanel* Suggestions() const { return FSuggestions; }
  TQEMConcordancePanel* Concordance() const { return FConcordance; }
  TQEMWarningsPanel* WarningsList() const { return FWarnings; }
  // Takes the current row's suggestion of that position (0-based) after committing an edit in
  // progress; false when there is none or it was refused.
  bool AcceptSuggestion(int Index);

  // Commits an edit in progress. False when the model refused the entry: the editor stays open
  // with what was typed, and whatever was about to happen must not.
  bool CommitEditor();
  void FocusGrid();

  // The window's commands, as the tool bar and the shortcuts run them; each commits an edit in
  // progress first.
  void FileSave();
  void EditReset();
  void EditFind();
  void FindNext();
  void CopyOrig();
  void CopyPrevXlat();
  void CopyPrevLine();
  void ChangeToXlat();
  void AddToRepository();
  void GetFromRepository();
  void ShowMultiLineEdit();
  bool TextLabels() const;
  void SetTextLabels(bool Value);

  // EditFind: the search dialog for this window (the host wires it).
  std::function<void(TQEMTranslatorWindow&)> OnFind;

signals:
  void dockPanelVisibleChanged(bool Visible);

private:
  void CreateGridAndAids(QVBoxLayout& Layout);
  void CreateStatusBar(QVBoxLayout& Layout);
  void SetUpHeader();
  void ConnectGrid();
  void ConnectModel();
  void CreateActions();
  void CreateMenus();
  void RegisterShortcuts();
  void SyncHeader();
  void SyncCurrent(int Row, TQEMAllColId Col);
  void SyncSelection();
  void UpdateStatus();
  void UpdateFilterMenu();
  void UpdateColumnMenu();
  void UpdateRowHeight();
  template <class F> void Run(F&& Command);

  TQEMTranslatorFormModel& FModel;
  TQEMTranslatorForm* FFormId;
  TQEMTranslatorGridModel* FGridModel = nullptr;
  TQEMTranslatorGridView* FGrid = nullptr;
  QStackedWidget* FStack = nullptr;
  QLabel* FEmpty = nullptr;
  QTabWidget* FAids = nullptr;
  TQEMSuggestionsPanel* FSuggestions = nullptr;
  TQEMConcordancePanel* FConcordance = nullptr;
  TQEMWarningsPanel* FWarnings = nullptr;
  QToolBar* FToolBar = nullptr;
  QMenu* FFilterMenu = nullptr;
  QMenu* FColumnMenu = nullptr;
  QMenu* FRepositoryMenu = nullptr;
  std::array<QLabel*, QEMStatusPanelCount> FPanels{};
  QLabel* FMessage = nullptr;
  QString FHint;
  QAction *FActSave, *FActFind, *FActReset, *FActFindNext, *FActCopyOrig, *FActCopyPrevXlat,
      *FActCopyPrevLine, *FActChangeToXlat, *FActAddToRep, *FActGetFromRep, *FActMultiLine,
      *FActTextLabels;
  std::array<QAction*, 5> FActSuggestion{};
  std::array<QAction*, QEMStatusCount> FFilterActions{};
  QAction* FOnlyStrings = nullptr;
  std::array<QAction*, QEMGridColumnCount> FColumnActions{};
  TQEMShortcuts FShortcuts;
  bool FSyncingHeader = false;
  bool FSyncingCurrent = false;
  bool FDockPanelVisible = false;
};

// One editor window per file type: the model, its window and what the workspace asks of them.
// A file already open in another of these windows is shown there, not loaded twice.
class TQEMTranslatorWindowForm : public TQEMTranslatorForm {
public:
  // The window goes into Panel (hidden until the workspace shows it).
  TQEMTranslatorWindowForm(const TQEMTranslatorMgrClass& MgrClass, QWidget* Panel);
  ~TQEMTranslatorWindowForm() override;
  TQEMTranslatorWindowForm(const TQEMTranslatorWindowForm&) = delete;
  TQEMTranslatorWindowForm& operator=(const TQEMTranslatorWindowForm&) = delete;

  TQEMTranslatorFormModel& Model() const { return *FModel; }
  TQEMTranslatorWindow* Window() const { return FWindow; }
  // The window showing the file last asked of this one, when another window holds it.
  TQEMTranslatorWindowForm* ShownInstead() const { return FShownInstead; }
  static TQEMTranslatorWindowForm* FormOf(const TQEMTranslatorFormModel& Model);

  bool CanQuit(bool IsAppEnding) override;
  void ChangeSize() override {}
  void HideDockPanel() override;
  void LoadFromFile(const std::u16string& AFileName, int32_t ACol, int32_t AMgrIndex) override;
  void Search() override;
  void ShowDockPanel() override;
  void EditFile(const std::u16string& AFileName) override;
  void Idle(void* Sender, bool& Done) override;
  void SetVisible(bool Value) override;

private:
  std::unique_ptr<TQEMTranslatorFormModel> FModel;
  QPointer<TQEMTranslatorWindow> FWindow;
  TQEMTranslatorWindowForm* FShownInstead = nullptr;
};
