#include "text/text.h"
#include "ui/qtapplication.h"
#include "ui/qtinteraction.h"

#include "testdb.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <map>

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "common_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* created = new QApplication(argc, argv);
        orv::ui::setUpApplication(*created);
        return created;
    }();
    return *app;
}

// What a file dialog shows: its labels and buttons, and the rows of its file list by name.
struct Seen {
    QStringList texts;
    std::map<QString, QStringList> rows;
};

// Opens the file choice on dir, waits until it lists expectedRows entries, notes what it
// shows and cancels it.
Seen lookAtFileChoice(const std::filesystem::path& dir, int expectedRows) {
    Seen seen;
    QTimer poll;
    int waited = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (QTreeView* view : dialog->findChildren<QTreeView*>()) {
            const QAbstractItemModel* m = view->model();
            if (!m || m->columnCount() < 4 || m->rowCount(view->rootIndex()) < expectedRows)
                continue;
            for (int r = 0; r < m->rowCount(view->rootIndex()); ++r) {
                QStringList row;
                for (int c = 0; c < 4; ++c)
                    row << m->index(r, c, view->rootIndex()).data().toString();
                seen.rows[row[0]] = row;
            }
        }
        if (seen.rows.empty() && (waited += 50) < 5000)
            return;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            seen.texts << l->text().remove('&');
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
            seen.texts << b->text().remove('&');
        dialog->reject();
    });
    poll.start(50);
    orv::ui::QtInteraction ui(nullptr, "Test");
    EXPECT_EQ(ui.openFile({"Выбрать файл с АЧХ", dir.string(), "", "All files|*.*||", ""}),
              std::nullopt);
    return seen;
}

void setModified(const std::filesystem::path& p, std::time_t when) {
    std::filesystem::last_write_time(p, std::filesystem::file_time_type::clock::from_sys(
                                            std::chrono::system_clock::from_time_t(when)));
}

} // namespace

TEST(RussianQt, TheFileChoiceSpeaksRussianWithRussianDates) {
    application();
    orv::test::TempDir dir;
    std::filesystem::create_directory(dir / "RESPONSE");
    std::ofstream(dir / "kiv_bhz.pz") << "ZEROS 0\n";
    std::tm tm{};
    tm.tm_year = 2001 - 1900;
    tm.tm_mon = 4;
    tm.tm_mday = 7;
    tm.tm_hour = 10;
    tm.tm_min = 20;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    setModified(dir / "RESPONSE", when);
    setModified(dir / "kiv_bhz.pz", when);

    const Seen seen = lookAtFileChoice(dir.path(), 2);
    ASSERT_EQ(seen.rows.count("RESPONSE"), 1u);
    const QStringList folder = seen.rows.at("RESPONSE");
    EXPECT_EQ(folder[2], QString::fromUtf8("Папка"));
    // Day, month and year with dots, as a Russian desktop writes them.
    EXPECT_EQ(folder[3].toStdString(), orv::text::formatTime("%d.%m.%Y %H:%M", tm));
    const QStringList file = seen.rows.at("kiv_bhz.pz");
    EXPECT_EQ(file[1], QString::fromUtf8("8 Б"));
    for (const char* text : {"Имя файла:", "Типы файлов:", "Открыть", "Отмена"})
        EXPECT_TRUE(seen.texts.contains(QString::fromUtf8(text))) << text;
}
