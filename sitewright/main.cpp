// Sitewright, the station editor.
#include "core/app.h"
#include "ui/launcher.h"
#include "ui/qtinteraction.h"
#include "ui/stationwindow.h"

#include <QApplication>

#include <string>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    orv::ui::setUpApplication(app);
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine.append(i > 1 ? " " : "").append(argv[i]);
    orv::ui::QtInteraction ui(nullptr, "Sitewright");
    orv::sitewright::DetachedLauncher launcher;
    return orv::sitewright::runSitewright(
        commandLine, ui, launcher,
        [&](const orv::sitewright::DialogContext& context, const std::string& station) {
            orv::sitewright::CStationDlg logic(context, station);
            orv::sitewright::StationWindow window(logic, ui);
            ui.setParent(&window);
            window.openStation();
            window.exec();
            ui.setParent(nullptr);
        });
}
