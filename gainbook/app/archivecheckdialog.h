// The window "Проверка архива" without its widgets: what is checked (the station or the
// network chosen in the database panel, or the whole archive), the findings of the last
// check one line each in Russian, their order (by rule or by severity), and the choice of a
// line, which shows its key and interval in the main window's database panel.
#pragma once

#include "check/rules.h"
#include "mainwindow.h"
#include "ui/interaction.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace orv::gainbook {

inline constexpr const char* kArchiveCheckTitle = "Проверка архива";
inline constexpr const char* kArchiveCheckButton = "Проверить";
// The columns of the list, in order.
inline constexpr const char* kArchiveCheckColumns[] = {"Важность", "Правило", "Ключ", "Начало",
                                                       "Что не так и что исправить"};
// At most this many lines are kept; the rest are counted only.
inline constexpr std::size_t kMaxCheckLines = 20000;

enum class CheckScope { Station, Network, Archive };
enum class CheckOrder { Found, Rule, Severity };

// One line of the list.
struct CheckLine {
    check::Finding finding;
    std::string severity;   // "ошибка", "предупреждение"
    std::string rule;       // the rule's id
    std::string key;        // "KZ.KIV.00.BHZ", with "-" for a part the finding has not
    std::string start;      // the interval's start as the panel shows it; "" for none
    std::string text;       // what is wrong and what to change
    std::size_t number = 0; // its place in the order found
};

// The Russian line of a finding.
CheckLine checkLine(const check::Finding& finding);

class ArchiveCheckDialog {
public:
    // The window reads and selects in the database panel of its owner, which outlives it.
    ArchiveCheckDialog(MainWindow& owner, ui::Interaction& ui);

    // --- what the window shows --------------------------------------------------------
    CheckScope scope = CheckScope::Station;
    // The texts of the three scope choices ("Станция KIV", "Сеть KZ", "Весь архив") and
    // whether the panel has a station or a network to offer.
    std::string scopeText(CheckScope s) const;
    bool scopeEnabled(CheckScope s) const;
    std::vector<CheckLine> lines;
    CheckOrder order = CheckOrder::Found;
    bool descending = false;
    int selected = -1;
    // "Ошибок: 2, предупреждений: 1 (станция KIV, 14 откликов)", or why nothing was checked.
    std::string summary;
    bool busy = false;
    // At most this many lines are kept; the rest are counted only.
    std::size_t maxLines = kMaxCheckLines;

    // --- handlers ---------------------------------------------------------------------
    // The window is shown or the main window's panels changed: the scope follows the
    // panel's first list while the user has not chosen one, and falls back to the whole
    // archive when the panel offers neither.
    void refresh();
    void chooseScope(CheckScope s);
    // "Проверить": the check of the scope; the whole archive only after the user agrees.
    void run();
    // A click on the header of the column ("Правило" or "Важность"): the lines by that
    // column, in the found order within it; a second click on it reverses the order.
    void sortBy(CheckOrder by);
    // The user chooses a line: the database panel shows its key and interval (the nearest
    // the panel holds, with a word to the user when the key has no stored response).
    void chooseLine(int index);

    std::function<void()> busyChanged;

private:
    void setBusy(bool b);
    void arrange();

    MainWindow& owner_;
    ui::Interaction& ui_;
    bool scopeChosen_ = false;
    std::size_t found_ = 0;
};

} // namespace orv::gainbook
