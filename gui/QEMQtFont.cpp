#include "QEMQtFont.h"

#include <QFontInfo>
#include <cmath>

#include "QEMQtText.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

QColor QEMQtColor(TColor Color) {
  return QColor(int(Color & 0xFF), int((Color >> 8) & 0xFF), int((Color >> 16) & 0xFF));
}

TColor QEMColorFromQt(const QColor& Color) {
  const QColor c = Color.toRgb();
  return TColor(c.red()) | TColor(c.green()) << 8 | TColor(c.blue()) << 16;
}

QFont QEMQtFont(const TQEMFont& Font) {
  QFont f(QStr(Font.Name));
  if (Font.Size > 0) f.setPointSize(Font.Size);
  f.setBold(Font.Style.Contains(fsBold));
  f.setItalic(Font.Style.Contains(fsItalic));
  f.setUnderline(Font.Style.Contains(fsUnderline));
  f.setStrikeOut(Font.Style.Contains(fsStrikeOut));
  if (Font.Pitch == fpFixed) {
    f.setFixedPitch(true);
    f.setStyleHint(QFont::TypeWriter);
  }
  return f;
}

TQEMFont QEMFontFromQt(const QFont& Font, const TQEMFont& Base) {
  TQEMFont r = Base;
  if (!Font.family().isEmpty()) r.Name = U16(Font.family());
  int size = Font.pointSize();
  // A font given in pixels has no point size; the grids store points.
  if (size <= 0 && Font.pixelSize() > 0) size = int(std::lround(Font.pixelSize() * 72.0 / 96.0));
  if (size > 0) r.Size = size;
  r.Style = {};
  if (Font.bold()) r.Style.Include(fsBold);
  if (Font.italic()) r.Style.Include(fsItalic);
  if (Font.underline()) r.Style.Include(fsUnderline);
  if (Font.strikeOut()) r.Style.Include(fsStrikeOut);
  if (Font.fixedPitch())
    r.Pitch = fpFixed;
  else if (Base.Pitch == fpFixed)
    r.Pitch = fpDefault;
  return r;
}

QString QEMQtFontDescription(const TQEMFont& Font) {
  return QStr(Format(SFontDescription, Font.Name, Font.Size));
}
