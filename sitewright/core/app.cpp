#include "core/app.h"

#include "core/schema.h"
#include "ini/inifile.h"

namespace orv::sitewright {

int runSitewright(const std::string& commandLine, orv::ui::Interaction& ui,
                  ProcessLauncher& launcher,
                  const std::function<void(const DialogContext&, const std::string&)>& runDialog) {
    StartupValues values;
    if (!commandLine.empty())
        values = parseCommandLine(commandLine);
    DialogContext context;
    context.localSettings = localSettingsFile();
    context.systemSettings = orv::ini::sharedSettings();
    context.settings = resolveSettings(values, context.localSettings, context.systemSettings);
    auto connection = openStartupConnection(context.settings, ui);
    if (!connection)
        return 1;
    if (values.checkSchema)
        upgradeSchema(*connection, ui);
    context.startupConnection = connection.get();
    context.ui = &ui;
    context.launcher = &launcher;
    runDialog(context, values.requestedStation);
    connection.reset();
    return 0;
}

} // namespace orv::sitewright
