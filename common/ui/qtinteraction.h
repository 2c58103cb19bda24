// The Qt implementation of Interaction: QMessageBox and QFileDialog over a parent widget.
#pragma once

#include "ui/interaction.h"
#include "ui/qtapplication.h"

#include <functional>
#include <string>

class QApplication;
class QWidget;

namespace orv::ui {

class QtInteraction : public Interaction {
public:
    // programTitle is the caption of message boxes that have none of their own.
    QtInteraction(QWidget* parent, std::string programTitle);

    void setParent(QWidget* parent) { parent_ = parent; }

    Answer message(std::string_view text, std::string_view caption, Icon icon,
                   Buttons buttons) override;
    Answer question(std::string_view text, std::string_view caption, Buttons buttons,
                    Answer defaultAnswer) override;
    std::optional<std::string> openFile(const FileChoice& choice) override;
    std::optional<std::string> saveFile(const FileChoice& choice) override;

private:
    Answer show(std::string_view text, std::string_view caption, Icon icon, Buttons buttons,
                std::optional<Answer> defaultAnswer);

    QWidget* parent_;
    std::string programTitle_;
};

// "Desc|*.a;*.b|Other|*.*||" as a Qt name filter list ("Desc (*.a *.b);;Other (*)"). A
// description that shows its patterns ("All Files (*.*)|*.*") shows Qt's form of them
// instead ("All Files (*)").
std::string qtNameFilters(std::string_view filter);

// For programs without a window of their own: runs body with message boxes when a display
// is available (captions without their own get title), else with one line per message on
// standard error ("program: text"). Returns what body returns.
int runWithMessages(int& argc, char** argv, const std::string& program, const std::string& title,
                    const std::function<int(Interaction&)>& body);

} // namespace orv::ui
