// The window's font: "ＭＳ ゴシック" where installed, else the Japanese font
// fontconfig substitutes for it (IPAGothic on Debian).
#pragma once

#include <QFont>
#include <QString>

namespace sorana::ui::qt {

QString JapaneseFontFamily();
QFont WindowFont(int pixelSize);

}  // namespace sorana::ui::qt
