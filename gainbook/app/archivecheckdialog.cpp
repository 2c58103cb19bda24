#include "archivecheckdialog.h"

#include "check/archivecheck.h"
#include "db/datetext.h"
#include "db/responsestatements.h"
#include "settings.h"
#include "text/text.h"

#include <algorithm>

namespace orv::gainbook {

namespace {

constexpr const char* kNoConnection = "Нет подключения к базе данных: проверять нечего.";
constexpr const char* kWholeArchiveQuestion =
    "Проверка всего архива может занять несколько минут.\r\nПроверить весь архив?";
constexpr const char* kNotReadToTheEnd = "Архив прочитан не до конца: ";
constexpr const char* kFoundUntilThen = "\r\nПоказано найденное до этого места.";

std::string part(const std::string& code) {
    return code.empty() ? "-" : text::decodeLegacy(code);
}

// The first network that holds a response of the station; "" when none does.
std::string networkOfStation(odbc::Connection& connection, const std::string& station) {
    odbc::Statement st(connection);
    if (!st.valid() ||
        odbc::isError(st.run(sql::kNetworksOfStation, {odbc::Parameter::code(station)})))
        return {};
    std::string network;
    if (odbc::isSuccess(st.fetch()))
        network = readCode(st, 1);
    st.closeCursor();
    return network;
}

} // namespace

CheckLine checkLine(const check::Finding& finding) {
    CheckLine line;
    line.finding = finding;
    line.severity = finding.severity == check::Severity::Error ? "ошибка" : "предупреждение";
    line.rule = std::string(finding.rule);
    const check::FindingKey& k = finding.key;
    line.key =
        part(k.network) + "." + part(k.station) + "." + part(k.location) + "." + part(k.channel);
    if (k.start)
        line.start = formatDateText(*k.start);
    if (const check::RuleInfo* rule = check::findRule(finding.rule))
        line.text = std::string(rule->whatRu) + ": " + std::string(rule->fixRu) + ".";
    return line;
}

ArchiveCheckDialog::ArchiveCheckDialog(MainWindow& owner, ui::Interaction& ui)
    : owner_(owner), ui_(ui) {
    refresh();
}

std::string ArchiveCheckDialog::scopeText(CheckScope s) const {
    switch (s) {
    case CheckScope::Station:
        return "Станция " + text::decodeLegacy(owner_.browser.stations.selectedText());
    case CheckScope::Network:
        return "Сеть " + text::decodeLegacy(owner_.browser.networks.selectedText());
    case CheckScope::Archive:
        break;
    }
    return "Весь архив";
}

bool ArchiveCheckDialog::scopeEnabled(CheckScope s) const {
    switch (s) {
    case CheckScope::Station:
        return !owner_.browser.stations.selectedText().empty();
    case CheckScope::Network:
        return !owner_.browser.networks.selectedText().empty();
    case CheckScope::Archive:
        break;
    }
    return true;
}

void ArchiveCheckDialog::refresh() {
    if (!scopeChosen_)
        scope = owner_.browser.browseByStation ? CheckScope::Station : CheckScope::Network;
    if (!scopeEnabled(scope))
        scope = scopeEnabled(CheckScope::Station)   ? CheckScope::Station
                : scopeEnabled(CheckScope::Network) ? CheckScope::Network
                                                    : CheckScope::Archive;
}

void ArchiveCheckDialog::chooseScope(CheckScope s) {
    if (!scopeEnabled(s))
        return;
    scope = s;
    scopeChosen_ = true;
}

void ArchiveCheckDialog::setBusy(bool b) {
    busy = b;
    if (busyChanged)
        busyChanged();
}

void ArchiveCheckDialog::run() {
    refresh();
    if (!owner_.connected()) {
        ui_.warn(kNoConnection, kArchiveCheckTitle);
        return;
    }
    if (scope == CheckScope::Archive &&
        ui_.question(kWholeArchiveQuestion, kArchiveCheckTitle, ui::Buttons::YesNo,
                     ui::Answer::Yes) != ui::Answer::Yes)
        return;
    check::Selection selection;
    std::string what = "весь архив";
    if (scope == CheckScope::Station) {
        selection.stations = {owner_.browser.stations.selectedText()};
        what = "станция " + text::decodeLegacy(selection.stations[0]);
    } else if (scope == CheckScope::Network) {
        selection.networks = {owner_.browser.networks.selectedText()};
        what = "сеть " + text::decodeLegacy(selection.networks[0]);
    }
    lines.clear();
    selected = -1;
    found_ = 0;
    std::size_t errors = 0, warnings = 0;
    const auto sink = [&](check::Finding f) {
        ++(f.severity == check::Severity::Error ? errors : warnings);
        if (lines.size() < maxLines) {
            lines.push_back(checkLine(f));
            lines.back().number = found_;
        }
        ++found_;
    };
    check::Counts counts;
    std::string diagnostic;
    bool read = false;
    {
        setBusy(true);
        read = check::checkArchive(*owner_.connection, selection,
                                   readableFolder(responseDirectory(std::filesystem::current_path(),
                                                                    owner_.sharedSettings)),
                                   sink, counts, diagnostic);
        setBusy(false);
    }
    summary = text::format("Ошибок: %zu, предупреждений: %zu (%s: откликов %zu, станций %zu, "
                           "каналов %zu)",
                           errors, warnings, what.c_str(), counts.responses, counts.stations,
                           counts.channels);
    if (found_ > lines.size())
        summary += text::format("; показаны первые %zu", lines.size());
    arrange();
    if (!read)
        ui_.warn(kNotReadToTheEnd + diagnostic + kFoundUntilThen, kArchiveCheckTitle);
}

void ArchiveCheckDialog::sortBy(CheckOrder by) {
    descending = by == order && by != CheckOrder::Found ? !descending : false;
    order = by;
    arrange();
}

void ArchiveCheckDialog::arrange() {
    const std::size_t chosen =
        selected >= 0 && std::size_t(selected) < lines.size() ? lines[selected].number : found_;
    const auto rank = [this](const CheckLine& l) -> std::string {
        switch (order) {
        case CheckOrder::Rule:
            return l.rule;
        case CheckOrder::Severity:
            return l.finding.severity == check::Severity::Error ? "0" : "1";
        case CheckOrder::Found:
            break;
        }
        return {};
    };
    std::stable_sort(lines.begin(), lines.end(), [&](const CheckLine& a, const CheckLine& b) {
        const std::string ra = rank(a), rb = rank(b);
        if (ra != rb)
            return descending ? rb < ra : ra < rb;
        return a.number < b.number;
    });
    selected = -1;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].number == chosen)
            selected = int(i);
}

void ArchiveCheckDialog::chooseLine(int index) {
    if (index < 0 || std::size_t(index) >= lines.size())
        return;
    selected = index;
    if (!owner_.connected())
        return;
    const check::FindingKey& k = lines[index].finding.key;
    std::string network = k.network;
    // SITE and SITECHAN rows name no network: the panel shows the station in one of its own.
    if (network.empty())
        network = networkOfStation(*owner_.connection, k.station);
    ResponseBrowser& panel = owner_.browser;
    panel.requestSelection(k.station, network, k.channel, k.location);
    panel.intervalToSelect = k.start ? formatDateText(*k.start) : std::string();
    owner_.fillDatabasePanel();
    const bool shown =
        panel.stations.selectedText() == k.station && panel.networks.selectedText() == network &&
        (k.channel.empty() || (panel.channels.selectedText() == k.channel &&
                               panel.locations.selectedText() == k.location)) &&
        (!k.start || panel.intervals.selectedText().starts_with(formatDateText(*k.start)));
    if (!shown)
        ui_.inform("В базе нет отклика " + lines[index].key +
                       (k.start ? " с начала " + lines[index].start : std::string()) +
                       ": панель «В БАЗЕ» показывает ближайший ключ.",
                   kArchiveCheckTitle);
}

} // namespace orv::gainbook
