// cluster-station-writer: writes stations of 21 channels one after another as a user of
// the station editor would (a new code typed, seven groups of three channels, "Записать в
// БД"), on the station editor's own code, and prints one line per station as it ends:
//   written CODE
//   failed CODE: the messages the editor showed
// Each write opens its connection anew, as every operation of the editor does, so the
// writer goes on after its server changed.
//
//   cluster-station-writer --dsn DSN --user U --password P --prefix X --count N [--work DIR]
#include "core/stationdlg.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

using namespace orv;

const char* const kGroupChannels[sitewright::kGroups][sitewright::kComponents] = {
    {"BHZ", "BHN", "BHE"}, {"HHZ", "HHN", "HHE"}, {"LHZ", "LHN", "LHE"}, {"SHZ", "SHN", "SHE"},
    {"EHZ", "EHN", "EHE"}, {"MHZ", "MHN", "MHE"}, {"VHZ", "VHN", "VHE"}};

struct Options {
    sitewright::ConnectionSettings settings;
    std::string prefix;
    int count = 0;
    std::filesystem::path work = std::filesystem::temp_directory_path();
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--dsn")
            o.settings.dsn = value;
        else if (key == "--user")
            o.settings.user = value;
        else if (key == "--password")
            o.settings.password = value;
        else if (key == "--prefix")
            o.prefix = value;
        else if (key == "--count")
            o.count = std::atoi(value.c_str());
        else if (key == "--work")
            o.work = value;
        else
            return false;
    }
    return argc % 2 == 1 && !o.prefix.empty() && o.count > 0;
}

struct Written {
    bool done = false;
    std::string messages; // the others the editor showed
};

// One station as the dialog writes it.
Written writeStation(const Options& o, const std::string& code) {
    ui::ScriptedInteraction ui;
    sitewright::DialogContext context;
    context.settings = o.settings;
    context.ui = &ui;
    context.localSettings = o.work / "Sitewright.ini";
    context.systemSettings = o.work / "orv.ini";
    sitewright::CStationDlg dialog(context, "");
    dialog.open();
    dialog.onStationTextChanged(code);
    dialog.onGroupCountChanged("7");
    sitewright::StationControls& c = dialog.controls();
    for (int g = 1; g <= sitewright::kGroups; ++g) {
        for (int k = 0; k < sitewright::kComponents; ++k)
            c.chan[static_cast<std::size_t>(sitewright::channelIndex(g, k))] =
                kGroupChannels[g - 1][k];
        c.sps[static_cast<std::size_t>(g - 1)] = g <= 2 ? "100" : "1";
        c.lcode[static_cast<std::size_t>(g - 1)] = "00";
    }
    ui.clear();
    dialog.onWrite();
    const std::string success =
        text::format("Информация о станции %s в БД записана успешно", code.c_str());
    Written w;
    for (const std::string& t : ui.messageTexts()) {
        if (t == success) {
            w.done = true;
            continue;
        }
        w.messages += (w.messages.empty() ? "" : " / ") + text::replaceAll(t, "\n", " ");
    }
    return w;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::cerr << "usage: cluster-station-writer --dsn DSN --user U --password P --prefix X "
                     "--count N [--work DIR]\n";
        return 2;
    }
    int failed = 0;
    for (int i = 1; i <= o.count; ++i) {
        const std::string code = text::format("%s%03d", o.prefix.c_str(), i);
        const Written w = writeStation(o, code);
        if (w.done)
            std::cout << "written " << code << (w.messages.empty() ? "" : ": then " + w.messages)
                      << std::endl;
        else
            std::cout << "failed " << code << ": "
                      << (w.messages.empty() ? std::string("no message") : w.messages) << std::endl;
        failed += w.done ? 0 : 1;
    }
    return failed == 0 ? 0 : 1;
}
