#include "panels.h"

#include "text/text.h"

namespace orv::gainbook {

int ListChoice::addSorted(const std::string& entry) {
    const std::string key = text::toLower(entry);
    std::size_t i = 0;
    while (i < entries.size() && text::toLower(entries[i]) <= key)
        ++i;
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(i), entry);
    if (selected >= static_cast<int>(i))
        ++selected;
    return static_cast<int>(i);
}

bool ListChoice::selectPrefix(const std::string& prefix) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (text::startsWithNoCase(entries[i], prefix)) {
            selected = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

void DatabasePanel::reset() {
    stations.clear();
    networks.clear();
    channels.clear();
    locations.clear();
    intervals.clear();
    intervalText.clear();
    storedText.clear();
    sens.clear();
    freq.clear();
    sensLabel = "SENS";
    freqLabel = "FREQ";
}

} // namespace orv::gainbook
