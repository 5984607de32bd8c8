#pragma once
// The translator window's aids below the grid: the current row's fuzzy suggestions, the
// concordance search over the repository and the file's warnings; and the spelling underline
// of the translation editor. Views only: what is suggested, found or flagged comes from the
// window model.
#include <QSyntaxHighlighter>
#include <QTreeWidget>
#include <QWidget>
#include <vector>

#include "editing/QEMTranslatorForm.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

// Text with ranges marked, as HTML for the marking delegate.
QString QEMMarkedHtml(const std::u16string& Text, const std::vector<TQEMFuzzyRange>& Ranges);

class TQEMSuggestionsPanel : public QTreeWidget {
  Q_OBJECT
public:
  TQEMSuggestionsPanel(TQEMTranslatorFormModel& Model, QWidget* Parent);
  // Shows the suggestions of Row (none for -1).
  void ShowRow(int Row);
  int Row() const { return FRow; }
  const std::vector<TQEMFuzzyMatch>& Matches() const { return FMatches; }
  // Puts the suggestion at Index into the row's translation; false when there is none or the
  // model refused it.
  bool Accept(int Index);

private:
  TQEMTranslatorFormModel& FModel;
  int FRow = -1;
  std::vector<TQEMFuzzyMatch> FMatches;
};

class TQEMConcordancePanel : public QWidget {
  Q_OBJECT
public:
  TQEMConcordancePanel(TQEMTranslatorFormModel& Model, QWidget* Parent);
  QLineEdit* Field() const { return FField; }
  QTreeWidget* Results() const { return FResults; }
  void Search();

private:
  TQEMTranslatorFormModel& FModel;
  QLineEdit* FField;
  QCheckBox* FCase;
  QCheckBox* FWhole;
  QTreeWidget* FResults;
};

class TQEMWarningsPanel : public QTreeWidget {
  Q_OBJECT
public:
  TQEMWarningsPanel(TQEMTranslatorFormModel& Model, QWidget* Parent);
  void Refresh();

private:
  TQEMTranslatorFormModel& FModel;
};

// Underlines the misspelt words of an editor's text and puts suggestions and "add to
// dictionary" first on its context menu. The editor shows one cell: only that text is checked.
class TQEMSpellHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
public:
  TQEMSpellHighlighter(QPlainTextEdit& Editor, TQEMSpellChecker& Speller);
  // The misspelt word at a character position of the editor's text, empty when none.
  TQEMTextRange WordAt(int Position) const;

protected:
  void highlightBlock(const QString& Text) override;

private:
  void ShowMenu(const QPoint& At);
  QPlainTextEdit& FEditor;
  TQEMSpellChecker& FSpeller;
};
