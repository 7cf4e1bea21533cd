#include "ui/qt/window_font.h"

#include <fontconfig/fontconfig.h>

#include <QFontDatabase>
#include <QStringList>

namespace sorana::ui::qt {

namespace {

constexpr const char* kWantedFamily = "ＭＳ ゴシック";

// fontconfig's best match for the wanted family in Japanese; empty when none.
QString FontconfigSubstitute() {
  QString family;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return family;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kWantedFamily));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* name = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
    family = QString::fromUtf8(reinterpret_cast<const char*>(name));
  }
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return family;
}

}  // namespace

QString JapaneseFontFamily() {
  static const QString family = [] {
    QString wanted = QString::fromUtf8(kWantedFamily);
    if (QFontDatabase::families().contains(wanted, Qt::CaseInsensitive)) return wanted;
    QString substitute = FontconfigSubstitute();
    return substitute.isEmpty() ? wanted : substitute;
  }();
  return family;
}

QFont WindowFont(int pixelSize) {
  QFont font(JapaneseFontFamily());
  font.setPixelSize(pixelSize);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

}  // namespace sorana::ui::qt
