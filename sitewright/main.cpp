// Sitewright, the station editor.
#include "core/app.h"
#include "ui/qtinteraction.h"

#include <QApplication>
#include <QDialog>

#include <string>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    orv::ui::installRussianTranslation(app);
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    orv::ui::QtInteraction ui(nullptr, "Sitewright");
    sitewright::SpawnLauncher launcher;
    return sitewright::runSitewright(
        commandLine, ui, launcher,
        [&](const sitewright::DialogContext& context, const std::string& station) {
            sitewright::CStationDlg logic(context, station);
            QDialog window;
            window.setWindowTitle(QString::fromStdString(logic.title()));
            window.exec();
        });
}
