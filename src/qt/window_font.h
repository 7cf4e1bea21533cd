// The window's font: "ＭＳ ゴシック" where installed, else the Japanese font
// fontconfig substitutes for it (IPAGothic on Debian).
#pragma once

#include <QFont>
#include <QString>

namespace sorana::app {

QString JapaneseFontFamily();
QFont WindowFont(int pixelSize);

}  // namespace sorana::app
