#include "widgets.h"

#include <QSignalBlocker>

namespace orv::gainbook::qt {

QLabel* labelFor(const QString& text, QWidget* control, QWidget* parent, const QString& name) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(control);
    control->setAccessibleName(name.isEmpty() ? text : name);
    return label;
}

QString oneLine(const QString& text) {
    return text.simplified();
}

void setEntries(QComboBox* box, const std::vector<std::string>& entries, int selected) {
    const QSignalBlocker block(box);
    const QString typed = box->isEditable() ? box->currentText() : QString();
    box->clear();
    for (const std::string& e : entries)
        box->addItem(q(e));
    box->setCurrentIndex(selected);
    if (selected < 0 && box->isEditable())
        box->setEditText(typed);
}

} // namespace orv::gainbook::qt
