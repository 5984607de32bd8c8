#pragma once
// Text between the library (UTF-16 std::u16string) and Qt (QString, UTF-16 as well).
#include <QString>
#include <string>
#include <string_view>

inline QString QStr(std::u16string_view Text) {
  return QString::fromUtf16(Text.data(), qsizetype(Text.size()));
}

inline std::u16string U16(const QString& Text) {
  return Text.toStdU16String();
}
