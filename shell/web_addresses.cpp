#include "shell/web_addresses.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace ravelin {

inline constexpr char kUserGuideName[] = "ravelin-guide.html";

WebAddresses LoadWebAddresses(QSettings& settings) {
  settings.beginGroup(QStringLiteral("Web"));
  WebAddresses addresses;
  addresses.makerSite = settings.value("MakerSite", QStringLiteral("https://www.velmora.example/")).toString();
  addresses.productPage =
      settings.value("ProductPage", QStringLiteral("https://www.velmora.example/ravelin/")).toString();
  addresses.supportEmail = settings.value("SupportEmail", QStringLiteral("support@velmora.example")).toString();
  addresses.salesEmail = settings.value("SalesEmail", QStringLiteral("sales@velmora.example")).toString();
  addresses.helpPage = settings.value("HelpPage", QString()).toString();
  settings.endGroup();
  return addresses;
}

QString UserGuidePath() {
  const QString folder = QCoreApplication::applicationDirPath();
  const QStringList candidates = {
      folder + "/" + kUserGuideName,
      QDir::cleanPath(folder + "/../share/doc/ravelin/" + kUserGuideName),
  };
  for (const QString& path : candidates)
    if (QFileInfo(path).isFile()) return path;
  return {};
}

QUrl AddressUrl(const QString& address) {
  if (address.isEmpty()) return {};
  if (!address.contains(QStringLiteral("://")) && address.contains('@'))
    return QUrl(QStringLiteral("mailto:") + address);
  if (QFileInfo(address).isAbsolute()) return QUrl::fromLocalFile(address);
  return QUrl(address);
}

}  // namespace ravelin
