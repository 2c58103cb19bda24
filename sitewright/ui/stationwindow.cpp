#include "ui/stationwindow.h"

#include "core/messages.h"

#include <algorithm>
#include <tuple>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
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

QLabel* labelFor(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

const char* const kComponentNames[kComponents] = {"Z", "N", "E"};

// Wide enough for the given number of digits, frame and margins included.
void fitChars(QWidget* w, int chars) {
    w->setMinimumWidth(w->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 24);
}
// Exactly that wide.
void fixChars(QWidget* w, int chars) {
    fitChars(w, chars);
    w->setMaximumWidth(w->minimumWidth());
}

// An editable list of codes whose edit field and list both carry its name.
QComboBox* newCodeList(const QString& accessibleName) {
    auto* box = new QComboBox;
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr); // each keystroke looks up exactly what was typed
    box->setAccessibleName(accessibleName);
    box->lineEdit()->setAccessibleName(accessibleName);
    return box;
}

// Shows a text in a code list as it is: the raising to upper case is for typing, and a
// code stored in lower case is shown as stored.
void setCodeText(QComboBox* box, const QString& text) {
    if (box->currentText() == text)
        return;
    QLineEdit* edit = box->lineEdit();
    const QValidator* validator = edit->validator();
    edit->setValidator(nullptr);
    box->setEditText(text);
    edit->setValidator(validator);
}

void setEditText(QLineEdit* edit, const std::string& text) {
    const QString t = qs(text);
    if (edit->text() != t) {
        const QSignalBlocker block(edit);
        edit->setText(t);
    }
}

void setListEntries(QComboBox* box, const std::vector<std::string>& entries) {
    QStringList list;
    for (const std::string& s : entries)
        list << qs(s);
    QStringList now;
    for (int i = 0; i < box->count(); ++i)
        now << box->itemText(i);
    if (now != list) {
        box->clear();
        box->addItems(list);
    }
}

} // namespace

// The small button after a channel name: it shows the channel's response file, shortened in
// the middle to the button's width ("…" when there is none), and grows with the window.
class ResponseFileButton : public QPushButton {
public:
    ResponseFileButton() {
        setAutoDefault(false);
        fitChars(this, 8);
    }
    void setFile(const QString& name) {
        file_ = name;
        setToolTip(name);
        setAccessibleDescription(name);
        showFile();
    }
    QSize sizeHint() const override { return {minimumWidth(), QPushButton::sizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QPushButton::resizeEvent(event);
        showFile();
    }

private:
    void showFile() {
        setText(file_.isEmpty() ? QStringLiteral("…")
                                : fontMetrics().elidedText(file_, Qt::ElideMiddle, width() - 12));
    }
    QString file_;
};

StationWindow::StationWindow(CStationDlg& logic, orv::ui::Interaction& ui, QWidget* parent)
    : QDialog(parent), logic_(logic), ui_(ui), upperCase_(new UpperCase(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(createStationFields());
    layout->addWidget(createArrayBox());
    layout->addWidget(createChannelGrid());
    layout->addStretch();
    layout->addLayout(createButtons());
    bindStationFields();
    logic_.setCopyPrompt(
        [this](const std::string& offered) { return askCopyCode(this, ui_, offered); });
    setWindowTitle(qs(logic_.title()));
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
}

// The station's own fields: two rows of codes and coordinates, the names and the ground
// across the whole width, the dates and the number of groups.
QLayout* StationWindow::createStationFields() {
    sta_ = addStationList("Станция (код)");
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
    fixChars(ngroups_, 2);
    fitChars(sta_, 10);
    for (QLineEdit* e : {cod_, nindex_, lat_, lon_, elev_})
        fitChars(e, 9);
    fitChars(ondate_, 20);
    fitChars(offdate_, 20);

    auto* grid = new QGridLayout;
    // A field with its label (the field's name) before it.
    auto place = [grid](QWidget* field, int row, int column, int span = 1) {
        grid->addWidget(labelFor(field->accessibleName(), field), row, column);
        grid->addWidget(field, row, column + 1, 1, span);
    };
    place(sta_, 0, 0);
    place(cod_, 0, 2);
    place(nindex_, 0, 4);
    place(lat_, 1, 0);
    place(lon_, 1, 2);
    place(elev_, 1, 4);
    place(descr_, 2, 0, 6);
    place(staname_, 3, 0, 6);
    place(underground_, 4, 0, 6);
    place(ondate_, 5, 0);
    place(offdate_, 5, 2);
    place(ngroups_, 5, 4);
    grid->setColumnStretch(6, 1); // the names and the ground take the width to spare
    return grid;
}

// "Положение в сейсмической группе": the central point and the two offsets in one row.
QWidget* StationWindow::createArrayBox() {
    refsta_ = addStationList("Центральная точка");
    dnorth_ = addEdit("Смещение от центральной точки к северу (км)");
    deast_ = addEdit("Смещение от центральной точки к востоку(км)");
    fitChars(refsta_, 10);
    fitChars(dnorth_, 10);
    fitChars(deast_, 10);
    auto* box = new QGroupBox(QString::fromUtf8("Положение в сейсмической группе"));
    auto* row = new QHBoxLayout(box);
    for (QWidget* field : std::initializer_list<QWidget*>{refsta_, dnorth_, deast_}) {
        row->addWidget(labelFor(field->accessibleName(), field));
        row->addWidget(field, 1);
        row->addSpacing(12);
    }
    return box;
}

// "Группы каналов": a row per group; the response-file buttons and the sensor type share
// the width the window has to spare.
QWidget* StationWindow::createChannelGrid() {
    auto* box = new QGroupBox(QString::fromUtf8("Группы каналов"));
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(4);
    for (int g = 1; g <= kGroups; ++g) {
        for (int c = 0; c < kComponents; ++c)
            addChannel(grid, g, c);
        addGroupFields(grid, g);
    }
    for (int c = 0; c < kComponents; ++c) {
        grid->addWidget(
            labelFor(QString::fromLatin1(kComponentNames[c]), chan_[static_cast<std::size_t>(c)]),
            0, 1 + 2 * c, 1, 2, Qt::AlignHCenter);
        grid->setColumnStretch(2 + 2 * c, 2);
    }
    grid->addWidget(labelFor(QString::fromUtf8("Код расположения"), lcode_[0]), 0, 7);
    grid->addWidget(labelFor(QString::fromUtf8("Отсч./сек."), sps_[0]), 0, 8);
    grid->addWidget(labelFor(QString::fromUtf8("Тип датчика"), sensor_[0]), 0, 9);
    grid->setColumnStretch(9, 3);
    return box;
}

// The channel-name edit of group g, component c, and its response-file button.
void StationWindow::addChannel(QGridLayout* grid, int g, int c) {
    const auto k = static_cast<std::size_t>(channelIndex(g, c));
    auto* edit = new QLineEdit;
    edit->setValidator(upperCase_);
    fixChars(edit, 6);
    edit->setAccessibleName(
        QString::fromUtf8("Канал %1, группа %2").arg(kComponentNames[c]).arg(g));
    connect(edit, &QLineEdit::textEdited, this,
            [this, k](const QString& t) { logic_.controls().chan[k] = ss(t); });
    chan_[k] = edit;
    auto* button = new ResponseFileButton;
    button->setAccessibleName(
        QString::fromUtf8("Файл АЧХ канала %1, группа %2").arg(kComponentNames[c]).arg(g));
    connect(button, &QPushButton::clicked, this, [this, g, c] {
        logic_.onResponseButton(g, c);
        syncFromLogic();
    });
    response_[k] = button;
    if (c == 0)
        grid->addWidget(labelFor(QString::number(g), edit), g, 0);
    grid->addWidget(edit, g, 1 + 2 * c);
    grid->addWidget(button, g, 2 + 2 * c);
}

// The location code, samples per second and sensor type of group g.
void StationWindow::addGroupFields(QGridLayout* grid, int g) {
    const auto gi = static_cast<std::size_t>(g - 1);
    auto* lcode = newCodeList(QString::fromUtf8("Код расположения, группа %1").arg(g));
    fitChars(lcode, 5);
    std::vector<std::string> codes = locationCodes();
    std::sort(codes.begin(), codes.end()); // the list keeps itself sorted
    for (const std::string& code : codes)
        lcode->addItem(qs(code));
    connect(lcode, &QComboBox::editTextChanged, this,
            [this, gi](const QString& t) { logic_.controls().lcode[gi] = ss(t); });
    lcode_[gi] = lcode;
    auto* sps = new QLineEdit;
    fixChars(sps, 9);
    sps->setAccessibleName(QString::fromUtf8("Отсч./сек., группа %1").arg(g));
    connect(sps, &QLineEdit::textEdited, this,
            [this, gi](const QString& t) { logic_.controls().sps[gi] = ss(t); });
    sps_[gi] = sps;
    auto* sensor = new QLineEdit;
    sensor->setValidator(upperCase_);
    fitChars(sensor, 12);
    sensor->setAccessibleName(QString::fromUtf8("Тип датчика, группа %1").arg(g));
    connect(sensor, &QLineEdit::textEdited, this,
            [this, gi](const QString& t) { logic_.controls().sensor[gi] = ss(t); });
    sensor_[gi] = sensor;
    grid->addWidget(lcode, g, 7);
    grid->addWidget(sps, g, 8);
    grid->addWidget(sensor, g, 9);
}

// The row of buttons. None is a default button, so that Enter in a field writes nothing;
// each is pressed by a click or, having the focus, by the space bar.
QLayout* StationWindow::createButtons() {
    auto* write = new QPushButton(QString::fromUtf8("Записать в БД"));
    auto* remove = new QPushButton(QString::fromUtf8("Удалить из БД"));
    auto* copy = new QPushButton(QString::fromUtf8("Копировать"));
    auto* connectButton = new QPushButton(QString::fromUtf8("Подключ. к БД"));
    connectButton->setEnabled(false);
    auto* networks = new QPushButton(QString::fromUtf8("Список сетей"));
    networks->setEnabled(false);
    auto* quit = new QPushButton(QString::fromUtf8("Выйти"));
    auto* row = new QHBoxLayout;
    for (QPushButton* b : {write, remove, copy, connectButton, networks, quit}) {
        b->setAutoDefault(false);
        if (b == quit)
            row->addStretch();
        row->addWidget(b);
    }
    connect(write, &QPushButton::clicked, this, [this] { run(&CStationDlg::onWrite, true); });
    connect(remove, &QPushButton::clicked, this, [this] { run(&CStationDlg::onDelete, false); });
    connect(copy, &QPushButton::clicked, this, [this] { run(&CStationDlg::onCopy, true); });
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
    return row;
}

void StationWindow::bindStationFields() {
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
}

QLineEdit* StationWindow::addEdit(const char* accessibleName) {
    auto* edit = new QLineEdit;
    edit->setAccessibleName(QString::fromUtf8(accessibleName));
    return edit;
}

QComboBox* StationWindow::addStationList(const char* accessibleName) {
    QComboBox* box = newCodeList(QString::fromUtf8(accessibleName));
    box->lineEdit()->setValidator(upperCase_);
    return box;
}

void StationWindow::bindEdit(QLineEdit* edit, std::string StationControls::*field) {
    connect(edit, &QLineEdit::textEdited, this,
            [this, field](const QString& t) { logic_.controls().*field = ss(t); });
}

void StationWindow::run(void (CStationDlg::*handler)(), bool withFocus) {
    (logic_.*handler)();
    syncFromLogic();
    if (withFocus)
        applyFocus();
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void StationWindow::openStation() {
    logic_.open();
    syncFromLogic();
}

void StationWindow::syncFromLogic() {
    const StationControls& c = logic_.controls();
    for (auto [box, entries, text] :
         {std::tuple{sta_, &c.staList, &c.sta}, std::tuple{refsta_, &c.refstaList, &c.refsta}}) {
        const QSignalBlocker block(box);
        setListEntries(box, *entries);
        if (box == sta_ && c.staSelection >= 0 && c.staSelection < box->count())
            box->setCurrentIndex(c.staSelection);
        setCodeText(box, qs(*text));
    }
    for (auto [edit, text] : std::initializer_list<std::pair<QLineEdit*, const std::string*>>{
             {cod_, &c.cod},
             {lat_, &c.lat},
             {lon_, &c.lon},
             {elev_, &c.elev},
             {nindex_, &c.nindex},
             {descr_, &c.descr},
             {staname_, &c.staname},
             {underground_, &c.underground},
             {ondate_, &c.ondate},
             {offdate_, &c.offdate},
             {ngroups_, &c.ngroups},
             {dnorth_, &c.dnorth},
             {deast_, &c.deast}})
        setEditText(edit, *text);
    for (std::size_t k = 0; k < static_cast<std::size_t>(kChannels); ++k) {
        setEditText(chan_[k], c.chan[k]);
        chan_[k]->setEnabled(c.chanEnabled[k]);
        response_[k]->setEnabled(c.chanEnabled[k]);
        response_[k]->setFile(qs(c.responseFile[k]));
    }
    for (std::size_t g = 0; g < static_cast<std::size_t>(kGroups); ++g) {
        {
            const QSignalBlocker block(lcode_[g]);
            setCodeText(lcode_[g], qs(c.lcode[g]));
        }
        setEditText(sps_[g], c.sps[g]);
        setEditText(sensor_[g], c.sensor[g]);
        for (QWidget* w : std::initializer_list<QWidget*>{lcode_[g], sps_[g], sensor_[g]})
            w->setEnabled(c.groupEnabled[g]);
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
        auto* box = qobject_cast<QComboBox*>(w);
        if (auto* e = box ? box->lineEdit() : qobject_cast<QLineEdit*>(w))
            e->selectAll();
    }
}

// --- the copy dialog -------------------------------------------------------------------

std::optional<std::string> askCopyCode(QWidget* parent, orv::ui::Interaction& ui,
                                       const std::string& offered) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QString::fromUtf8(msg::kCopyTitle));
    auto* edit = new QLineEdit(qs(offered));
    auto* label = labelFor(QString::fromUtf8(msg::kCopyPrompt), edit);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf8(msg::kCancel), QDialogButtonBox::RejectRole);
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
