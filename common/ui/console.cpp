#include "ui/console.h"

#include "text/text.h"

#include <cstdlib>
#include <ostream>

namespace orv::ui {

Answer HeadlessInteraction::message(std::string_view text, std::string_view caption, Icon,
                                    Buttons buttons) {
    Answer answer = Answer::Ok;
    if (buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel)
        answer = yes_ ? Answer::Yes : Answer::No;
    else if (buttons == Buttons::OkCancel)
        answer = yes_ ? Answer::Ok : Answer::Cancel;
    said(text, caption, buttons, answer);
    return answer;
}

std::string_view HeadlessInteraction::answerText(Buttons buttons, Answer answer) {
    if (buttons != Buttons::YesNo && buttons != Buttons::YesNoCancel)
        return {};
    return answer == Answer::Yes ? " -> Да" : " -> Нет";
}

ConsoleInteraction::ConsoleInteraction(std::ostream& out, std::string program)
    : HeadlessInteraction(true), out_(out), program_(std::move(program)) {}

void ConsoleInteraction::said(std::string_view text, std::string_view, Buttons, Answer) {
    out_ << program_ << ": " << text::replaceAll(text::trim(text), "\r\n", "\n") << std::endl;
}

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* v = std::getenv(name); v && *v)
            return true;
    }
    return false;
}

} // namespace orv::ui
