#include "shell/application_look.h"

#include <QApplication>
#include <QPalette>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>

namespace ravelin {
namespace {

struct Look {
  int id;
  const char* name;
  const char* style;
  QRgb window;     // window and button faces
  QRgb base;       // lists and edits
  QRgb text;       // text on both
  QRgb highlight;  // selections
  QRgb mid;        // frames and shadows
};

// 210-214 after the older desktop and office looks, 215-218 the four
// colour schemes of the newer office look.
constexpr Look kLooks[] = {
    {210, "Windows 2000", "Windows", 0xffd4d0c8, 0xffffffff, 0xff000000, 0xff0a246a, 0xff808080},
    {211, "Office XP", "Fusion", 0xfff4f3ee, 0xffffffff, 0xff000000, 0xff316ac5, 0xffa7a6aa},
    {212, "Windows XP", "Fusion", 0xffece9d8, 0xffffffff, 0xff000000, 0xff316ac5, 0xffaca899},
    {213, "Office 2003", "Fusion", 0xffc3daf9, 0xffffffff, 0xff000000, 0xff316ac5, 0xff6f9dd9},
    {214, "Visual Studio 2005", "Fusion", 0xffeeede5, 0xffffffff, 0xff000000, 0xff3169c6, 0xffa9a79c},
    {215, "Office 2007 (Blue)", "Fusion", 0xffdfe9f5, 0xffffffff, 0xff15428b, 0xff3d7bc8, 0xff8db2e3},
    {216, "Office 2007 (Black)", "Fusion", 0xff3b3b3b, 0xff262626, 0xffececec, 0xfff0a030, 0xff5a5a5a},
    {217, "Office 2007 (Silver)", "Fusion", 0xffe7eaee, 0xffffffff, 0xff2c2c2c, 0xff5f87b5, 0xffa5acb5},
    {218, "Office 2007 (Aqua)", "Fusion", 0xffd8e6eb, 0xffffffff, 0xff1e395b, 0xff3a8fb7, 0xff8fb7c8},
};

const Look* FindLook(int id) {
  for (const Look& look : kLooks)
    if (look.id == id) return &look;
  return nullptr;
}

QPalette PaletteOf(const Look& look) {
  const QColor window(look.window), base(look.base), text(look.text), highlight(look.highlight), mid(look.mid);
  const bool dark = window.lightness() < 128;
  QPalette palette;
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, dark ? base.lighter(115) : base.darker(104));
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Highlight, highlight);
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Mid, mid);
  palette.setColor(QPalette::Dark, mid.darker(130));
  palette.setColor(QPalette::Light, dark ? window.lighter(140) : Qt::white);
  palette.setColor(QPalette::Midlight, window.lighter(110));
  palette.setColor(QPalette::Shadow, dark ? Qt::black : mid.darker(170));
  palette.setColor(QPalette::ToolTipBase, dark ? QColor(0x50, 0x50, 0x50) : QColor(0xff, 0xff, 0xe1));
  palette.setColor(QPalette::ToolTipText, dark ? QColor(Qt::white) : QColor(Qt::black));
  palette.setColor(QPalette::Link, dark ? QColor(0x7f, 0xb8, 0xff) : QColor(0x00, 0x47, 0xab));
  palette.setColor(QPalette::PlaceholderText, mid.darker(120));
  const QColor disabled = dark ? QColor(0x80, 0x80, 0x80) : mid.darker(115);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, disabled);
  return palette;
}

}  // namespace

QString ApplicationLookName(int id) {
  const Look* look = FindLook(id);
  return look ? QString::fromLatin1(look->name) : QString();
}

void ApplyApplicationLook(int id) {
  const Look* look = FindLook(id);
  if (!look) look = FindLook(kDefaultApplicationLook);
  if (QStyle* style = QStyleFactory::create(QString::fromLatin1(look->style))) QApplication::setStyle(style);
  QApplication::setPalette(PaletteOf(*look));
}

int ApplyStoredApplicationLook(QSettings& settings) {
  bool ok = false;
  int id = settings.value(kApplicationLookKey, kDefaultApplicationLook).toInt(&ok);
  if (!ok) id = kDefaultApplicationLook;
  ApplyApplicationLook(id);
  settings.setValue(kApplicationLookKey, id);
  return id;
}

}  // namespace ravelin
