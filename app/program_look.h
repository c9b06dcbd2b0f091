// What every window of the program shares: the program icon and a font that draws
// Japanese with Japanese glyph forms.
#pragma once

#include <QIcon>

class QApplication;

namespace tembrel {

// The program icon (an SVG of our own, drawn at any size).
QIcon programIcon();

// Sets the program icon as every window's icon, tells the desktop which entry is the
// program's, and asks for "Noto Sans CJK JP" first, so that Han characters take their
// Japanese forms rather than Chinese ones; Qt's own texts in Japanese.
void applyProgramLook(QApplication& app);

}  // namespace tembrel
