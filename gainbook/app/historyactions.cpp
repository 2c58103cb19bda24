// The database panel's actions on the stored history: the date editor, writing the shown
// record into a file, and deleting it (or emptying the text shown).
#include "mainwindow.h"

#include "db/datetext.h"
#include "db/historyedit.h"
#include "formats/exportfile.h"

namespace orv::gainbook {

using orv::ui::Answer;
using orv::ui::Buttons;
using orv::ui::Icon;

namespace {

constexpr const char* kDeleteCaption = "Удаление из базы";
constexpr const char* kDeleteWholeQuestion = "Вы хотите удалить запись полностью?";
constexpr const char* kEmptyFieldQuestion = "Вы хотите очистить поле ";
constexpr const char* kDeleted = "Запись успешно удалена!";
constexpr const char* kNothingDeleted = "В базе нет такой записи: ничего не изменено.";
constexpr const char* kNoRecordToDelete = "Запись не выбрана: удалять нечего.";
constexpr const char* kNothingToWrite = "Текст отклика пуст: записывать в файл нечего.";
constexpr const char* kWriteSacTitle = "Запись в файл: текст SAC (полюса и нули)";
constexpr const char* kWriteFapTitle = "Запись в файл: текст FAP (таблица АЧХ)";
constexpr const char* kTooLongToWrite = "Текст отклика слишком длинный: файл не записан.";

StoredKey storedKey(const BrowserKey& key) {
    return {key.station, key.network, key.channel, key.location};
}

// The interval shown after the record at index is deleted: the next older one, else the
// next newer one.
std::string neighbour(const ChoiceList& intervals) {
    const auto at = static_cast<std::size_t>(intervals.selected);
    if (at + 1 < intervals.entries.size())
        return intervals.entries[at + 1];
    return at > 0 ? intervals.entries[at - 1] : std::string();
}

// The record a question is about, on a line of its own under the question.
std::string keyLine(const BrowserKey& key) {
    return "\nСеть " + key.network + ", станция " + key.station + ", канал " + key.channel +
           ", локация " + key.location + ", интервал " + key.interval;
}

} // namespace

void MainWindow::openDateEditor() {
    if (!connected())
        return;
    DateEditorDialog dialog(*connection, ui_, browser.currentKey());
    dialog.initialise();
    if (dateEditorDialog)
        dateEditorDialog(dialog);
    // Changed dates become visible, whichever button closed the dialog.
    browser.locationChosen();
}

void MainWindow::writeStoredToFile() {
    const BrowserKey key = browser.currentKey();
    if (browser.storedText.empty()) {
        ui_.warn(kNothingToWrite, formats::kWriteFileCaption);
        return;
    }
    ui::FileChoice choice;
    choice.fileName = formats::proposedFileName(key.station, key.channel, key.interval);
    choice.filter = viewSac() ? formats::kSacSaveFilter : formats::kFapSaveFilter;
    // The view chosen decides the text: the choice says which one is written.
    choice.title = viewSac() ? kWriteSacTitle : kWriteFapTitle;
    const std::optional<std::string> path = ui_.saveFile(choice);
    if (!path)
        return;
    const formats::FileKey fileKey{key.station, key.channel, key.location, key.network,
                                   key.interval};
    std::optional<std::string> text;
    if (viewSac()) {
        text = formats::sacFileText(fileKey, browser.storedText);
    } else {
        FileFormatDialog flavour(true);
        const std::optional<formats::LoadedFileKind> kind =
            formatDialog ? formatDialog(flavour) : std::nullopt;
        // Without a flavour nothing is written: a file without its flavour word would be
        // read back as GSE2 amplitudes.
        if (!kind)
            return;
        std::string refusal;
        text = formats::storedFapFileText(fileKey, browser.storedText, *kind, refusal);
        if (!text) {
            ui_.warn(refusal == formats::kTextTooLongMessage ? std::string(kTooLongToWrite)
                                                             : refusal,
                     formats::kWriteFileCaption);
            return;
        }
    }
    std::string why;
    if (!formats::writeResponseFile(*path, *text, why)) {
        ui_.warn(formats::writeFailedText(*path, why), formats::kWriteFileCaption);
        return;
    }
    ui_.message(formats::kWrittenMessage, "", Icon::None, Buttons::Ok);
}

void MainWindow::deleteFromDatabase() {
    const BusyScope busyScope(*this);
    const BrowserKey key = browser.currentKey();
    if (!connected() || key.interval.empty()) {
        ui_.warn(kNoRecordToDelete, kDeleteCaption);
        return;
    }
    DeleteChoice choice = DeleteChoice::WholeRecord;
    switch (ui_.question(kDeleteWholeQuestion + keyLine(key), kDeleteCaption, Buttons::YesNoCancel,
                         Answer::No)) {
    case Answer::Yes:
        break;
    case Answer::No:
        if (!ui_.confirmChange(std::string(kEmptyFieldQuestion) + (viewSac() ? "SAC?" : "FAP?") +
                                   keyLine(key),
                               kDeleteCaption))
            return;
        choice = viewSac() ? DeleteChoice::EmptySac : DeleteChoice::EmptyFap;
        break;
    default:
        return;
    }
    const EditResult result =
        deleteStored(*connection, storedKey(key), parseDateText(key.interval), choice);
    switch (result.status) {
    case EditStatus::Failed:
        ui_.warn(failureText("удаления из базы", result.diagnostic), kDeleteCaption);
        return;
    case EditStatus::NoRow:
        ui_.warn(kNothingDeleted, kDeleteCaption);
        break;
    case EditStatus::Changed:
        ui_.inform(kDeleted, kDeleteCaption);
        break;
    }
    // The same key again, or the nearest one left.
    browser.requestSelection(key.station, key.network, key.channel, key.location);
    browser.intervalToSelect =
        choice == DeleteChoice::WholeRecord ? neighbour(browser.intervals) : key.interval;
    fillDatabasePanel();
}

} // namespace orv::gainbook
