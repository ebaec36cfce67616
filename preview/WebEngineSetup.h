// Settings the embedded HTML view needs before the application object
// exists, and the check made before the view is first created.
#pragma once

#include <QString>
#include <QStringList>

namespace deckhand {

// Call in main() before the QApplication is created.
void PrepareWebEngine();

// Why the web engine cannot be started, or an empty string when it can. The
// engine ends the whole process when its helper program is missing, so the
// view is created only after this has found it, where the engine looks:
// QTWEBENGINEPROCESS_PATH when that is set, otherwise Qt's folder of helper
// programs and then the program's own folder.
QString WebEngineProblem();

// Where the HTML view's module may be, in the order tried: beside the
// installed program, then in the build tree.
QStringList WebBrowserModuleFiles();

}  // namespace deckhand
