#pragma once
// Fonts and colours between the settings (TQEMFont, 0x00BBGGRR colours) and Qt.
#include <QColor>
#include <QFont>
#include <QString>

#include "settings/QEMGridFont.h"

QColor QEMQtColor(TColor Color);
TColor QEMColorFromQt(const QColor& Color);

QFont QEMQtFont(const TQEMFont& Font);
// Face, size, pitch and style come from Font; what Qt does not choose (character set, colour)
// stays as Base has it.
TQEMFont QEMFontFromQt(const QFont& Font, const TQEMFont& Base);
// "Name, 10 pt" as the font lists show it.
QString QEMQtFontDescription(const TQEMFont& Font);
