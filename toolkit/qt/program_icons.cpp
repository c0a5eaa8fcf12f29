#include "toolkit/qt/program_icons.h"

#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QStringList>

namespace toolkit::qt {

QString ProgramIconFolder() {
  QString exe_dir = QCoreApplication::applicationDirPath();
  if (exe_dir.isEmpty()) return {};
  return QDir::cleanPath(exe_dir + QStringLiteral("/../share/icons"));
}

QString ProgramIconFolderBesideShare() {
  QString exe_dir = QCoreApplication::applicationDirPath();
  if (exe_dir.isEmpty()) return {};
  return QDir::cleanPath(exe_dir + QStringLiteral("/../icons"));
}

namespace {

// The system's icon folders ($XDG_DATA_DIRS/icons): the hicolor theme's
// index.theme, which tells Qt the theme's folders, is there. Some platforms
// (offscreen) search none of them by themselves.
QStringList SystemIconFolders() {
  QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
  if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
  QStringList folders;
  for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
    folders.append(QDir::cleanPath(dir + QStringLiteral("/icons")));
  return folders;
}

}  // namespace

void AddProgramIconFolder() {
  QStringList paths = QIcon::themeSearchPaths();
  const QStringList before = paths;
  QString folder = ProgramIconFolder();
  if (!folder.isEmpty() && QDir(folder).exists() && !paths.contains(folder)) paths.prepend(folder);
  // A program kept in the share folder itself (the update utility) finds the
  // pictures beside that folder.
  QString beside = ProgramIconFolderBesideShare();
  if (!beside.isEmpty() && QDir(beside).exists() && !paths.contains(beside))
    paths.insert(paths.indexOf(folder) + 1, beside);
  for (const QString& system : SystemIconFolders())
    if (QDir(system).exists() && !paths.contains(system)) paths.append(system);
  if (paths != before) QIcon::setThemeSearchPaths(paths);
  // Without a desktop theme (a bare X server, offscreen) nothing would be looked
  // up at all; our pictures are in hicolor, which every theme inherits.
  if (QIcon::fallbackThemeName().isEmpty()) QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
  if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("hicolor"));
}

}  // namespace toolkit::qt
