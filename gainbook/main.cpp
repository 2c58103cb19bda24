// Gainbook, the response editor: one window over the response tables of the station
// database.
#include "mainwindowqt.h"

#include "ini/inifile.h"
#include "ui/qtinteraction.h"

#include <QApplication>

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    // Before the application object, which needs a display.
    if (orv::gainbook::helpRequested(arguments)) {
        std::cout << orv::gainbook::kUsage;
        return 0;
    }

    QApplication app(argc, argv);
    orv::ui::setUpApplication(app);

    orv::ui::QtInteraction ui(nullptr, "Gainbook");
    orv::gainbook::qt::MainWindowDialog window(ui, {}, std::filesystem::current_path(),
                                               orv::ini::sharedSettings());
    ui.setParent(&window);
    window.startUp(arguments);
    window.exec();
    window.finish();
    return 0;
}
