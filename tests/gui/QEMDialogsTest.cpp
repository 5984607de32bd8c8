// The options, colour-scheme and grid-font dialogs: edits reach the settings and the hive on OK
// only, every option has its editor, built-in schemes stay as they are.
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "GuiTestSupport.h"
#include "QEMColorSchemeDialog.h"
#include "QEMGridFontDialog.h"
#include "QEMOptionsDialog.h"
#include "QEMQtText.h"
#include "core/QEMStrs.h"
#include "platform/QEMRegistry.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMGridColor.h"
#include "settings/QEMGridFont.h"
#include "settings/QEMINTOptionProp.h"

using hlxguitest::TModalAnswerer;

namespace {

// The stored integer, or Missing when the value or key is absent.
int64_t StoredInt(const std::u16string& Key, const std::u16string& Name, int64_t Missing = -1) {
  TRegistry r;
  if (!r.OpenKeyReadOnly(Key) || r.GetDataType(Name) != TRegDataType::rdInteger) return Missing;
  return r.ReadInteger(Name);
}

std::u16string StoredStr(const std::u16string& Key, const std::u16string& Name) {
  TRegistry r;
  if (!r.OpenKeyReadOnly(Key) || r.GetDataType(Name) != TRegDataType::rdString) return u"<none>";
  return r.ReadString(Name);
}

bool KeyExists(const std::u16string& Key) {
  TRegistry r;
  return r.KeyExists(Key);
}

// Every field as "Set.Field=value", so two states compare at once.
QString Dump(const TQEMINTOptionProps& O) {
  QString r;
  for (const TQEMPropertySet* s : O.PropertySets())
    for (int i = 0; i < s->Count(); ++i)
      r += QStr(s->Name() + u"." + s->FieldName(i) + u"=") +
           (s->FieldType(i) == TQEMOptionType::otText ? QStr(s->GetText(i))
                                                      : QString::number(s->GetValue(i))) +
           QLatin1Char('\n');
  return r;
}

std::u16string SetKey(const std::u16string& Set) {
  return QEMINTOptionProps->FindPropertySet(Set)->Key();
}

void SaveShot(QWidget& W, const char* Name) {
  QDir().mkpath(QStringLiteral(HLX_SCREENSHOT_DIR));
  W.grab().save(QStringLiteral(HLX_SCREENSHOT_DIR "/") + QLatin1String(Name));
}

struct TFontCounter {
  int Calls = 0;
  void Changed(TQEMGridFonts&) { ++Calls; }
};

} // namespace

class QEMDialogsTest : public QObject {
  Q_OBJECT
  std::shared_ptr<TQEMScriptedUIServices> FUI;
  std::shared_ptr<IQEMUIServices> FOld;

private slots:
  void initTestCase() {
    FUI = std::make_shared<TQEMScriptedUIServices>();
    FOld = QEMSetUIServices(FUI);
    QVERIFY(QEMINTOptionProps && QEMColorSchemes && QEMGridFonts);
  }
  void cleanupTestCase() { QEMSetUIServices(FOld); }

  void OptionChangedAndSavedOnOK() {
    TQEMOptionsDialog d(*QEMINTOptionProps);
    auto* grid = qobject_cast<QSpinBox*>(d.Editor(u"FormDesignerPropSet", u"GridSizeX"));
    auto* editor = qobject_cast<QLineEdit*>(d.Editor(u"HLXPropSet", u"EditorFilename"));
    auto* dup = qobject_cast<QComboBox*>(
        d.Editor(u"AddToRepositoryPropSet", u"AddToRepositoryDuplicateAction"));
    auto* status =
        qobject_cast<QComboBox*>(d.Editor(u"ChangeStatusPropSet", u"ChangeStatusNewStatus"));
    auto* newly = qobject_cast<QCheckBox*>(d.Editor(u"CommonPropSet", u"UseNewlyTranslated"));
    QVERIFY(grid && editor && dup && status && newly);
    grid->setValue(200); // beyond the bound: the spin box holds it at 128
    editor->setText(QStringLiteral("/usr/bin/vi"));
    dup->setCurrentIndex(daReplace);
    status->setCurrentIndex(QEMNewStatusIndex(rsHold));
    newly->setChecked(true);
    QVERIFY(d.Edited().GetIsModified());
    QCOMPARE(QEMINTOptionProps->EditorFilename, std::u16string(u"notepad.exe")); // not yet
    d.accept();
    QCOMPARE(d.result(), int(QDialog::Accepted));

    QCOMPARE(int(QEMINTOptionProps->GridSizeX), 128);
    QCOMPARE(QEMINTOptionProps->EditorFilename, std::u16string(u"/usr/bin/vi"));
    QCOMPARE(QEMINTOptionProps->AddToRepositoryDuplicateAction, daReplace);
    QCOMPARE(QEMINTOptionProps->ChangeStatusNewStatus, rsHold);
    QCOMPARE(TranslatedStatus, rsNewlyTranslated);
    QCOMPARE(StoredInt(SetKey(u"FormDesignerPropSet"), u"Grid Size X"), 128);
    QCOMPARE(StoredStr(SetKey(u"HLXPropSet"), u"EditorFilename"), std::u16string(u"/usr/bin/vi"));
    QCOMPARE(StoredInt(SetKey(u"ChangeStatusPropSet"), u"NewStatus"), QEMNewStatusIndex(rsHold));
    // What the next start reads.
    TQEMINTOptionProps reread(QEMINTOptionProps->Mask());
    QCOMPARE(Dump(reread), Dump(*QEMINTOptionProps));

    QEMINTOptionProps->UseNewlyTranslated = false;
    QEMINTOptionProps->SaveOptions();
  }

  void OptionChangedAndCancelled() {
    QEMINTOptionProps->SaveOptions();
    const QString before = Dump(*QEMINTOptionProps);
    const int64_t stored = StoredInt(SetKey(u"CommonPropSet"), u"Automatically Save Files");
    {
      TQEMOptionsDialog d(*QEMINTOptionProps);
      auto* save = qobject_cast<QCheckBox*>(d.Editor(u"CommonPropSet", u"AutomaticSaveFiles"));
      auto* file = qobject_cast<QLineEdit*>(d.Editor(u"RepositoryPropSet", u"RepositoryFilename"));
      QVERIFY(save && file);
      save->setChecked(!save->isChecked());
      file->setText(QStringLiteral("/elsewhere/x.tmx"));
      d.reject();
      QCOMPARE(d.result(), int(QDialog::Rejected));
    }
    QCOMPARE(Dump(*QEMINTOptionProps), before);
    QCOMPARE(StoredInt(SetKey(u"CommonPropSet"), u"Automatically Save Files"), stored);
    QVERIFY(StoredStr(SetKey(u"RepositoryPropSet"), u"Filename") != u"/elsewhere/x.tmx");
  }

  // Every option of every kept set has a caption and an editor of its kind, within its bounds,
  // that writes the copy being edited.
  void EveryOptionIsReachable() {
    TQEMINTOptionProps all(3); // both run modes' sets
    TQEMOptionsDialog d(all);
    d.show();
    int fields = 0;
    for (const TQEMPropertySet* set : all.PropertySets()) {
      QVERIFY2(d.ShowPage(set->Name()), qPrintable(QStr(set->Name())));
      const TQEMPropertySet& edited = *d.Edited().FindPropertySet(set->Name());
      for (int i = 0; i < set->Count(); ++i, ++fields) {
        const QByteArray what = QStr(set->Name() + u"." + set->FieldName(i)).toUtf8();
        QVERIFY2(!QEMOptionCaption(set->Name(), set->FieldName(i)).empty(), what);
        QWidget* w = d.Editor(set->Name(), set->FieldName(i));
        QVERIFY2(w && w->isVisibleTo(&d), what);
        const int32_t lo = set->FieldMin(i), hi = set->FieldMax(i);
        const int32_t old = edited.GetValue(i);
        const int32_t want = old == hi ? lo : old + 1;
        switch (set->FieldType(i)) {
        case TQEMOptionType::otText: {
          auto* e = qobject_cast<QLineEdit*>(w);
          QVERIFY2(e, what);
          e->setText(e->text() + QStringLiteral("-x"));
          QCOMPARE(edited.GetText(i), set->GetText(i) + u"-x");
          continue;
        }
        case TQEMOptionType::otInteger: {
          auto* s = qobject_cast<QSpinBox*>(w);
          QVERIFY2(s && s->minimum() == lo && s->maximum() == hi, what);
          s->setValue(want);
          break;
        }
        case TQEMOptionType::otBoolean:
          if (auto* c = qobject_cast<QCheckBox*>(w)) {
            QVERIFY2(!c->text().isEmpty(), what);
            c->setChecked(want != 0);
            break;
          }
          [[fallthrough]];
        case TQEMOptionType::otEnumeration: {
          auto* c = qobject_cast<QComboBox*>(w);
          QVERIFY2(c && c->count() == hi - lo + 1, what);
          for (int k = 0; k < c->count(); ++k) {
            bool number = false;
            c->itemText(k).toInt(&number);
            QVERIFY2(!number && !c->itemText(k).contains(QLatin1Char('&')), what);
          }
          c->setCurrentIndex(want - lo);
          break;
        }
        }
        QVERIFY2(edited.GetValue(i) == want, what);
      }
    }
    QCOMPARE(fields, 69);

    // The stand-alone program does not keep the development environment's set, so it has no
    // page where edits would vanish.
    TQEMOptionsDialog standAlone(*QEMINTOptionProps);
    QVERIFY(QEMINTOptionProps->Mask() == 2);
    QVERIFY(!standAlone.ShowPage(u"QEMPropSet"));
    QVERIFY(!standAlone.Editor(u"QEMPropSet", u"AutomaticallyCompileProjects"));
    QCOMPARE(standAlone.PageList()->count(), int(QEMINTOptionProps->PropertySets().size()) - 1);
  }

  void OptionsScreenshot() {
    TQEMOptionsDialog d(*QEMINTOptionProps);
    d.ShowPage(u"AddToRepositoryPropSet");
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    SaveShot(d, "options.png");
    d.ShowPage(u"HLXPropSet");
    SaveShot(d, "options-desktop.png");
    d.reject();
  }

  void ColorSchemeCopiedRenamedAndDeleted() {
    const int count = QEMColorSchemes->GetCount();
    {
      TQEMColorSchemeDialog d(*QEMColorSchemes);
      d.SchemeList()->setCurrentRow(QEMColorSchemes->IndexOf(u"Ocean"));
      FUI->QueueValue(u"Custom");
      d.CopyButton()->click();
      QCOMPARE(d.Edited().GetCount(), count + 1);
      const TQEMColorScheme* copy = d.Edited().SelectedColorsScheme();
      QCOMPARE(copy->GetSchemeRegName(), std::u16string(u"Custom"));
      QVERIFY(!copy->GetIsOEM());
      QCOMPARE(copy->GetColor(iclEditBackgroundColor), TColor(0xFFFF00));
      QVERIFY(d.DeleteButton()->isEnabled() && d.RenameButton()->isEnabled());
      QVERIFY(d.SlotButton(iclEditBackgroundColor)->isEnabled());
      QCOMPARE(QEMColorSchemes->GetCount(), count); // nothing saved yet

      {
        TModalAnswerer answers;
        answers.Queue([](QWidget& W) {
          auto* c = qobject_cast<QColorDialog*>(&W);
          QVERIFY(c);
          c->setCurrentColor(QColor(0x01, 0x02, 0x03));
          c->accept();
        });
        d.SlotButton(iclEditBackgroundColor)->click();
        QCOMPARE(answers.Pending(), size_t(0));
      }
      QCOMPARE(d.Edited().SelectedColorsScheme()->GetColor(iclEditBackgroundColor),
               TColor(0x030201));

      // A built-in name and a name taken are refused, and asked again.
      const size_t shown = FUI->Shown().size();
      FUI->QueueValue(u"twilight");
      FUI->QueueValue(u"ocean");
      FUI->QueueValue(u"Mine");
      d.RenameButton()->click();
      QCOMPARE(FUI->PendingReplies(), size_t(0));
      QCOMPARE(d.Edited().SelectedColorsScheme()->GetSchemeRegName(), std::u16string(u"Mine"));
      QCOMPARE(d.Edited().IndexOf(u"Custom"), -1);
      QCOMPARE(d.Edited().GetCount(), count + 1);
      int errors = 0;
      for (size_t i = shown; i < FUI->Shown().size(); ++i)
        errors += FUI->Shown()[i].Kind == TQEMScriptedUIServices::TKind::skError;
      QCOMPARE(errors, 2);
      d.accept();
    }
    const std::u16string key = QEMColorSchemes->Key();
    QCOMPARE(QEMColorSchemes->GetCount(), count + 1);
    QCOMPARE(QEMColorSchemes->SelectedColorsScheme()->GetSchemeRegName(), std::u16string(u"Mine"));
    QCOMPARE(StoredStr(key, u"Selected"), std::u16string(u"Mine"));
    QCOMPARE(StoredInt(key + u"\\Mine", u"EditBackgroundColor"), 0x030201);
    QCOMPARE(StoredInt(key + u"\\Mine", u"IsOEM"), 0);

    {
      TQEMColorSchemeDialog d(*QEMColorSchemes);
      d.SchemeList()->setCurrentRow(QEMColorSchemes->IndexOf(u"Mine"));
      FUI->QueueAnswer(TQEMAnswer::anNo);
      d.DeleteButton()->click();
      QCOMPARE(d.Edited().GetCount(), count + 1);
      FUI->QueueAnswer(TQEMAnswer::anYes);
      d.DeleteButton()->click();
      QCOMPARE(d.Edited().GetCount(), count);
      QCOMPARE(d.Edited().IndexOf(u"Mine"), -1);
      d.accept();
    }
    QCOMPARE(QEMColorSchemes->GetCount(), count);
    QVERIFY(!KeyExists(key + u"\\Mine"));
    QVERIFY(KeyExists(key + u"\\Ocean"));
  }

  void BuiltInSchemeIsReadOnlyAndCancelKeepsAll() {
    const int count = QEMColorSchemes->GetCount();
    const int selected = QEMColorSchemes->GetSelected();
    TQEMColorSchemeDialog d(*QEMColorSchemes);
    const int classic = QEMColorSchemes->IndexOf(u"Classic");
    d.SchemeList()->setCurrentRow(classic);
    QVERIFY(!d.DeleteButton()->isEnabled());
    QVERIFY(!d.RenameButton()->isEnabled());
    QVERIFY(d.CopyButton()->isEnabled());
    for (int i = 0; i < QEMColorCount; ++i)
      QVERIFY(!d.SlotButton(TQEMColor(i))->isEnabled());
    QVERIFY(!d.SetSlotColor(iclEditBackgroundColor, 0x123456));
    d.DeleteScheme();
    QVERIFY(!QEMRenameColorScheme(const_cast<TQEMColorSchemes&>(d.Edited()), classic));
    QCOMPARE(d.Edited().GetCount(), count);
    QCOMPARE(d.Edited().GetColorScheme(classic)->GetColor(iclEditBackgroundColor),
             TColor(0x800000));

    // Cancel drops a copy, a change of selection and the colours switch.
    FUI->QueueValue(u"Dropped");
    d.CopyScheme();
    d.UseColorsCheck()->setChecked(!d.UseColorsCheck()->isChecked());
    QCOMPARE(d.Edited().GetCount(), count + 1);
    d.reject();
    QCOMPARE(QEMColorSchemes->GetCount(), count);
    QCOMPARE(QEMColorSchemes->GetSelected(), selected);
    QVERIFY(QEMColorSchemes->GetUseColors());
    QVERIFY(!KeyExists(QEMColorSchemes->Key() + u"\\Dropped"));
  }

  void ColorScreenshot() {
    TQEMColorSchemeDialog d(*QEMColorSchemes);
    FUI->QueueValue(u"My colors");
    d.SchemeList()->setCurrentRow(QEMColorSchemes->IndexOf(u"Default"));
    d.CopyScheme();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    SaveShot(d, "colors.png");
    d.reject();
  }

  void FontChosenForALanguageIsSaved() {
    constexpr LCID german = 0x0407;
    // A real face rather than an alias, so what is stored is the face chosen.
    QString family;
    for (const QString& f : QFontDatabase::families())
      if (QFontInfo(QFont(f)).family() == f) family = f;
    QVERIFY(!family.isEmpty());
    TFontCounter counter;
    const auto event = TQEMFontChangeEvent::Bind<&TFontCounter::Changed>(&counter);
    QEMGridFonts->AddFontChangeEvent(event);
    const int before = QEMGridFonts->GetCount();
    {
      TQEMGridFontDialog d(*QEMGridFonts);
      const int row = d.AddLanguage(german);
      QCOMPARE(d.Entries()->currentRow(), row);
      TModalAnswerer answers;
      answers.Queue([family](QWidget& W) {
        auto* f = qobject_cast<QFontDialog*>(&W);
        QVERIFY(f);
        QFont font(family, 17);
        font.setBold(true);
        font.setUnderline(true);
        f->setCurrentFont(font);
        f->accept();
      });
      d.ChangeButton()->click();
      QCOMPARE(answers.Pending(), size_t(0));
      QCOMPARE(QEMGridFonts->IndexOf(german), -1); // nothing kept yet
      d.accept();
    }
    QCOMPARE(QEMGridFonts->GetCount(), before + 1);
    const TQEMFont& f = *QEMGridFonts->GetFont(german);
    QCOMPARE(QStr(f.Name), family);
    QCOMPARE(f.Size, 17);
    QVERIFY(f.Style == TFontStyles({fsBold, fsUnderline}));
    const std::u16string key = QEMGridFonts->Key() + u"\\" + TQEMGridFonts::LangKeyName(german);
    QCOMPARE(StoredStr(key, u"Name"), f.Name);
    QCOMPARE(StoredInt(key, u"Height"), 17);
    QCOMPARE(StoredInt(key, u"Style"), 5);
    QCOMPARE(counter.Calls, 1);

    // Cancel keeps the table and the hive.
    {
      TQEMGridFontDialog d(*QEMGridFonts);
      d.AddLanguage(0x040C);
      d.Entries()->setCurrentRow(0);
      d.UseDefaultFont();
      d.Entries()->setCurrentRow(d.Entries()->count() - 2);
      d.show();
      QVERIFY(QTest::qWaitForWindowExposed(&d));
      SaveShot(d, "fonts.png");
      d.reject();
    }
    QCOMPARE(QEMGridFonts->IndexOf(0x040C), -1);
    QVERIFY(!KeyExists(QEMGridFonts->Key() + u"\\" + TQEMGridFonts::LangKeyName(0x040C)));
    QCOMPARE(counter.Calls, 1);
    QEMGridFonts->RemoveFontChangeEvent(event);
  }
};

HLX_GUI_TEST_MAIN(QEMDialogsTest)
#include "QEMDialogsTest.moc"
