// Everything a program asks of the user or tells the user goes through this interface:
// message boxes, questions, and open and save file choices. The windows get a Qt
// implementation; tests get ScriptedInteraction, which answers from a script and
// records what was shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orv::ui {

enum class Icon { None, Stop, Exclamation, Question, Information };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct FileChoice {
    std::string title;     // empty: the platform's default title
    std::string directory; // where the choice opens; empty: the current directory
    std::string fileName;  // proposed file name
    std::string filter;    // "Description|pattern|...||", as "All files|*.*||"
    std::string defaultExtension;
};

class Interaction {
public:
    virtual ~Interaction() = default;

    // A message box. The caption is the program's title when empty. Its default button
    // (the one Enter presses) is the first of the set: OK or Yes.
    virtual Answer message(std::string_view text, std::string_view caption, Icon icon,
                           Buttons buttons) = 0;
    // A question whose default button is the one of defaultAnswer. One without buttons
    // (a console that answers by itself) answers as message() does.
    virtual Answer question(std::string_view text, std::string_view caption, Buttons buttons,
                            Answer /*defaultAnswer*/) {
        return message(text, caption, Icon::Question, buttons);
    }
    // Full path of the chosen file, or nullopt when the user cancelled.
    virtual std::optional<std::string> openFile(const FileChoice& choice) = 0;
    virtual std::optional<std::string> saveFile(const FileChoice& choice) = 0;

    // Shorthands.
    void inform(std::string_view text, std::string_view caption = {}) {
        message(text, caption, Icon::Information, Buttons::Ok);
    }
    void warn(std::string_view text, std::string_view caption = {}) {
        message(text, caption, Icon::Exclamation, Buttons::Ok);
    }
    void error(std::string_view text, std::string_view caption = {}) {
        message(text, caption, Icon::Stop, Buttons::Ok);
    }
    bool askYesNo(std::string_view text, std::string_view caption = {}) {
        return message(text, caption, Icon::Question, Buttons::YesNo) == Answer::Yes;
    }
    // A question whose Yes changes stored data in a way the user may not mean (an overlap,
    // a deletion): No is the default, so that Enter changes nothing.
    bool confirmChange(std::string_view text, std::string_view caption = {}) {
        return question(text, caption, Buttons::YesNo, Answer::No) == Answer::Yes;
    }
};

} // namespace orv::ui
