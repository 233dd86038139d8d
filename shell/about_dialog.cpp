#include "shell/about_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/desktop.h"
#include "shell/icons.h"

namespace ravelin {
namespace {

QLabel* LinkLabel(QWidget* parent, const QString& text, const QString& address, Desktop& desktop) {
  auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), text), parent);
  label->setObjectName(text);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  label->setToolTip(address);
  QObject::connect(label, &QLabel::linkActivated, parent,
                   [&desktop, address] { desktop.OpenUrl(AddressUrl(address)); });
  return label;
}

}  // namespace

AboutDialog::AboutDialog(const WebAddresses& addresses, Desktop& desktop, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));

  auto* icon = new QLabel(this);
  icon->setPixmap(ShellIcon(IconId::kApplication).pixmap(64, 64));
  auto* title = new QLabel(QString::fromUtf8(kApplicationTitle), this);
  title->setObjectName(QStringLiteral("aboutTitle"));
  QFont titleFont(QStringLiteral("Arial"));
  titleFont.setStyleHint(QFont::SansSerif);
  titleFont.setPixelSize(15);
  titleFont.setWeight(QFont::DemiBold);
  title->setFont(titleFont);
  auto* text = new QLabel(tr("Recovers tables, rows and definitions from damaged Microsoft SQL Server data files "
                             "(.mdf and .ndf), reading their pages itself. The files are only ever read."),
                          this);
  text->setWordWrap(true);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* words = new QVBoxLayout;
  words->addWidget(title);
  words->addWidget(text);
  words->addSpacing(8);
  words->addWidget(LinkLabel(this, QStringLiteral("Company website"), addresses.makerSite, desktop));
  words->addWidget(LinkLabel(this, QStringLiteral("Support email address"), addresses.supportEmail, desktop));
  words->addWidget(LinkLabel(this, QStringLiteral("Sales email address"), addresses.salesEmail, desktop));
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(words, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  setMinimumWidth(420);
}

void AboutDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void AboutDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  }
  QDialog::mousePressEvent(event);
}

void AboutDialog::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - dragOffset_);
  QDialog::mouseMoveEvent(event);
}

void AboutDialog::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
  QDialog::mouseReleaseEvent(event);
}

}  // namespace ravelin
