#include "ui/stationwindow.h"

#include "core/messages.h"

#include <algorithm>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace orv::sitewright {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
std::string ss(const QString& s) {
    return s.toStdString();
}

// Raises whatever is typed to upper case, Cyrillic included.
class UpperCase : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

QLabel* labelFor(const char* text, QWidget* buddy) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setBuddy(buddy);
    return label;
}

const char* const kComponentNames[kComponents] = {"Z", "N", "E"};

// Wide enough for the given number of digits, frame and margins included.
void fitChars(QWidget* w, int chars) {
    w->setMinimumWidth(w->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 24);
}

} // namespace

StationWindow::StationWindow(CStationDlg& logic, orv::ui::Interaction& ui, QWidget* parent)
    : QDialog(parent), logic_(logic), ui_(ui) {
    auto* upper = new UpperCase(this);

    sta_ = new QComboBox;
    sta_->setEditable(true);
    sta_->setInsertPolicy(QComboBox::NoInsert);
    sta_->lineEdit()->setValidator(upper);
    sta_->setCompleter(nullptr); // each keystroke looks up exactly what was typed
    sta_->setMinimumContentsLength(8);
    cod_ = addEdit("Междуна- родн. код");
    nindex_ = addEdit("Номер в БД");
    lat_ = addEdit("Широта, град");
    lon_ = addEdit("Долгота, град");
    elev_ = addEdit("Высота, м");
    descr_ = addEdit("Название (русское)");
    staname_ = addEdit("Название (английское)");
    underground_ = addEdit("Почва");
    ondate_ = addEdit("Открыта (yyyy-mo-dd hh:mi:ss)");
    offdate_ = addEdit("Закрыта (yyyy-mo-dd hh:mi:ss)");
    ngroups_ = addEdit("К-во групп каналов:");
    ngroups_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));
    fitChars(ngroups_, 2);
    ngroups_->setMaximumWidth(ngroups_->minimumWidth());
    fitChars(sta_, 10);
    for (QLineEdit* e : {cod_, nindex_, lat_, lon_, elev_})
        fitChars(e, 9);
    fitChars(ondate_, 20);
    fitChars(offdate_, 20);
    refsta_ = new QComboBox;
    refsta_->setEditable(true);
    refsta_->setInsertPolicy(QComboBox::NoInsert);
    refsta_->lineEdit()->setValidator(upper);
    refsta_->setCompleter(nullptr);
    dnorth_ = addEdit("Смещение от центральной точки к северу (км)");
    deast_ = addEdit("Смещение от центральной точки к востоку(км)");
    fitChars(refsta_, 10);
    fitChars(dnorth_, 10);
    fitChars(deast_, 10);

    // --- the station's own fields
    auto* station = new QGridLayout;
    station->addWidget(labelFor("Станция (код)", sta_), 0, 0);
    station->addWidget(sta_, 0, 1);
    station->addWidget(labelFor("Междуна- родн. код", cod_), 0, 2);
    station->addWidget(cod_, 0, 3);
    station->addWidget(labelFor("Номер в БД", nindex_), 0, 4);
    station->addWidget(nindex_, 0, 5);
    station->addWidget(labelFor("Широта, град", lat_), 1, 0);
    station->addWidget(lat_, 1, 1);
    station->addWidget(labelFor("Долгота, град", lon_), 1, 2);
    station->addWidget(lon_, 1, 3);
    station->addWidget(labelFor("Высота, м", elev_), 1, 4);
    station->addWidget(elev_, 1, 5);
    station->addWidget(labelFor("Название (русское)", descr_), 2, 0);
    station->addWidget(descr_, 2, 1, 1, 5);
    station->addWidget(labelFor("Название (английское)", staname_), 3, 0);
    station->addWidget(staname_, 3, 1, 1, 5);
    station->addWidget(labelFor("Почва", underground_), 4, 0);
    station->addWidget(underground_, 4, 1, 1, 5);
    station->addWidget(labelFor("Открыта (yyyy-mo-dd hh:mi:ss)", ondate_), 5, 0);
    station->addWidget(ondate_, 5, 1);
    station->addWidget(labelFor("Закрыта (yyyy-mo-dd hh:mi:ss)", offdate_), 5, 2);
    station->addWidget(offdate_, 5, 3);
    station->addWidget(labelFor("К-во групп каналов:", ngroups_), 5, 4);
    station->addWidget(ngroups_, 5, 5);

    auto* arrayBox = new QGroupBox(QString::fromUtf8("Положение в сейсмической группе"));
    auto* array = new QGridLayout(arrayBox);
    array->addWidget(labelFor("Центральная точка", refsta_), 0, 0);
    array->addWidget(refsta_, 0, 1);
    array->addWidget(labelFor("Смещение от центральной точки к северу (км)", dnorth_), 1, 0);
    array->addWidget(dnorth_, 1, 1);
    array->addWidget(labelFor("Смещение от центральной точки к востоку(км)", deast_), 2, 0);
    array->addWidget(deast_, 2, 1);

    // --- the channel grid
    auto* groupsBox = new QGroupBox(QString::fromUtf8("Группы каналов"));
    auto* grid = new QGridLayout(groupsBox);
    grid->setHorizontalSpacing(4);
    for (int g = 1; g <= kGroups; ++g) {
        const auto gi = static_cast<std::size_t>(g - 1);
        for (int c = 0; c < kComponents; ++c) {
            const int i = channelIndex(g, c);
            const auto k = static_cast<std::size_t>(i);
            auto* edit = new QLineEdit;
            edit->setValidator(upper);
            fitChars(edit, 6);
            edit->setMaximumWidth(edit->minimumWidth());
            edit->setAccessibleName(
                QString::fromUtf8("Канал %1, группа %2").arg(kComponentNames[c]).arg(g));
            connect(edit, &QLineEdit::textEdited, this,
                    [this, k](const QString& t) { logic_.controls().chan[k] = ss(t); });
            chan_[k] = edit;
            auto* button = new QPushButton;
            button->setAutoDefault(false);
            fitChars(button, 8);
            button->setMaximumWidth(button->minimumWidth());
            button->setAccessibleName(
                QString::fromUtf8("Файл АЧХ канала %1, группа %2").arg(kComponentNames[c]).arg(g));
            connect(button, &QPushButton::clicked, this, [this, g, c] {
                logic_.onResponseButton(g, c);
                syncFromLogic();
            });
            response_[k] = button;
            grid->addWidget(edit, g, 1 + 2 * c);
            grid->addWidget(button, g, 2 + 2 * c);
        }
        auto* lcode = new QComboBox;
        lcode->setEditable(true);
        lcode->setCompleter(nullptr);
        fitChars(lcode, 5);
        lcode->setInsertPolicy(QComboBox::NoInsert);
        std::vector<std::string> codes = locationCodes();
        std::sort(codes.begin(), codes.end()); // the list keeps itself sorted
        for (const std::string& code : codes)
            lcode->addItem(qs(code));
        lcode->setAccessibleName(QString::fromUtf8("Код расположения, группа %1").arg(g));
        connect(lcode, &QComboBox::editTextChanged, this,
                [this, gi](const QString& t) { logic_.controls().lcode[gi] = ss(t); });
        lcode_[gi] = lcode;
        auto* sps = new QLineEdit;
        fitChars(sps, 9);
        sps->setMaximumWidth(sps->minimumWidth());
        sps->setAccessibleName(QString::fromUtf8("Отсч./сек., группа %1").arg(g));
        connect(sps, &QLineEdit::textEdited, this,
                [this, gi](const QString& t) { logic_.controls().sps[gi] = ss(t); });
        sps_[gi] = sps;
        auto* sensor = new QLineEdit;
        sensor->setValidator(upper);
        sensor->setAccessibleName(QString::fromUtf8("Тип датчика, группа %1").arg(g));
        connect(sensor, &QLineEdit::textEdited, this,
                [this, gi](const QString& t) { logic_.controls().sensor[gi] = ss(t); });
        sensor_[gi] = sensor;
        grid->addWidget(labelFor(std::to_string(g).c_str(),
                                 chan_[static_cast<std::size_t>(channelIndex(g, 0))]),
                        g, 0);
        grid->addWidget(lcode, g, 7);
        grid->addWidget(sps, g, 8);
        grid->addWidget(sensor, g, 9);
    }
    for (int c = 0; c < kComponents; ++c)
        grid->addWidget(labelFor(kComponentNames[c], chan_[static_cast<std::size_t>(c)]), 0,
                        1 + 2 * c, 1, 2, Qt::AlignHCenter);
    grid->setColumnStretch(9, 1);
    grid->addWidget(labelFor("Код расположения", lcode_[0]), 0, 7);
    grid->addWidget(labelFor("Отсч./сек.", sps_[0]), 0, 8);
    grid->addWidget(labelFor("Тип датчика", sensor_[0]), 0, 9);

    // --- buttons
    auto* write = new QPushButton(QString::fromUtf8("Записать в БД"));
    write->setDefault(true);
    auto* remove = new QPushButton(QString::fromUtf8("Удалить из БД"));
    auto* copy = new QPushButton(QString::fromUtf8("Копировать"));
    auto* connectButton = new QPushButton(QString::fromUtf8("Подключ. к БД"));
    connectButton->setEnabled(false);
    auto* networks = new QPushButton(QString::fromUtf8("Список сетей"));
    networks->setEnabled(false);
    auto* quit = new QPushButton(QString::fromUtf8("Выйти"));
    for (QPushButton* b : {remove, copy, connectButton, networks, quit})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {write, remove, copy, connectButton, networks})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(quit);

    auto* top = new QHBoxLayout;
    top->addLayout(station, 3);
    top->addWidget(arrayBox, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(groupsBox);
    layout->addLayout(buttons);

    // --- events
    connect(sta_, &QComboBox::editTextChanged, this, [this](const QString& t) {
        logic_.onStationTextChanged(ss(t));
        syncFromLogic();
    });
    connect(sta_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        logic_.onStationSelected(index);
        syncFromLogic();
    });
    connect(refsta_, &QComboBox::editTextChanged, this,
            [this](const QString& t) { logic_.controls().refsta = ss(t); });
    connect(ngroups_, &QLineEdit::textEdited, this, [this](const QString& t) {
        logic_.onGroupCountChanged(ss(t));
        syncFromLogic();
    });
    connect(write, &QPushButton::clicked, this, [this] {
        logic_.onWrite();
        syncFromLogic();
        applyFocus();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        logic_.onDelete();
        syncFromLogic();
    });
    connect(copy, &QPushButton::clicked, this, [this] {
        logic_.onCopy();
        syncFromLogic();
        applyFocus();
    });
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);

    bindEdit(cod_, &StationControls::cod);
    bindEdit(nindex_, &StationControls::nindex);
    bindEdit(lat_, &StationControls::lat);
    bindEdit(lon_, &StationControls::lon);
    bindEdit(elev_, &StationControls::elev);
    bindEdit(descr_, &StationControls::descr);
    bindEdit(staname_, &StationControls::staname);
    bindEdit(underground_, &StationControls::underground);
    bindEdit(ondate_, &StationControls::ondate);
    bindEdit(offdate_, &StationControls::offdate);
    bindEdit(dnorth_, &StationControls::dnorth);
    bindEdit(deast_, &StationControls::deast);

    logic_.setCopyPrompt(
        [this](const std::string& offered) { return askCopyCode(this, ui_, offered); });
    setWindowTitle(qs(logic_.title()));
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
}

QLineEdit* StationWindow::addEdit(const char* accessibleName) {
    auto* edit = new QLineEdit;
    edit->setAccessibleName(QString::fromUtf8(accessibleName));
    return edit;
}

void StationWindow::bindEdit(QLineEdit* edit, std::string StationControls::*field) {
    connect(edit, &QLineEdit::textEdited, this,
            [this, field](const QString& t) { logic_.controls().*field = ss(t); });
}

void StationWindow::openStation() {
    logic_.open();
    syncFromLogic();
}

void StationWindow::setButtonCaption(int index) {
    const auto k = static_cast<std::size_t>(index);
    QPushButton* b = response_[k];
    const QString name = qs(logic_.controls().responseFile[k]);
    b->setToolTip(name);
    b->setAccessibleDescription(name);
    b->setText(name.isEmpty()
                   ? QStringLiteral("…")
                   : b->fontMetrics().elidedText(name, Qt::ElideMiddle, b->width() - 12));
}

void StationWindow::syncFromLogic() {
    const StationControls& c = logic_.controls();
    auto setEdit = [](QLineEdit* e, const std::string& text) {
        const QString t = qs(text);
        if (e->text() != t) {
            const QSignalBlocker block(e);
            e->setText(t);
        }
    };
    auto setCombo = [](QComboBox* box, const std::vector<std::string>* items,
                       const std::string& text, int selection) {
        const QSignalBlocker block(box);
        if (items) {
            QStringList list;
            for (const std::string& s : *items)
                list << qs(s);
            QStringList now;
            for (int i = 0; i < box->count(); ++i)
                now << box->itemText(i);
            if (now != list) {
                box->clear();
                box->addItems(list);
            }
        }
        if (selection >= 0 && selection < box->count())
            box->setCurrentIndex(selection);
        if (box->currentText() != qs(text))
            box->setEditText(qs(text));
    };
    setCombo(sta_, &c.staList, c.sta, c.staSelection);
    setCombo(refsta_, &c.refstaList, c.refsta, -1);
    setEdit(cod_, c.cod);
    setEdit(lat_, c.lat);
    setEdit(lon_, c.lon);
    setEdit(elev_, c.elev);
    setEdit(nindex_, c.nindex);
    setEdit(descr_, c.descr);
    setEdit(staname_, c.staname);
    setEdit(underground_, c.underground);
    setEdit(ondate_, c.ondate);
    setEdit(offdate_, c.offdate);
    setEdit(ngroups_, c.ngroups);
    setEdit(dnorth_, c.dnorth);
    setEdit(deast_, c.deast);
    for (std::size_t k = 0; k < static_cast<std::size_t>(kChannels); ++k) {
        setEdit(chan_[k], c.chan[k]);
        chan_[k]->setEnabled(c.chanEnabled[k]);
        response_[k]->setEnabled(c.chanEnabled[k]);
        setButtonCaption(static_cast<int>(k));
    }
    for (std::size_t g = 0; g < static_cast<std::size_t>(kGroups); ++g) {
        setCombo(lcode_[g], nullptr, c.lcode[g], -1);
        setEdit(sps_[g], c.sps[g]);
        setEdit(sensor_[g], c.sensor[g]);
        lcode_[g]->setEnabled(c.groupEnabled[g]);
        sps_[g]->setEnabled(c.groupEnabled[g]);
        sensor_[g]->setEnabled(c.groupEnabled[g]);
    }
}

QWidget* StationWindow::widgetFor(const ControlId& id) const {
    using K = ControlId::Kind;
    const auto i = static_cast<std::size_t>(id.index);
    switch (id.kind) {
    case K::Station:
        return sta_;
    case K::Cod:
        return cod_;
    case K::Lat:
        return lat_;
    case K::Lon:
        return lon_;
    case K::Elev:
        return elev_;
    case K::Nindex:
        return nindex_;
    case K::Descr:
        return descr_;
    case K::Staname:
        return staname_;
    case K::Underground:
        return underground_;
    case K::Ondate:
        return ondate_;
    case K::Offdate:
        return offdate_;
    case K::Ngroups:
        return ngroups_;
    case K::Refsta:
        return refsta_;
    case K::Dnorth:
        return dnorth_;
    case K::Deast:
        return deast_;
    case K::Channel:
        return chan_.at(i);
    case K::Lcode:
        return lcode_.at(i);
    case K::Sps:
        return sps_.at(i);
    case K::Sensor:
        return sensor_.at(i);
    }
    return nullptr;
}

void StationWindow::applyFocus() {
    const auto id = logic_.takeFocus();
    if (!id)
        return;
    if (QWidget* w = widgetFor(*id)) {
        w->setFocus(Qt::OtherFocusReason);
        if (auto* e = qobject_cast<QLineEdit*>(w))
            e->selectAll();
    }
}

// --- the copy dialog -------------------------------------------------------------------

std::optional<std::string> askCopyCode(QWidget* parent, orv::ui::Interaction& ui,
                                       const std::string& offered) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QString::fromUtf8(msg::kCopyTitle));
    auto* edit = new QLineEdit(qs(offered));
    auto* label = labelFor(msg::kCopyPrompt, edit);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (CCopyStationDlg(ss(edit->text())).accept(ui))
            dialog.accept();
        else
            edit->setFocus();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ss(edit->text());
}

} // namespace orv::sitewright
