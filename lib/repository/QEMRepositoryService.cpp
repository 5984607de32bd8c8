#include "repository/QEMRepositoryService.h"

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "resources/QEMConst.h"

namespace {

std::unique_ptr<TQEMRepositoryServices> gServices;

// Stored texts may use either line-break style; the item's own text uses CR LF.
bool SameTranslation(LCID Lcid, const std::u16string& A, const std::u16string& B) {
  return QEMWideSameText(Lcid, HasCR(A) ? CRLFtoLF(A) : A, HasCR(B) ? CRLFtoLF(B) : B);
}

std::u16string WithCRLF(const std::u16string& S) {
  return HasLF(S) ? LFtoCRLF(S) : S;
}

} // namespace

TQEMRepositoryServices::TQEMRepositoryServices()
    : FTargetStrings(std::make_shared<TQEMWideStringList>()) {}

void TQEMRepositoryServices::Init() {
  QEMRepositoryOpen();
  FUserCanceled = false;
  FSkipEnabled = true;
  FAddedCount = FPulledCount = FReplacedCount = FSkippedCount = FExistedCount = 0;
  FRefusals.clear();
  if (QEMINTOptionProps) {
    FMultipleFind = QEMINTOptionProps->GetFromRepositoryMultipleFindAction;
    FDuplicate = QEMINTOptionProps->AddToRepositoryDuplicateAction;
  }
}

void TQEMRepositoryServices::Count(int Result) {
  switch (TQEMRepositoryAddResult(Result)) {
  case TQEMRepositoryAddResult::arAdded:
  case TQEMRepositoryAddResult::arFilled:
    ++FAddedCount;
    break;
  case TQEMRepositoryAddResult::arExisted:
    ++FExistedCount;
    break;
  case TQEMRepositoryAddResult::arReplaced:
    ++FReplacedCount;
    break;
  case TQEMRepositoryAddResult::arFailed:
    break;
  }
}

void TQEMRepositoryServices::Refused(const std::u16string& Reason) {
  // One report per cause and operation: a repository that failed to load refuses every item.
  if (!Reason.empty() && FRefusals.insert(Reason).second) ShowError(Reason);
}

bool TQEMRepositoryServices::AddDialog(TQEMAddDialogResult& Choice, int& Selected) {
  Selected = 0;
  return FDialogs.AddDialog && FDialogs.AddDialog(*this, Choice, Selected);
}

void TQEMRepositoryServices::SetTranslation(const std::u16string& Original,
                                            const std::u16string& Translation) {
  if (FUserCanceled) return;
  FOrigStr = Original;
  FUserSkipped = false;
  if (Original.empty() && Translation.empty()) return;
  TQEMRepositoryAddResult r = TQEMRepositoryAddResult::arFailed;
  std::u16string why;
  if (FDuplicate == daAdd) {
    QEMRepositoryAddString(Original, FOrigLCID, Translation, FXlatLCID, FContextID, &r, &why);
    Count(int(r));
    Refused(why);
    return;
  }
  if (FDuplicate == daForceAdd) {
    QEMRepositoryForceAddString(Original, FOrigLCID, Translation, FXlatLCID, FContextID, &r, &why);
    Count(int(r));
    Refused(why);
    return;
  }
  IQEMWideStrings& list = *FTargetStrings;
  // What the language's bare tag offers is no translation of this language to compare with.
  QEMRepositoryGetString(Original, FOrigLCID, list, FXlatLCID, FContextID, true);
  struct TClear {
    IQEMWideStrings& L;
    ~TClear() { L.Clear(); }
  } clear{list};
  if (list.GetCount() == 0) {
    QEMRepositoryForceAddString(Original, FOrigLCID, Translation, FXlatLCID, FContextID, &r, &why);
    Count(int(r));
    Refused(why);
    return;
  }
  for (int i = 0; i < list.GetCount(); ++i)
    if (SameTranslation(FXlatLCID, list.Get(i), Translation)) {
      ++FExistedCount;
      return;
    }
  switch (FDuplicate) {
  case daReplace:
    if (QEMRepositoryReplaceString(Original, FOrigLCID, list.Get(0), FXlatLCID, Translation,
                                   FContextID, &why))
      ++FReplacedCount;
    Refused(why);
    break;
  case daDisplayList: {
    TQEMAddDialogResult choice = TQEMAddDialogResult::adSkip;
    int sel = 0;
    if (!AddDialog(choice, sel)) choice = TQEMAddDialogResult::adSkip;
    switch (choice) {
    case TQEMAddDialogResult::adAdd:
      QEMRepositoryAddString(Original, FOrigLCID, Translation, FXlatLCID, FContextID, &r, &why);
      Count(int(r));
      Refused(why);
      break;
    case TQEMAddDialogResult::adReplace:
      if (sel < 0 || sel >= list.GetCount()) sel = 0;
      if (QEMRepositoryReplaceString(Original, FOrigLCID, list.Get(sel), FXlatLCID, Translation,
                                     FContextID, &why))
        ++FReplacedCount;
      Refused(why);
      break;
    case TQEMAddDialogResult::adSkip:
      FUserSkipped = true;
      ++FSkippedCount;
      break;
    case TQEMAddDialogResult::adCancel:
      FUserCanceled = true;
      break;
    }
    break;
  }
  default:
    ++FSkippedCount;
    break;
  }
}

void TQEMRepositoryServices::GetTranslation(const std::u16string& Original,
                                            std::u16string& Result) {
  FOrigStr = Original;
  FFromRepository = false;
  FFoundInRepository = false;
  Result = FSeed.empty() ? Original : FSeed;
  IQEMWideStrings& list = *FTargetStrings;
  if (!FUserCanceled) {
    FUserSkipped = false;
    QEMRepositoryGetString(HasCR(Original) ? CRLFtoLF(Original) : Original, FOrigLCID, list,
                           FXlatLCID, FContextID);
    const int n = list.GetCount();
    FFoundInRepository = n > 0;
    const auto take = [&](const std::u16string& Text) {
      Result = WithCRLF(Text);
      ++FPulledCount;
      FFromRepository = true;
    };
    if (n == 1) {
      const std::u16string c = WithCRLF(list.Get(0));
      if (!QEMWideSameText(FXlatLCID, c, Result)) take(c);
    } else if (n > 1) {
      switch (FMultipleFind) {
      case mfaSkip:
        ++FSkippedCount;
        break;
      case mfaUseFirst:
        take(list.Get(0));
        break;
      case mfaDisplayList: {
        TQEMGetDialogResult choice = TQEMGetDialogResult::gdSkip;
        int sel = 0;
        const bool asked = FDialogs.GetDialog && FDialogs.GetDialog(*this, choice, sel);
        if (!asked) choice = TQEMGetDialogResult::gdSkip;
        if (choice == TQEMGetDialogResult::gdOK) {
          if (sel >= 0 && sel < n) FXlatStr = list.Get(sel);
          take(FXlatStr);
        } else if (choice == TQEMGetDialogResult::gdSkip) {
          FUserSkipped = true;
          ++FSkippedCount;
        } else
          FUserCanceled = true;
        break;
      }
      }
    }
  }
  list.Clear();
  FSeed.clear();
}

std::u16string TQEMRepositoryServices::AddStatusText() const {
  return FUserCanceled
             ? Format(SRepAddCanceledStatus, FAddedCount, FReplacedCount, FSkippedCount,
                      FExistedCount)
             : Format(SRepAddStatus, FAddedCount, FReplacedCount, FSkippedCount, FExistedCount);
}

std::u16string TQEMRepositoryServices::GetStatusText() const {
  return FUserCanceled ? Format(SRepGetCanceledStatus, FPulledCount, FSkippedCount)
                       : Format(SRepGetStatus, FPulledCount, FSkippedCount);
}

TQEMRepositoryServices& QEMRepositoryServices() {
  if (!gServices) gServices = std::make_unique<TQEMRepositoryServices>();
  return *gServices;
}

void QEMRepositoryServiceInitialize() {
  gServices = std::make_unique<TQEMRepositoryServices>();
}
void QEMRepositoryServiceFinalize() {
  gServices.reset();
}
