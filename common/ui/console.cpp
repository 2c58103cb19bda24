#include "ui/console.h"

#include "text/text.h"

#include <cstdlib>
#include <ostream>

namespace orv::ui {

ConsoleInteraction::ConsoleInteraction(std::ostream& out, std::string program)
    : out_(out), program_(std::move(program)) {}

Answer ConsoleInteraction::message(std::string_view text, std::string_view, Icon, Buttons buttons) {
    out_ << program_ << ": " << text::replaceAll(text::trim(text), "\r\n", "\n") << std::endl;
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::Yes : Answer::Ok;
}

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* v = std::getenv(name); v && *v)
            return true;
    }
    return false;
}

} // namespace orv::ui
