#include "app/WindowHelpers.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace velmora {

namespace {

QStringList Installed(const QStringList& wanted) {
  const QStringList families = QFontDatabase::families();
  QStringList out;
  for (const QString& name : wanted) {
    if (families.contains(name, Qt::CaseInsensitive)) out << name;
  }
  return out;
}

}  // namespace

QString GridLineListStyleSheet() {
  // Once an item rule draws the grid lines, the style no longer paints its own
  // selection under the highlighted text: the selected row's colours are
  // given here, white on a dark blue (contrast above 6:1).
  return QStringLiteral(
      "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }"
      "QTreeView::item:selected { background-color: #245aa8; color: #ffffff; }"
      "QTreeView::item:selected:disabled { background-color: #c8c8c8; color: #404040; }");
}

QString ApplicationCjkFamily() {
  const QStringList found =
      Installed({"Noto Sans CJK SC", "Noto Sans SC", "WenQuanYi Micro Hei", "Droid Sans Fallback"});
  return found.isEmpty() ? QString() : found.first();
}

QFont CjkFont(CjkFace face, int pixels, bool bold) {
  QFont font;
  QStringList families = face == kSongTi
                             ? Installed({"SimSun", "宋体", "Noto Serif CJK SC", "Noto Sans CJK SC"})
                             : Installed({"SimHei", "黑体", "Noto Sans CJK SC"});
  const QString fallback = ApplicationCjkFamily();
  if (!fallback.isEmpty() && !families.contains(fallback)) families << fallback;
  if (!families.isEmpty()) font.setFamilies(families);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void CenterOnDesktop(QWidget* window) {
  QScreen* screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize size = window->frameGeometry().size();
  window->move(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 2);
}

}  // namespace velmora
