#include "core/QEMTypes.h"

#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"

TResStatus TranslatedStatus = rsTranslated;
std::array<std::u16string, QEMStatusCount> XStatusString;

namespace {
constexpr std::array<std::u16string_view, QEMStatusCount> kDisplay = {
    SStatusUntranslated,    SStatusTranslated, SStatusAutoTranslated, SStatusUnused,
    SStatusNewlyTranslated, SStatusHold,       SStatusDoNotTranslate, SStatusEgged};
constexpr std::array<std::u16string_view, QEMStatusCount> kFilter = {
    SFilterShowUntranslated,    SFilterShowTranslated, SFilterShowAutoTranslated, SFilterShowUnused,
    SFilterShowNewlyTranslated, SFilterShowHold,       SFilterShowDoNotTranslate, SFilterShowEgged};
constexpr std::array<std::u16string_view, QEMStatusCount> kDesign = {
    u"UnTranslated",    u"Translated", u"AutoTranslated", u"Unused",
    u"NewlyTranslated", u"Hold",       u"DoNotTranslate", u"Egged"};
} // namespace

void QEMTypesInitialize() {
  for (int i = 0; i < QEMStatusCount; ++i)
    XStatusString[size_t(i)] = std::u16string(kDisplay[size_t(i)]);
  TranslatedStatus = rsTranslated;
}

bool QEMIsValidStatus(int Ordinal) {
  return Ordinal >= 0 && Ordinal < QEMStatusCount;
}

int QEMStatusFromString(const std::u16string& Text) {
  for (int i = 0; i < QEMStatusCount; ++i)
    if (QEMSameText(XStatusString[size_t(i)], Text)) return i;
  return -1;
}

const std::u16string& QEMStatusToString(TResStatus Status) {
  static const std::u16string empty;
  return QEMIsValidStatus(Status) ? XStatusString[Status] : empty;
}

std::u16string QEMFilterCaption(FilterIds Id) {
  return QEMIsValidStatus(Id) ? std::u16string(kFilter[Id]) : std::u16string();
}

std::u16string QEMStatusDesignName(TResStatus Status) {
  return QEMIsValidStatus(Status) ? std::u16string(kDesign[Status]) : std::u16string();
}
