// The Interaction of programs that run without a display (from installers, cron, a
// terminal, a batch import): no box is shown, each is handed on as text, questions are
// answered by a rule given beforehand, and file choices are cancelled.
#pragma once

#include "ui/interaction.h"

#include <iosfwd>
#include <string>

namespace orv::ui {

class HeadlessInteraction : public Interaction {
public:
    // With yes a question is answered Yes (OK of OK/Cancel), else No (Cancel); a box that
    // asks nothing gets OK.
    explicit HeadlessInteraction(bool yes) : yes_(yes) {}

    Answer message(std::string_view text, std::string_view caption, Icon icon,
                   Buttons buttons) final;
    std::optional<std::string> openFile(const FileChoice&) override { return std::nullopt; }
    std::optional<std::string> saveFile(const FileChoice&) override { return std::nullopt; }

    // " -> Да" or " -> Нет" after a question answered Yes or No; "" after any other box.
    static std::string_view answerText(Buttons buttons, Answer answer);

protected:
    // What the box said, and the answer it was given.
    virtual void said(std::string_view text, std::string_view caption, Buttons buttons,
                      Answer answer) = 0;

private:
    bool yes_;
};

// Every box one line "program: text" on a stream; questions answered Yes.
class ConsoleInteraction : public HeadlessInteraction {
public:
    ConsoleInteraction(std::ostream& out, std::string program);

protected:
    void said(std::string_view text, std::string_view caption, Buttons buttons,
              Answer answer) override;

private:
    std::ostream& out_;
    std::string program_;
};

// True when a window can be shown: an X11 or Wayland display is named in the environment.
bool displayAvailable();

} // namespace orv::ui
