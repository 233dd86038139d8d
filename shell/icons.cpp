#include "shell/icons.h"

namespace ravelin {
namespace {

struct IconSource {
  const char* themeName;  // empty: ours alone
  const char* bundled;
};

IconSource SourceOf(IconId id) {
  switch (id) {
    case IconId::kApplication:
      return {"", "ravelin"};
    case IconId::kOpen:
      return {"document-open", "open"};
    case IconId::kStop:
      return {"process-stop", "stop"};
    case IconId::kSaveSql:
      return {"", "save-sql"};
    case IconId::kSaveRecords:
      return {"x-office-spreadsheet", "save-records"};
    case IconId::kSaveTable:
      return {"", "save-table"};
    case IconId::kSaveSqlite:
      return {"", "save-sqlite"};
    case IconId::kLoadSnapshot:
      return {"", "load-snapshot"};
    case IconId::kSaveSnapshot:
      return {"", "save-snapshot"};
    case IconId::kHelp:
      return {"help-contents", "help"};
    case IconId::kAbout:
      return {"help-about", "about"};
    case IconId::kPrevious:
      return {"go-previous", "previous"};
    case IconId::kNext:
      return {"go-next", "next"};
    case IconId::kDatabase:
      return {"", "database"};
    case IconId::kFolder:
      return {"folder", "folder"};
    case IconId::kTable:
      return {"", "table"};
    case IconId::kColumn:
      return {"", "column"};
    case IconId::kObject:
      return {"", "object"};
  }
  return {"", "object"};
}

}  // namespace

QIcon ShellIcon(IconId id) {
  const IconSource source = SourceOf(id);
  const QIcon bundled(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(source.bundled)));
  if (*source.themeName == '\0') return bundled;
  return QIcon::fromTheme(QLatin1String(source.themeName), bundled);
}

}  // namespace ravelin
