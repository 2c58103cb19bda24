#include "ui/scripted.h"

namespace orv::ui {

Answer ScriptedInteraction::message(std::string_view text, std::string_view caption, Icon icon,
                                    Buttons buttons) {
    return show(text, caption, icon, buttons,
                buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes);
}

Answer ScriptedInteraction::question(std::string_view text, std::string_view caption,
                                     Buttons buttons, Answer defaultAnswer) {
    return show(text, caption, Icon::Question, buttons, defaultAnswer);
}

Answer ScriptedInteraction::show(std::string_view text, std::string_view caption, Icon icon,
                                 Buttons buttons, Answer defaultAnswer) {
    Answer a = Answer::Ok;
    if (buttons != Buttons::Ok) {
        if (!answers_.empty()) {
            a = answers_.front();
            answers_.pop_front();
        } else if (buttons == Buttons::OkCancel) {
            a = negativeDefault_ ? Answer::Cancel : Answer::Ok;
        } else {
            a = negativeDefault_ ? Answer::No : Answer::Yes;
        }
    }
    Shown s;
    s.kind = Shown::Kind::Message;
    s.text = text;
    s.caption = caption;
    s.icon = icon;
    s.buttons = buttons;
    s.answer = a;
    s.defaultAnswer = defaultAnswer;
    shown_.push_back(std::move(s));
    return a;
}

std::optional<std::string> ScriptedInteraction::choose(Shown::Kind kind, const FileChoice& choice) {
    std::optional<std::string> result;
    if (!files_.empty()) {
        result = files_.front();
        files_.pop_front();
    }
    Shown s;
    s.kind = kind;
    s.text = choice.title;
    s.caption = choice.directory;
    s.answer = result ? Answer::Ok : Answer::Cancel;
    s.choice = choice;
    shown_.push_back(std::move(s));
    return result;
}

std::optional<std::string> ScriptedInteraction::openFile(const FileChoice& choice) {
    return choose(Shown::Kind::OpenFile, choice);
}

std::optional<std::string> ScriptedInteraction::saveFile(const FileChoice& choice) {
    return choose(Shown::Kind::SaveFile, choice);
}

std::vector<ScriptedInteraction::Shown> ScriptedInteraction::messages() const {
    std::vector<Shown> out;
    for (const auto& s : shown_)
        if (s.kind == Shown::Kind::Message)
            out.push_back(s);
    return out;
}

std::vector<std::string> ScriptedInteraction::messageTexts() const {
    std::vector<std::string> out;
    for (const auto& s : shown_)
        if (s.kind == Shown::Kind::Message)
            out.push_back(s.text);
    return out;
}

} // namespace orv::ui
