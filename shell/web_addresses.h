// The web addresses the program links to, kept in its settings (group
// "Web") so that a packager or user can point them elsewhere. An empty
// address opens nothing.

#ifndef RAVELIN_SHELL_WEB_ADDRESSES_H_
#define RAVELIN_SHELL_WEB_ADDRESSES_H_

#include <QString>
#include <QUrl>

class QSettings;

namespace ravelin {

struct WebAddresses {
  // The maker's site: the status bar link and the about box.
  QString makerSite;
  // Opened in the browser when the program closes.
  QString productPage;
  QString supportEmail;
  QString salesEmail;
  // Help's page; empty: the user guide installed with the program.
  QString helpPage;
};

// The addresses stored in `settings`, the defaults for those missing.
WebAddresses LoadWebAddresses(QSettings& settings);

// The user guide installed with the program: beside the executable (a
// build tree) or in the shared documentation folder of an installation.
// Empty when neither holds it.
QString UserGuidePath();

// "https://..." as it stands; a plain address with '@' as a mail address.
QUrl AddressUrl(const QString& address);

}  // namespace ravelin

#endif  // RAVELIN_SHELL_WEB_ADDRESSES_H_
