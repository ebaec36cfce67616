// What the program asks of the window toolkit before and after creating its
// application object: the toolkit's own texts in the user's language, no
// toolkit state written into the user's configuration, and one clear line
// instead of the toolkit's abort when there is no display to show windows on.
#pragma once

#include <QLocale>
#include <QString>

namespace deckhand {

// Loads the toolkit's own translation (qtbase_<language>.qm from the Qt
// translations folder) for locale and installs it in the application, so
// that the file and print dialogs, the editor's context menu and the
// standard buttons speak the user's language. The program's own strings are
// literals and stay as they are. Returns whether a translation was
// installed (none exists for English, or when the file is not installed).
bool InstallToolkitTranslations(const QLocale& locale);

// The toolkit's file dialog keeps its history, last folder, view mode and
// column widths in the user's configuration (QtProject.conf); the program
// stores no settings, so that file is never read or written by it. Call
// before the first dialog.
void KeepToolkitSettingsOut();

// The one line printed when no display can be reached, in Russian and
// English.
QString NoDisplayMessage();

// Makes a failure of the toolkit to reach a display end the process with
// NoDisplayMessage() on standard error and exit status 1, in place of the
// toolkit's own report and abort. Install before the application object;
// the toolkit's messages about its window system plug-in that come while
// the application object is created are held back and passed on only if
// the start succeeds. DisplayCheckDone() ends the watch.
void WatchForMissingDisplay();
void DisplayCheckDone();

}  // namespace deckhand
