#include "archivecheckdialogqt.h"

#include "widgets.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace orv::gainbook::qt {

namespace {

constexpr int kColumns = int(std::size(kArchiveCheckColumns));

QRadioButton* radio(const char* name, QButtonGroup* group, QWidget* parent) {
    auto* r = new QRadioButton(parent);
    r->setAccessibleName(QString::fromUtf8(name));
    group->addButton(r);
    return r;
}

void setChecked(QRadioButton* b, bool on) {
    const QSignalBlocker block(b);
    b->setChecked(on);
}

} // namespace

ArchiveCheckDialogQt::ArchiveCheckDialogQt(MainWindow& owner, ui::Interaction& ui,
                                           QWidget* ownerWidget)
    : QDialog(ownerWidget), logic_(owner, ui) {
    setWindowTitle(QString::fromUtf8(kArchiveCheckTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    auto* layout = new QVBoxLayout(this);

    auto* scope = new QGroupBox(QString::fromUtf8("Что проверить"), this);
    auto* scopeRow = new QHBoxLayout(scope);
    auto* group = new QButtonGroup(scope);
    c_.station = radio("Проверить станцию", group, scope);
    c_.network = radio("Проверить сеть", group, scope);
    c_.archive = radio("Проверить весь архив", group, scope);
    scopeRow->addWidget(c_.station);
    scopeRow->addWidget(c_.network);
    scopeRow->addWidget(c_.archive);
    scopeRow->addStretch(1);
    c_.check = new QPushButton(QString::fromUtf8(kArchiveCheckButton), scope);
    c_.check->setAutoDefault(false);
    c_.check->setAccessibleName(QString::fromUtf8(kArchiveCheckButton));
    scopeRow->addWidget(c_.check);
    layout->addWidget(scope);

    c_.findings = new QTableWidget(0, kColumns, this);
    QStringList headers;
    for (const char* h : kArchiveCheckColumns)
        headers << QString::fromUtf8(h);
    c_.findings->setHorizontalHeaderLabels(headers);
    c_.findings->setAccessibleName(QString::fromUtf8("Найденное"));
    c_.findings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c_.findings->setSelectionBehavior(QAbstractItemView::SelectRows);
    c_.findings->setSelectionMode(QAbstractItemView::SingleSelection);
    c_.findings->setWordWrap(false);
    c_.findings->verticalHeader()->setVisible(false);
    c_.findings->verticalHeader()->setDefaultSectionSize(c_.findings->fontMetrics().height() + 6);
    QHeaderView* header = c_.findings->horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    const QFontMetrics fm = c_.findings->fontMetrics();
    const int widths[] = {fm.horizontalAdvance(QString::fromUtf8("предупреждение")),
                          fm.horizontalAdvance(QStringLiteral("response-no-chan")),
                          fm.horizontalAdvance(QStringLiteral("KZ.KIV.00.BHZ")),
                          fm.horizontalAdvance(QStringLiteral("2000.00.00 00:00:00"))};
    for (int i = 0; i < int(std::size(widths)); ++i)
        header->resizeSection(i, widths[i] + 24);
    layout->addWidget(c_.findings, 1);

    // The chosen line whole: beside the database panel the window is often too narrow for
    // its sentence.
    c_.chosen = new QLabel(this);
    c_.chosen->setWordWrap(true);
    c_.chosen->setTextInteractionFlags(Qt::TextSelectableByMouse);
    c_.chosen->setAccessibleName(QString::fromUtf8("Выбранная строка"));
    layout->addWidget(c_.chosen);

    c_.summary = new QLabel(this);
    c_.summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(c_.summary);

    bind();
    logic_.busyChanged = [this] {
        if (logic_.busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    };
    resize(1100, 520);
    sync();
}

void ArchiveCheckDialogQt::bind() {
    ArchiveCheckDialog& d = logic_;
    const std::pair<QRadioButton*, CheckScope> scopes[] = {{c_.station, CheckScope::Station},
                                                           {c_.network, CheckScope::Network},
                                                           {c_.archive, CheckScope::Archive}};
    for (const auto& [b, scope] : scopes)
        connect(b, &QRadioButton::toggled, this, [this, &d, scope = scope](bool on) {
            if (on)
                d.chooseScope(scope);
            sync();
        });
    connect(c_.check, &QPushButton::clicked, this, [this, &d] {
        d.run();
        fillList();
        sync();
    });
    connect(c_.findings->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this, &d](int column) {
                // "Важность" and "Правило" sort; the others bring back the order found.
                d.sortBy(column == 0   ? CheckOrder::Severity
                         : column == 1 ? CheckOrder::Rule
                                       : CheckOrder::Found);
                fillList();
                sync();
            });
    connect(c_.findings, &QTableWidget::itemSelectionChanged, this, [this, &d] {
        const int row = c_.findings->currentRow();
        if (row < 0 || row == d.selected)
            return;
        d.chooseLine(row);
        emit panelChanged();
        sync();
    });
}

void ArchiveCheckDialogQt::fillList() {
    const QSignalBlocker block(c_.findings);
    c_.findings->clearContents();
    c_.findings->setRowCount(int(logic_.lines.size()));
    int row = 0;
    for (const CheckLine& line : logic_.lines) {
        const std::string* cells[] = {&line.severity, &line.rule, &line.key, &line.start,
                                      &line.text};
        for (int column = 0; column < kColumns; ++column) {
            auto* item = new QTableWidgetItem(q(*cells[column]));
            // The sentence is often wider than its column: whole in the tip.
            if (column == kColumns - 1)
                item->setToolTip(q(*cells[column]));
            if (column == 0 && line.finding.severity == check::Severity::Error)
                item->setForeground(QColor(0xb0, 0, 0));
            c_.findings->setItem(row, column, item);
        }
        ++row;
    }
}

void ArchiveCheckDialogQt::refresh() {
    logic_.refresh();
    sync();
}

void ArchiveCheckDialogQt::sync() {
    const ArchiveCheckDialog& d = logic_;
    const std::pair<QRadioButton*, CheckScope> scopes[] = {{c_.station, CheckScope::Station},
                                                           {c_.network, CheckScope::Network},
                                                           {c_.archive, CheckScope::Archive}};
    for (const auto& [b, scope] : scopes) {
        b->setText(q(d.scopeText(scope)));
        b->setAccessibleName(b->text());
        b->setEnabled(d.scopeEnabled(scope));
        setChecked(b, d.scope == scope);
    }
    QHeaderView* header = c_.findings->horizontalHeader();
    const int sorted = d.order == CheckOrder::Severity ? 0 : d.order == CheckOrder::Rule ? 1 : -1;
    header->setSortIndicatorShown(sorted >= 0);
    if (sorted >= 0)
        header->setSortIndicator(sorted, d.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    {
        const QSignalBlocker block(c_.findings);
        if (d.selected >= 0 && d.selected < c_.findings->rowCount())
            c_.findings->selectRow(d.selected);
        else
            c_.findings->clearSelection();
    }
    std::string chosen;
    if (d.selected >= 0 && std::size_t(d.selected) < d.lines.size()) {
        const CheckLine& line = d.lines[std::size_t(d.selected)];
        chosen = line.key + (line.start.empty() ? "" : " с " + line.start) + ": " + line.text;
    }
    c_.chosen->setText(q(chosen));
    c_.chosen->setAccessibleDescription(q(chosen));
    c_.chosen->setVisible(!chosen.empty());
    c_.summary->setText(q(d.summary));
    c_.summary->setAccessibleDescription(q(d.summary));
}

} // namespace orv::gainbook::qt
