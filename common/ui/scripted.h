// An Interaction for tests: answers come from queues filled by the test, and every
// message box and file choice is recorded in the order it was shown.
#pragma once

#include "ui/interaction.h"

#include <deque>
#include <vector>

namespace orv::ui {

class ScriptedInteraction : public Interaction {
public:
    struct Shown {
        enum class Kind { Message, OpenFile, SaveFile } kind = Kind::Message;
        std::string text;    // message text, or the file choice's title
        std::string caption; // message caption, or the file choice's directory
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        Answer answer = Answer::Ok;
        Answer defaultAnswer = Answer::Ok; // the button Enter presses: OK or Yes unless named
        FileChoice choice;                 // for file choices
    };

    // Queue the answer to the next question (Yes/No, OK/Cancel, ...).
    void answer(Answer a) { answers_.push_back(a); }
    // Queue the result of the next file choice (nullopt: the user cancels).
    void chooseFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
    // What a question gets when nothing is queued: the first button of its set (OK or Yes).
    void setDefaultAnswerNegative(bool negative) { negativeDefault_ = negative; }

    Answer message(std::string_view text, std::string_view caption, Icon icon,
                   Buttons buttons) override;
    Answer question(std::string_view text, std::string_view caption, Buttons buttons,
                    Answer defaultAnswer) override;
    std::optional<std::string> openFile(const FileChoice& choice) override;
    std::optional<std::string> saveFile(const FileChoice& choice) override;

    const std::vector<Shown>& shown() const { return shown_; }
    // Only the message boxes, in order.
    std::vector<Shown> messages() const;
    // Texts of the message boxes, in order.
    std::vector<std::string> messageTexts() const;
    void clear() { shown_.clear(); }
    bool allAnswersUsed() const { return answers_.empty() && files_.empty(); }

private:
    std::optional<std::string> choose(Shown::Kind kind, const FileChoice& choice);
    Answer show(std::string_view text, std::string_view caption, Icon icon, Buttons buttons,
                Answer defaultAnswer);

    std::deque<Answer> answers_;
    std::deque<std::optional<std::string>> files_;
    std::vector<Shown> shown_;
    bool negativeDefault_ = false;
};

} // namespace orv::ui
