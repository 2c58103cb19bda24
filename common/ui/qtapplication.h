// What every Qt program of the toolset sets up before its first window: Qt's own texts in
// Russian, and accessible names that stay the controls' own.
#pragma once

class QApplication;
class QFileDialog;

namespace orv::ui {

// installRussianTranslation() and installAccessibleNames().
void setUpApplication(QApplication& app);

// Qt's own windows in Russian, as users of a Russian desktop expect: the standard buttons and
// dialogs speak Russian (texts that Qt 6 moved to new contexts are found under their old
// ones), and Qt formats dates, sizes and kinds of files for them in Russian. The system's
// own numbers are untouched: they are read and printed by orv::text in the C locale.
void installRussianTranslation(QApplication& app);

// The file list of a file dialog shows dates and sizes in the application's language
// (QFileSystemModel itself follows the process's locale), and shows them whole.
void showFileDetailsInLanguage(QFileDialog& dialog);

// A combo box is named by its accessible name, else by its label, and only then by its
// current text (Qt on Linux names it by its text alone), so that screen readers, and tests
// that drive the windows, find it by the same name once it is filled.
void installAccessibleNames();

} // namespace orv::ui
