#pragma once
// The one object through which items go into the repository and translations come out of it,
// with the user's duplicate and multiple-find choices and the counts of an operation.
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "core/QEMTypes.h"
#include "core/QEMUtils.h"
#include "settings/QEMINTOptionProp.h"

// The answers of the two per-item dialogs.
enum class TQEMAddDialogResult { adAdd, adReplace, adSkip, adCancel };
enum class TQEMGetDialogResult { gdOK, gdSkip, gdCancel };

class TQEMRepositoryServices;

// The host's "Add a Translation" and "Get a Translation" dialogs. Each returns false when the
// host cannot ask (an unattended run); the item is then skipped. Selected is the chosen
// candidate's position in TargetStrings.
struct TQEMRepositoryDialogs {
  std::function<bool(const TQEMRepositoryServices&, TQEMAddDialogResult&, int& Selected)> AddDialog;
  std::function<bool(TQEMRepositoryServices&, TQEMGetDialogResult&, int& Selected)> GetDialog;
};

class QEM_API TQEMRepositoryServices {
public:
  TQEMRepositoryServices();

  void Init();
  void SetTranslation(const std::u16string& Original, const std::u16string& Translation);
  void GetTranslation(const std::u16string& Original, std::u16string& Result);

  // "Added: ..." or "Canceled, Added: ..." after adding; "Pulled: ..." forms after getting.
  std::u16string AddStatusText() const;
  std::u16string GetStatusText() const;

  void SetDialogs(TQEMRepositoryDialogs Dialogs) { FDialogs = std::move(Dialogs); }

  int AddedCount() const { return FAddedCount; }
  int ExistedCount() const { return FExistedCount; }
  int PulledCount() const { return FPulledCount; }
  int ReplacedCount() const { return FReplacedCount; }
  int SkippedCount() const { return FSkippedCount; }

  const std::u16string& Comment() const { return FComment; }
  void SetComment(std::u16string Value) { FComment = std::move(Value); }
  bool CommentEnabled() const { return FCommentEnabled; }
  void SetCommentEnabled(bool Value) { FCommentEnabled = Value; }
  LCID CommentLCID() const { return FCommentLCID; }
  void SetCommentLCID(LCID Value) { FCommentLCID = Value; }
  const std::u16string& ContextID() const { return FContextID; }
  void SetContextID(std::u16string Value) { FContextID = std::move(Value); }
  IQEMWideStrings& TargetStrings() const { return *FTargetStrings; }
  LCID OrigLCID() const { return FOrigLCID; }
  void SetOrigLCID(LCID Value) { FOrigLCID = Value; }
  LCID XlatLCID() const { return FXlatLCID; }
  void SetXlatLCID(LCID Value) { FXlatLCID = Value; }
  const std::u16string& OrigStr() const { return FOrigStr; }
  const std::u16string& XlatStr() const { return FXlatStr; }
  void SetXlatStr(std::u16string Value) { FXlatStr = std::move(Value); }
  const std::u16string& Seed() const { return FSeed; }
  void SetSeed(std::u16string Value) { FSeed = std::move(Value); }
  bool FoundInRepository() const { return FFoundInRepository; }
  bool FromRepository() const { return FFromRepository; }
  bool UserCanceled() const { return FUserCanceled; }
  bool UserSkipped() const { return FUserSkipped; }
  bool SkipEnabled() const { return FSkipEnabled; }
  void SetSkipEnabled(bool Value) { FSkipEnabled = Value; }
  TMultipleFindAction MultipleFind() const { return FMultipleFind; }
  void SetMultipleFind(TMultipleFindAction Value) { FMultipleFind = Value; }
  TDuplicateAction Duplicate() const { return FDuplicate; }
  void SetDuplicate(TDuplicateAction Value) { FDuplicate = Value; }

private:
  void Count(int Result); // a TQEMRepositoryAddResult
  // Reports why the repository refused an item (through ShowError), once per cause.
  void Refused(const std::u16string& Reason);
  bool AddDialog(TQEMAddDialogResult& Choice, int& Selected);

  int FAddedCount = 0;
  std::u16string FComment;
  bool FCommentEnabled = false;
  LCID FCommentLCID = 0;
  std::u16string FContextID;
  int FExistedCount = 0;
  std::shared_ptr<IQEMWideStrings> FTargetStrings;
  LCID FOrigLCID = 0;
  std::u16string FOrigStr;
  bool FFoundInRepository = false;
  bool FFromRepository = false;
  bool FUserCanceled = false;
  bool FUserSkipped = false;
  int FPulledCount = 0;
  int FReplacedCount = 0;
  std::u16string FSeed;
  int FSkippedCount = 0;
  bool FSkipEnabled = true;
  LCID FXlatLCID = 0;
  std::u16string FXlatStr;
  TMultipleFindAction FMultipleFind = mfaUseFirst;
  TDuplicateAction FDuplicate = daDisplayList;
  TQEMRepositoryDialogs FDialogs;
  std::set<std::u16string> FRefusals; // causes reported in this operation
};

// The process-wide instance.
QEM_API TQEMRepositoryServices& QEMRepositoryServices();
QEM_API void QEMRepositoryServiceInitialize();
QEM_API void QEMRepositoryServiceFinalize();
