#include "ui/qtinteraction.h"

#include "ui/console.h"
#include "ui/qtapplication.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <algorithm>
#include <iostream>
#include <vector>

namespace orv::ui {

namespace {

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::optional<std::string> runFileDialog(QWidget* parent, const FileChoice& choice, bool save) {
    QFileDialog dialog(parent, q(choice.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    showFileDetailsInLanguage(dialog);
    if (!choice.directory.empty())
        dialog.setDirectory(q(choice.directory));
    if (!choice.fileName.empty())
        dialog.selectFile(q(choice.fileName));
    if (!choice.filter.empty())
        dialog.setNameFilters(q(qtNameFilters(choice.filter)).split(QStringLiteral(";;")));
    // A wildcard ("*") asks for no particular extension: Qt would add it to every name
    // without a dot, and such files could not be opened.
    if (!choice.defaultExtension.empty() &&
        choice.defaultExtension.find_first_of("*?") == std::string::npos)
        dialog.setDefaultSuffix(q(choice.defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

QMessageBox::StandardButton standardButton(Answer a) {
    switch (a) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

} // namespace

QtInteraction::QtInteraction(QWidget* parent, std::string programTitle)
    : parent_(parent), programTitle_(std::move(programTitle)) {}

Answer QtInteraction::message(std::string_view text, std::string_view caption, Icon icon,
                              Buttons buttons) {
    return show(text, caption, icon, buttons, std::nullopt);
}

Answer QtInteraction::question(std::string_view text, std::string_view caption, Buttons buttons,
                               Answer defaultAnswer) {
    return show(text, caption, Icon::Question, buttons, defaultAnswer);
}

Answer QtInteraction::show(std::string_view text, std::string_view caption, Icon icon,
                           Buttons buttons, std::optional<Answer> defaultAnswer) {
    QMessageBox box(parent_);
    box.setWindowTitle(q(caption.empty() ? std::string_view(programTitle_) : caption));
    box.setText(q(text));
    switch (icon) {
    case Icon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::None:
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    if (defaultAnswer)
        box.setDefaultButton(standardButton(*defaultAnswer));
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        // Escape on a Yes/No box closes it as No.
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
}

std::optional<std::string> QtInteraction::openFile(const FileChoice& choice) {
    return runFileDialog(parent_, choice, false);
}

std::optional<std::string> QtInteraction::saveFile(const FileChoice& choice) {
    return runFileDialog(parent_, choice, true);
}

std::string qtNameFilters(std::string_view filter) {
    std::vector<std::string_view> parts;
    for (std::size_t pos = 0; pos < filter.size();) {
        const std::size_t bar = std::min(filter.find('|', pos), filter.size());
        parts.push_back(filter.substr(pos, bar - pos));
        pos = bar + 1;
    }
    std::string out;
    // Pairs of description and patterns, up to the empty part that ends the list.
    for (std::size_t i = 0; i < parts.size() && !parts[i].empty(); i += 2) {
        std::string_view description = parts[i];
        // A description that shows its patterns already ("All Files (*.*)") gets Qt's form
        // of them in their place, not a second list behind them.
        const std::size_t open = description.rfind('(');
        if (open != std::string_view::npos && description.ends_with(')') &&
            description.substr(open).find_first_of("*?") != std::string_view::npos) {
            description = description.substr(0, open);
            while (description.ends_with(' '))
                description.remove_suffix(1);
        }
        std::string patterns;
        const std::string_view list = i + 1 < parts.size() ? parts[i + 1] : std::string_view();
        for (std::size_t pos = 0; pos < list.size();) {
            const std::size_t semi = std::min(list.find(';', pos), list.size());
            const std::string_view one = list.substr(pos, semi - pos);
            if (!one.empty()) {
                if (!patterns.empty())
                    patterns += ' ';
                patterns.append(one == "*.*" ? "*" : one);
            }
            pos = semi + 1;
        }
        if (!out.empty())
            out += ";;";
        out.append(description).append(" (").append(patterns).append(")");
    }
    return out;
}

int runWithMessages(int& argc, char** argv, const std::string& program, const std::string& title,
                    const std::function<int(Interaction&)>& body) {
    if (!displayAvailable()) {
        ConsoleInteraction console(std::cerr, program);
        return body(console);
    }
    QApplication app(argc, argv);
    QtInteraction boxes(nullptr, title);
    return body(boxes);
}

} // namespace orv::ui
