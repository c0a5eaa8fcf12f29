#pragma once
// The program's own pictures (button pictures, the application and tray icons)
// live in its share/icons folder beside bin/: <exe dir>/../share/icons, both in
// the build tree and once installed. Qt's icon theme lookup learns of it here.

#include <QString>

namespace toolkit::qt {

// Puts the program's share/icons folder first among QIcon's theme search paths
// and the system's icon folders after the others (once; later calls change
// nothing), and makes hicolor the theme to fall back on, so the pictures are
// found whatever the desktop's own theme. Needs the QApplication; call it on
// the GUI thread.
void AddProgramIconFolder();

// <exe dir>/../share/icons, cleaned; empty when the executable's folder is unknown.
QString ProgramIconFolder();
// <exe dir>/../icons: for a program installed into the share folder itself.
QString ProgramIconFolderBesideShare();

}  // namespace toolkit::qt
