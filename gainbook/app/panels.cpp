#include "panels.h"

namespace orv::gainbook {

void FilePanel::clearRefused() {
    calib.clear();
    network.clear();
    station.clear();
    channel.clear();
    location.clear();
    time.clear();
    text.clear();
}

} // namespace orv::gainbook
