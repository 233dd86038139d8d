#include "shell/splash_screen.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>

#include "shell/desktop.h"
#include "shell/icons.h"

namespace ravelin {
namespace {

const QColor kTransparentKey(255, 0, 255);

}  // namespace

SplashScreen::SplashScreen()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      picture_(Picture()) {
  setObjectName(QStringLiteral("splash"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(picture_.size());
  setMask(picture_.createMaskFromColor(kTransparentKey, Qt::MaskInColor));
}

QPixmap SplashScreen::Picture() {
  QPixmap pixmap(460, 240);
  pixmap.fill(kTransparentKey);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, false);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(0, 0, 460, 240), 18, 18);
  QLinearGradient face(0, 0, 0, 240);
  face.setColorAt(0, QColor(0x2b, 0x57, 0x8c));
  face.setColorAt(1, QColor(0x14, 0x2f, 0x52));
  painter.fillPath(shape, face);
  painter.drawPixmap(28, 56, ShellIcon(IconId::kApplication).pixmap(128, 128));
  painter.setPen(Qt::white);
  QFont title(QStringLiteral("Arial"));
  title.setStyleHint(QFont::SansSerif);
  title.setPixelSize(34);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(QRect(176, 70, 270, 44), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(kApplicationTitle));
  QFont line = title;
  line.setPixelSize(15);
  line.setBold(false);
  painter.setFont(line);
  painter.setPen(QColor(0xd6, 0xe4, 0xf5));
  painter.drawText(QRect(176, 118, 270, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   QStringLiteral("Recovery of damaged SQL Server data files"));
  return pixmap;
}

void SplashScreen::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
}

void SplashScreen::Start() {
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
  setWindowOpacity(0.0);
  show();
  auto* fadeIn = new QPropertyAnimation(this, "windowOpacity", this);
  fadeIn->setDuration(kSplashFadeInMs);
  fadeIn->setStartValue(0.0);
  fadeIn->setEndValue(1.0);
  fadeIn->start(QAbstractAnimation::DeleteWhenStopped);
  QTimer::singleShot(kSplashShownMs, Qt::PreciseTimer, this, &SplashScreen::FadeOut);
}

void SplashScreen::FadeOut() {
  auto* fadeOut = new QPropertyAnimation(this, "windowOpacity", this);
  fadeOut->setDuration(kSplashFadeOutMs);
  fadeOut->setStartValue(windowOpacity());
  fadeOut->setEndValue(0.0);
  connect(fadeOut, &QPropertyAnimation::finished, this, &QWidget::close);
  fadeOut->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace ravelin
