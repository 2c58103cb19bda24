// The Interaction of programs that run without a display (from installers, cron, a
// terminal): every message box becomes one line "program: text" on a stream, questions
// get the first button of their set, and file choices are cancelled.
#pragma once

#include "ui/interaction.h"

#include <iosfwd>
#include <string>

namespace orv::ui {

class ConsoleInteraction : public Interaction {
public:
    ConsoleInteraction(std::ostream& out, std::string program);

    Answer message(std::string_view text, std::string_view caption, Icon icon,
                   Buttons buttons) override;
    std::optional<std::string> openFile(const FileChoice&) override { return std::nullopt; }
    std::optional<std::string> saveFile(const FileChoice&) override { return std::nullopt; }

private:
    std::ostream& out_;
    std::string program_;
};

// True when a window can be shown: an X11 or Wayland display is named in the environment.
bool displayAvailable();

} // namespace orv::ui
