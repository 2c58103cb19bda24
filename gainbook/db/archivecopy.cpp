#include "db/archivecopy.h"
#include "db/copycolumns.h"
#include "db/copyreader.h"
#include "db/copysamedatabase.h"
#include "db/copywriter.h"

#include "db/schema.h"
#include "db/statements.h"
#include "text/text.h"
#include "ui/console.h"

#include <algorithm>
#include <memory>

namespace orv::gainbook::copy {

namespace {

// One transaction on a connection. The SQLite driver reads a whole result into memory
// while its own transaction is open: there the transaction is begun and ended by
// statements, with the driver in autocommit, so that it keeps stepping through results.
class Transaction {
public:
    Transaction(odbc::Connection& connection, DbmsKind kind, bool reading)
        : connection_(connection), statements_(kind == DbmsKind::SQLite) {
        if (statements_) {
            // The target's write lock first: another writer then waits for the copy, or the
            // copy for it, neither holding the file for reading meanwhile.
            begun_ = run(reading ? "BEGIN" : "BEGIN IMMEDIATE");
            return;
        }
        // PostgreSQL reads a repeatable-read transaction from one snapshot (a hot standby
        // allows it, where it refuses serializable); MySQL's own level (REPEATABLE READ)
        // does, where its serializable one would lock every row read.
        transaction_ = std::make_unique<odbc::Transaction>(
            connection, reading && kind != DbmsKind::MySql
                            ? odbc::Transaction::Isolation::RepeatableRead
                            : odbc::Transaction::Isolation::Default);
        begun_ = transaction_->begun();
    }
    ~Transaction() {
        if (statements_ && begun_ && !ended_)
            run("ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return begun_; }
    // The driver's message when the transaction could not begin or commit.
    const std::string& diagnostic() const { return diagnostic_; }
    bool commit() {
        ended_ = true;
        if (!statements_) {
            const bool ok = !odbc::isError(transaction_->commit());
            diagnostic_ = transaction_->diagnostic();
            return ok;
        }
        if (run("COMMIT"))
            return true;
        run("ROLLBACK");
        return false;
    }
    void rollback() {
        if (ended_ || !begun_)
            return;
        ended_ = true;
        if (statements_)
            run("ROLLBACK");
        else
            transaction_->rollback();
    }

private:
    bool run(const char* sql) {
        odbc::Statement st(connection_);
        if (!odbc::isError(st.execDirect(sql)))
            return true;
        diagnostic_ = st.valid() ? st.diagnostic() : connection_.diagnostic();
        return false;
    }

    odbc::Connection& connection_;
    bool statements_;
    bool begun_ = false;
    bool ended_ = false;
    std::string diagnostic_;
    std::unique_ptr<odbc::Transaction> transaction_;
};

// Boxes of the schema code, kept: the last one says why a table could not be made.
class QuietInteraction : public ui::HeadlessInteraction {
public:
    QuietInteraction() : HeadlessInteraction(false) {}
    std::string last;

protected:
    void said(std::string_view text, std::string_view, ui::Buttons, ui::Answer) override {
        last = text::replaceAll(text::trim(text), "\r\n", " ");
    }
};

bool createTable(Schema& schema, std::string_view table) {
    if (table == "SITE")
        return schema.createSite();
    if (table == "SITECHAN")
        return schema.createSiteChan();
    if (table == "ID_SENS")
        return schema.createIdSens(false);
    if (table == "ID_FREQ")
        return schema.createIdFreq(false);
    return schema.createCalibration();
}

struct TablePlan {
    std::string table;
    // Positions (in columns) of the target's self-numbering columns: where the source
    // holds no number the target gives one (SITECHAN.NINDEX on MySQL, AUTO_INCREMENT).
    std::vector<std::size_t> numbered;
    std::vector<Column> columns; // the source's, in its order
    std::vector<Column> targetColumns;
    bool exists = false; // in the target
    std::int64_t targetRows = 0;
    TableReport report;
};

class Copy {
public:
    Copy(odbc::Connection& source, DbmsKind sourceKind, odbc::Connection& target,
         DbmsKind targetKind, const CopyOptions& options, const Progress& progress)
        : source_{source, sourceKind}, target_{target, targetKind}, options_(options),
          progress_(progress), schema_(target, ui_) {
        schema_.setKind(targetKind);
    }

    CopyReport run() {
        CopyReport report;
        Transaction reading(source_.connection, source_.kind, true);
        if (!reading.begun())
            return fail(report,
                        "источник: " + reading.diagnostic() + source_.connection.diagnostic());
        if (!plan(report))
            return report;
        // On MySQL every change of a table commits at once: the tables are made before the
        // transaction and dropped again if the copy fails.
        const bool ddlCommits = target_.kind == DbmsKind::MySql;
        if (ddlCommits && !createMissing(report, true))
            return dropCreated(report);
        Transaction writing(target_.connection, target_.kind, false);
        if (!writing.begun())
            return dropCreated(fail(report, "получатель: " + writing.diagnostic() +
                                                target_.connection.diagnostic()));
        if (!ddlCommits && !createMissing(report, false))
            return report;
        if (!replaceRows(report) || !copyRows(report))
            return dropCreated(report, &writing);
        if (!ddlCommits)
            for (const TablePlan& p : plans_)
                if (p.report.created && (p.table == "SITECHAN" || p.table == "CALIBRATION"))
                    schema_.completeIndexes(p.table);
        if (!verify(report))
            return dropCreated(report, &writing);
        if (!writing.commit())
            return dropCreated(fail(report, "получатель: " + writing.diagnostic()));
        report.ok = true;
        for (const TablePlan& p : plans_)
            report.tables.push_back(p.report);
        report.arrayRows = largestArray_;
        return report;
    }

private:
    static CopyReport& fail(CopyReport& report, std::string why) {
        report.ok = false;
        if (report.error.empty())
            report.error = std::move(why);
        return report;
    }

    // What is copied, and whether the target may take it.
    bool plan(CopyReport& report) {
        std::vector<std::string> wanted;
        for (std::string_view t : kTables) {
            const bool asked =
                options_.tables.empty() ||
                std::any_of(options_.tables.begin(), options_.tables.end(),
                            [t](const std::string& a) { return text::equalsNoCase(a, t); });
            if (!asked)
                continue;
            if (!source_.connection.tableExists(t)) {
                if (options_.tables.empty())
                    continue;
                fail(report, "в источнике нет таблицы " + std::string(t));
                return false;
            }
            TablePlan p;
            p.table = t;
            p.report.table = t;
            p.columns = sortedByName(columnsOf(source_.connection, t));
            if (p.columns.empty()) {
                fail(report, std::string(t) + ": столбцы источника не прочитаны");
                return false;
            }
            for (const Column& c : p.columns)
                if (!kindOfType(c.type)) {
                    fail(report, std::string(t) + ": тип столбца " + c.name +
                                     " источника не поддерживается (" + std::to_string(c.type) +
                                     ")");
                    return false;
                }
            p.exists = target_.connection.tableExists(t);
            if (p.exists) {
                std::string error;
                const auto rows = countRows(target_.connection, t, error);
                if (!rows) {
                    fail(report, std::string(t) + ", получатель: " + error);
                    return false;
                }
                p.targetRows = *rows;
                if (*rows > 0 && !options_.replace) {
                    fail(report, "таблица " + std::string(t) + " получателя не пуста (строк: " +
                                     std::to_string(*rows) + "); заменить их: --replace");
                    return false;
                }
                p.targetColumns = columnsOf(target_.connection, t);
                if (!checkColumns(report, p))
                    return false;
            }
            plans_.push_back(std::move(p));
        }
        if (plans_.empty()) {
            fail(report, "в источнике нет ни одной из таблиц SITE, SITECHAN, ID_SENS, ID_FREQ, "
                         "CALIBRATION");
            return false;
        }
        return true;
    }

    bool checkColumns(CopyReport& report, const TablePlan& p) {
        for (const Column& c : p.columns)
            if (!findColumn(p.targetColumns, c.name)) {
                fail(report, "в таблице " + p.table + " получателя нет столбца " + c.name);
                return false;
            }
        return true;
    }

    bool createMissing(CopyReport& report, bool withIndexes) {
        for (TablePlan& p : plans_) {
            if (p.exists)
                continue;
            if (!createTable(schema_, p.table)) {
                fail(report, "получатель: " + ui_.last);
                return false;
            }
            p.report.created = true;
            if (withIndexes && (p.table == "SITECHAN" || p.table == "CALIBRATION"))
                schema_.completeIndexes(p.table);
            p.targetColumns = columnsOf(target_.connection, p.table);
            if (!checkColumns(report, p))
                return false;
        }
        for (TablePlan& p : plans_)
            findNumbered(p);
        return true;
    }

    void findNumbered(TablePlan& p) {
        if (target_.kind != DbmsKind::MySql)
            return;
        odbc::Statement st(target_.connection);
        if (odbc::isError(st.run(sql::kMySqlSelfNumberedColumns, {odbc::Parameter::text(p.table)})))
            return;
        while (odbc::isSuccess(st.fetch())) {
            const std::string name = text::toUpper(st.getText(1, 127).value_or(""));
            for (std::size_t i = 0; i < p.columns.size(); ++i)
                if (p.columns[i].name == name)
                    p.numbered.push_back(i);
        }
    }

    // Drops the tables made by the copy on a back end that commits them at once.
    CopyReport& dropCreated(CopyReport& report, Transaction* writing = nullptr) {
        if (writing)
            writing->rollback();
        if (target_.kind != DbmsKind::MySql)
            return report;
        for (auto p = plans_.rbegin(); p != plans_.rend(); ++p)
            if (p->report.created) {
                odbc::Statement st(target_.connection);
                st.execDirect("DROP TABLE " + p->table);
            }
        return report;
    }

    bool replaceRows(CopyReport& report) {
        for (auto p = plans_.rbegin(); p != plans_.rend(); ++p) {
            if (!p->exists || p->targetRows == 0)
                continue;
            odbc::Statement st(target_.connection);
            if (odbc::isError(st.execDirect("DELETE FROM " + p->table))) {
                fail(report, p->table + ", получатель: " + st.diagnostic());
                return false;
            }
        }
        return true;
    }

    bool copyRows(CopyReport& report) {
        for (TablePlan& p : plans_) {
            std::string error;
            const auto total = countRows(source_.connection, p.table, error);
            if (!total) {
                fail(report, p.table + ", источник: " + error);
                return false;
            }
            BatchWriter writer(target_, p.table, p.columns, p.targetColumns, options_.batchRows);
            if (!writer.prepared()) {
                fail(report, p.table + ", получатель: " + writer.error());
                return false;
            }
            RowReader reader(source_, p.table, p.columns);
            Digest digest;
            startDigest(digest, p.table, p.columns);
            std::vector<Value> row;
            std::string canonical;
            std::int64_t reported = 0;
            while (reader.next(row, canonical)) {
                digest.add(canonical);
                ++p.report.rows;
                if (!writer.add(std::move(row))) {
                    fail(report, writer.error());
                    return false;
                }
                row.clear();
                if (progress_ && writer.written() != reported) {
                    reported = writer.written();
                    progress_(p.table, reported, *total);
                }
            }
            if (!reader.ok()) {
                fail(report, p.table + ", источник: " + reader.error());
                return false;
            }
            if (!writer.flush()) {
                fail(report, writer.error());
                return false;
            }
            if (progress_)
                progress_(p.table, writer.written(), *total);
            largestArray_ = std::max(largestArray_, writer.largestArray());
            p.report.sourceChecksum = digest.finish();
        }
        return true;
    }

    // Every table read back from the target: its row count and checksum must be the
    // source's; else the first row that differs is named.
    bool verify(CopyReport& report) {
        for (TablePlan& p : plans_) {
            std::string error;
            const auto rows = countRows(target_.connection, p.table, error);
            if (!rows) {
                fail(report, p.table + ", получатель: " + error);
                return false;
            }
            p.report.copied = *rows;
            if (!p.numbered.empty()) {
                if (!compareSideBySide(report, p))
                    return false;
                continue;
            }
            RowReader reader(target_, p.table, p.columns);
            Digest digest;
            startDigest(digest, p.table, p.columns);
            std::vector<Value> row;
            std::string canonical;
            while (reader.next(row, canonical))
                digest.add(canonical);
            if (!reader.ok()) {
                fail(report, p.table + ", получатель: " + reader.error());
                return false;
            }
            p.report.targetChecksum = digest.finish();
            if (*rows != p.report.rows || p.report.targetChecksum != p.report.sourceChecksum) {
                fail(report,
                     p.table + ": после записи в получателе строк " + std::to_string(*rows) +
                         " из " + std::to_string(p.report.rows) + ", контрольные суммы " +
                         (p.report.targetChecksum == p.report.sourceChecksum ? "совпадают"
                                                                             : "различаются") +
                         firstDifference(p));
                return false;
            }
        }
        return true;
    }

    // A table with a column the target numbers itself: the source read again beside the
    // target, row by row; where the source has no number, any number of the target's
    // counts as equal.
    bool compareSideBySide(CopyReport& report, TablePlan& p) {
        RowReader source(source_, p.table, p.columns);
        RowReader target(target_, p.table, p.columns);
        Digest digest;
        startDigest(digest, p.table, p.columns);
        std::vector<Value> sourceRow, targetRow;
        std::string sourceCanonical, targetCanonical;
        for (;;) {
            const bool s = source.next(sourceRow, sourceCanonical);
            const bool t = target.next(targetRow, targetCanonical);
            if (!source.ok() || !target.ok()) {
                fail(report, p.table + ": " +
                                 (source.ok() ? "получатель: " + target.error()
                                              : "источник: " + source.error()));
                return false;
            }
            if (!s && !t)
                break;
            if (t)
                digest.add(targetCanonical);
            bool same = s && t;
            bool numbered = false;
            for (std::size_t i = 0; same && i < p.columns.size(); ++i) {
                const bool exempt =
                    sourceRow[i].null &&
                    std::find(p.numbered.begin(), p.numbered.end(), i) != p.numbered.end();
                if (exempt) {
                    numbered = numbered || !targetRow[i].null;
                    continue;
                }
                std::string a, b;
                appendCanonical(a, p.columns[i].kind, sourceRow[i]);
                appendCanonical(b, p.columns[i].kind, targetRow[i]);
                same = a == b;
            }
            if (!same) {
                fail(report, p.table + ": после записи в получателе строки различаются" +
                                 firstDifference(p));
                return false;
            }
            p.report.numberedRows += numbered ? 1 : 0;
        }
        p.report.targetChecksum = digest.finish();
        if (p.report.copied != p.report.rows) {
            fail(report, p.table + ": после записи в получателе строк " +
                             std::to_string(p.report.copied) + " из " +
                             std::to_string(p.report.rows));
            return false;
        }
        return true;
    }

    // "; первое различие: ключ ..." from reading both sides again, side by side.
    std::string firstDifference(const TablePlan& p) {
        RowReader source(source_, p.table, p.columns);
        RowReader target(target_, p.table, p.columns);
        std::vector<Value> sourceRow, targetRow;
        std::string sourceCanonical, targetCanonical;
        for (;;) {
            const bool s = source.next(sourceRow, sourceCanonical);
            const bool t = target.next(targetRow, targetCanonical);
            if (!s && !t)
                return {};
            if (s && t && sourceCanonical == targetCanonical)
                continue;
            if (!s)
                return "; первое различие: лишняя строка в получателе, ключ " +
                       describeKey(p.table, p.columns, targetRow);
            std::string where =
                "; первое различие: ключ " + describeKey(p.table, p.columns, sourceRow);
            if (t)
                for (std::size_t i = 0; i < p.columns.size(); ++i) {
                    std::string a, b;
                    appendCanonical(a, p.columns[i].kind, sourceRow[i]);
                    appendCanonical(b, p.columns[i].kind, targetRow[i]);
                    if (a != b)
                        return where + ", столбец " + p.columns[i].name + ": " +
                               describeValue(p.columns[i].kind, sourceRow[i]) + " -> " +
                               describeValue(p.columns[i].kind, targetRow[i]);
                }
            return where + (t ? "" : " (нет в получателе)");
        }
    }

    Side source_;
    Side target_;
    const CopyOptions& options_;
    const Progress& progress_;
    QuietInteraction ui_;
    Schema schema_;
    std::vector<TablePlan> plans_;
    std::size_t largestArray_ = 0;
};

} // namespace

CopyReport copyArchive(odbc::Connection& source, odbc::Connection& target,
                       const CopyOptions& options, const Progress& progress) {
    const auto sourceKind = kindOf(source);
    const auto targetKind = kindOf(target);
    if (!sourceKind || !targetKind) {
        CopyReport report;
        report.error = std::string(!sourceKind ? "источник" : "получатель") +
                       ": не удалось определить тип базы данных";
        return report;
    }
    if (const auto same = oneDatabase({source, *sourceKind}, {target, *targetKind})) {
        CopyReport report;
        report.error = "источник и получатель - одна база данных (" + *same + ")";
        return report;
    }
    return Copy(source, *sourceKind, target, *targetKind, options, progress).run();
}

} // namespace orv::gainbook::copy
