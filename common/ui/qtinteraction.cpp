#include "ui/qtinteraction.h"

#include "ui/console.h"
#include "ui/qtapplication.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <iostream>

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

} // namespace

QtInteraction::QtInteraction(QWidget* parent, std::string programTitle)
    : parent_(parent), programTitle_(std::move(programTitle)) {}

Answer QtInteraction::message(std::string_view text, std::string_view caption, Icon icon,
                              Buttons buttons) {
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
    std::string out;
    std::size_t pos = 0;
    while (pos < filter.size()) {
        const std::size_t bar1 = filter.find('|', pos);
        if (bar1 == std::string_view::npos || bar1 == pos)
            break;
        const std::size_t bar2 = filter.find('|', bar1 + 1);
        const std::string_view desc = filter.substr(pos, bar1 - pos);
        std::string patterns(filter.substr(
            bar1 + 1, (bar2 == std::string_view::npos ? filter.size() : bar2) - bar1 - 1));
        std::string qtPatterns;
        std::size_t p = 0;
        while (p <= patterns.size()) {
            const std::size_t semi = patterns.find(';', p);
            std::string one =
                patterns.substr(p, semi == std::string::npos ? std::string::npos : semi - p);
            if (one == "*.*")
                one = "*";
            if (!one.empty())
                qtPatterns += (qtPatterns.empty() ? "" : " ") + one;
            if (semi == std::string::npos)
                break;
            p = semi + 1;
        }
        if (!out.empty())
            out += ";;";
        out += std::string(desc) + " (" + qtPatterns + ")";
        if (bar2 == std::string_view::npos)
            break;
        pos = bar2 + 1;
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
