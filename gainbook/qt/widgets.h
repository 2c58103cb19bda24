// Small helpers shared by the response editor's windows.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::qt {

inline QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string s(const QString& text) {
    return text.toUtf8().toStdString();
}

// A label that names its control for keyboard users and screen readers: by the label's
// text, or by name where the same label stands over controls of two panels.
QLabel* labelFor(const QString& text, QWidget* control, QWidget* parent, const QString& name = {});

// A button text with its line breaks, as an accessible name on one line.
QString oneLine(const QString& text);

// Fills a combo box without emitting its signals.
void setEntries(QComboBox* box, const std::vector<std::string>& entries, int selected);

} // namespace orv::gainbook::qt
