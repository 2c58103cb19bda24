// gainbook-cli import: StationXML documents checked whole, then written to the database in
// batches of epochs, each epoch a savepoint (or, with --dry-run, what would be written told).
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/connection.h"
#include "stationxml/importer.h"
#include "stationxml/xmlreader.h"
#include "text/text.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

namespace orv::gainbook::cli {
namespace {

const std::string kImportUsage =
    std::string(
        "Использование: gainbook-cli import FILE.xml... [--dry-run] [--with-stations]\n"
        "         [--dsn D] [--user U] [--password P] [--yes]\n"
        "\n"
        "Читает StationXML 1.0-1.2 (в кодировке, названной в объявлении XML) и записывает\n"
        "каждую эпоху канала с откликом строкой CALIBRATION по правилам команды write:\n"
        "до 500 эпох (или секунды работы) в транзакции, каждая в своей точке сохранения, так\n"
        "что эпоха, запись которой не удалась, отменяется одна, а записанной эпоха\n"
        "называется только после фиксации транзакции. Аналоговые звенья PolesZeros\n"
        "объединяются в один текст SAC в форме смещения (CONSTANT = A0 x чувствительность\n"
        "на её частоте, со знаком чувствительности и усилений звеньев); единственное звено\n"
        "ResponseList становится\n"
        "текстом FAP. Цифровое звено (PolesZeros Z-преобразования, рекурсивные Coefficients)\n"
        "опускается с сообщением о наибольшем отклонении, которое это даёт между нижней\n"
        "частотой отклика и 0.4 частоты Найквиста; больше 5 % - эпоха пропускается. Пустой\n"
        "код расположения (или из пробелов) записывается в CALIBRATION как ??, в SITECHAN\n"
        "пустым. Конец 2500 года и позже - открытый интервал; даты - xs:dateTime, смещение\n"
        "зоны переводится в UTC, доли секунды округляются с сообщением. Эпоха с числом или\n"
        "датой, которые не читаются, эпохи одного канала, которые перекрываются, и\n"
        "закрытая эпоха, внутри которой начинается хранимый интервал, кончающийся позже,\n"
        "не записываются (код возврата 1); эпохи без отклика, который база может хранить,\n"
        "пропускаются с сообщением. Документ с объявлением типа (DOCTYPE), не вполне\n"
        "правильный или больше 512 МиБ отвергается целиком, ничего не записывается.\n"
        "\n"
        "  --dry-run     напечатать, что было бы записано и какие хранимые интервалы\n"
        "                заменены (те же проверки и правила интервалов, что и при записи,\n"
        "                по интервалам, хранимым в базе), и ничего не писать; если база\n"
        "                недоступна, эпохи проверяются без хранимых интервалов (о чём\n"
        "                говорит сообщение)\n"
        "  --with-stations  создать недостающие строки SITE и SITECHAN (координаты, высота,\n"
        "                глубина, частота отсчётов, описание) в транзакции эпохи, только\n"
        "                для записанных эпох; недостающие таблицы SITE и SITECHAN\n"
        "                создаются; существующие строки не меняются, отличия от\n"
        "                документа печатаются\n") +
    kConnectionHelp;

// A document's size as the file system gives it; false (after saying why) when it is no
// file that can be read or is over the reader's limit.
bool sizeAccepted(const std::string& path, std::ostream& err) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        err << "gainbook-cli import: " << path << ": " << ec.message() << "\n";
        return false;
    }
    if (size > stationxml::kMaxDocumentBytes) {
        err << "gainbook-cli import: " << path << ": документ больше "
            << stationxml::kMaxDocumentBytes << " байт, не прочитан\n";
        return false;
    }
    return true;
}

// Each document read a channel at a time, each epoch planned and handed to each; false
// (after saying why) when one is refused whole. Warnings are said when told.
bool readDocuments(const std::vector<std::string>& paths, bool told,
                   const std::function<void(const stationxml::EpochPlan&)>& each,
                   std::ostream& err) {
    for (const std::string& path : paths) {
        if (!sizeAccepted(path, err))
            return false;
        const stationxml::DocumentReading reading = stationxml::readStationXmlFile(
            path, [&](stationxml::ImportedEpoch& e) { each(stationxml::planEpoch(e)); });
        for (const std::string& warning : reading.warnings)
            if (told)
                err << "gainbook-cli import: " << path << ": " << warning << "\n";
        if (!reading.read) {
            err << "gainbook-cli import: " << path << ": " << reading.error << "\n";
            return false;
        }
    }
    return true;
}

// Every file read and checked before anything is written, keeping of the epochs only what
// finds those that overlap (their refusals by place); false when one is refused whole.
bool checkDocuments(const std::vector<std::string>& paths,
                    std::map<std::size_t, std::string>& refusals, std::size_t& epochs,
                    std::ostream& err) {
    stationxml::OverlapIndex index;
    epochs = 0;
    if (!readDocuments(
            paths, true,
            [&](const stationxml::EpochPlan& p) {
                index.add(p);
                ++epochs;
            },
            err))
        return false;
    if (index.needsConfirmation() &&
        !readDocuments(
            paths, false, [&](const stationxml::EpochPlan& p) { index.confirm(p); }, err))
        return false;
    refusals = index.refusals();
    return true;
}

// The table every epoch writes: a batch takes its write lock first.
constexpr const char* kResponseTable = "CALIBRATION";

struct ImportCounts {
    std::size_t written = 0, wouldWrite = 0, failed = 0, replaced = 0, unconfirmed = 0;
};

// The dry run's reading of the stored intervals: the data source the import would write to,
// without the schema check (nothing is made). Null, after saying why the stored intervals
// are not consulted, when it cannot be reached or holds no CALIBRATION yet.
DatabaseConnection dryRunConnection(const ParsedOptions& opts, std::ostream& err) {
    const std::string prefix = "gainbook-cli import: --dry-run: ";
    const ConnectionSettings settings = resolveSettings(opts);
    if (settings.dataSource.empty()) {
        err << prefix << "не задан источник данных: хранимые интервалы не прочитаны\n";
        return nullptr;
    }
    OpenResult opened = openConnection(settings);
    if (!opened.connection) {
        err << prefix << "хранимые интервалы не прочитаны: "
            << orv::text::replaceAll(failureText("подключения к базе данных", opened.diagnostic),
                                     "\r\n", " ")
            << "\n";
        return nullptr;
    }
    if (!opened.connection->tableExists("CALIBRATION")) {
        err << prefix << "в базе нет таблицы CALIBRATION: хранимых интервалов нет\n";
        return nullptr;
    }
    return std::move(opened.connection);
}

// What became of an epoch: written, or (dry) what the write would do; the stored intervals
// it replaced.
void printOutcome(const std::string& name, const std::string& summary,
                  const std::vector<std::string>& replaced, bool dry, bool unconfirmed,
                  std::ostream& out) {
    out << name
        << (dry           ? ": " + summary
            : unconfirmed ? std::string(": записано без подтверждения")
                          : std::string(": записано"));
    for (std::size_t i = 0; i < replaced.size(); ++i)
        out << (i > 0 ? ", "
                : dry ? "; заменило бы в базе: "
                      : "; заменено в базе: ")
            << replaced[i];
    out << "\n";
}

// What an epoch says, kept until what became of it is known: its notes and any refusal
// (err), and, when it was written, the writer's report.
struct EpochLines {
    std::string name, summary;
    std::string err;
    std::optional<stationxml::WriteReport> written;
    bool inBatch = false; // written in the batch not committed yet
};

std::string prefixOf(const std::string& name) {
    return "gainbook-cli import: " + name + ": ";
}

// A failure of the writing, on one line.
std::string writeFailure(const std::string& diagnostic) {
    return orv::text::replaceAll(
        orv::text::replaceAll(failureText("записи в базу", diagnostic), "\r\n", " "), "\n", " ");
}

// The epochs of an import written a batch at a time: one transaction of at most kBatchEpochs
// epochs or kBatchTime of work, each epoch in a savepoint of it, so that one that fails is
// undone alone and the epochs after it see those before. What the epochs say is held until
// the batch's commit has returned: nothing is said written that was not committed, and a
// commit that fails leaves every epoch of the batch not written. Where a batch cannot be
// begun, the epoch is a transaction of its own, as the writer makes it.
class Batches {
public:
    static constexpr std::size_t kBatchEpochs = 500;
    static constexpr std::chrono::seconds kBatchTime{1};

    Batches(odbc::Connection* connection, bool dry, ImportCounts& counts, std::ostream& out,
            std::ostream& err)
        : connection_(connection), dry_(dry), counts_(counts), out_(out), err_(err) {}

    // One epoch: its notes, then what became of it. A dry run reads the stored intervals
    // through the connection when it has one.
    void import(const stationxml::EpochPlan& plan, const ParsedOptions& opts);
    // The batch committed, and what its epochs say said.
    void finish();

private:
    bool begin();
    stationxml::WriteReport write(const stationxml::EpochPlan& plan, const ParsedOptions& opts);
    // Every epoch of the batch not written after all, for why.
    void lose(const std::string& why);
    void say(const EpochLines& lines, bool unconfirmed);

    odbc::Connection* connection_;
    bool dry_;
    ImportCounts& counts_;
    std::ostream& out_;
    std::ostream& err_;
    std::optional<odbc::Transaction> batch_;
    std::chrono::steady_clock::time_point begun_;
    std::size_t batchEpochs_ = 0;
    bool lost_ = false; // the batch's transaction undone by the server
    std::string lostWhy_;
    std::vector<EpochLines> held_;
};

bool Batches::begin() {
    if (batch_)
        return true;
    // Serializable and locked for writing, as the writer's own transaction is.
    batch_.emplace(*connection_, odbc::Transaction::Isolation::Serializable);
    if (!batch_->begun() || !batch_->lockForWriting(kResponseTable)) {
        batch_.reset();
        return false;
    }
    begun_ = std::chrono::steady_clock::now();
    batchEpochs_ = 0;
    return true;
}

stationxml::WriteReport Batches::write(const stationxml::EpochPlan& plan,
                                       const ParsedOptions& opts) {
    const bool stations = opts.has("with-stations"), yes = opts.has("yes");
    if (!begin())
        return stationxml::writeEpoch(*connection_, plan, stations, yes);
    ++batchEpochs_;
    odbc::Transaction epoch(*connection_); // a savepoint of the batch
    stationxml::WriteReport report;
    if (!epoch.begun()) {
        report.reason = writeFailure(epoch.diagnostic());
        return report;
    }
    report = stationxml::writeEpoch(*connection_, plan, stations, yes);
    const SQLRETURN ended = report.written ? epoch.commit() : epoch.rollback();
    if (odbc::isError(ended)) {
        // The server undid the whole transaction (or lost it): so much for the batch.
        lost_ = true;
        lostWhy_ = writeFailure(epoch.diagnostic());
        if (report.written) {
            report.written = false;
            report.reason = lostWhy_;
        }
    }
    return report;
}

void Batches::import(const stationxml::EpochPlan& plan, const ParsedOptions& opts) {
    using Verdict = stationxml::EpochPlan::Verdict;
    EpochLines lines{plan.name, plan.summary, {}, {}, false};
    const std::string prefix = prefixOf(plan.name);
    for (const std::string& note : plan.notes)
        lines.err += prefix + note + "\n";
    if (plan.verdict == Verdict::Skipped) {
        lines.err += prefix + "пропущено: " + plan.reason + "\n";
    } else if (plan.verdict == Verdict::Refused) {
        lines.err += prefix + "не записано: " + plan.reason + "\n";
        ++counts_.failed;
    } else {
        stationxml::WriteReport report;
        if (!connection_)
            report.written = true; // a dry run without the stored intervals
        else if (dry_)
            report = stationxml::previewEpoch(*connection_, plan);
        else
            report = write(plan, opts);
        if (report.written) {
            lines.inBatch = batch_.has_value();
            lines.written = std::move(report);
        } else {
            lines.err += prefix + "не записано: " + report.reason + "\n";
            ++counts_.failed;
        }
    }
    held_.push_back(std::move(lines));
    if (lost_)
        lose(lostWhy_);
    else if (!batch_ || batchEpochs_ >= kBatchEpochs ||
             std::chrono::steady_clock::now() - begun_ >= kBatchTime)
        finish();
}

void Batches::lose(const std::string& why) {
    batch_.reset();
    lost_ = false;
    for (EpochLines& lines : held_)
        if (lines.inBatch) {
            lines.err += prefixOf(lines.name) + "не записано: " + why + "\n";
            lines.written.reset();
            lines.inBatch = false;
            ++counts_.failed;
        }
    finish();
}

void Batches::finish() {
    bool unconfirmed = false;
    if (batch_) {
        const CommitOutcome committed = commitBounded(*batch_, *connection_);
        if (committed.result == CommitResult::Failed) {
            lose(writeFailure(committed.diagnostic));
            return;
        }
        batch_.reset();
        unconfirmed = committed.result == CommitResult::Unconfirmed;
        if (unconfirmed)
            err_ << "gainbook-cli import: резервный сервер не подтвердил запись за "
                 << kCommitConfirmationBound.count()
                 << " с: пока он недоступен, эпохи ниже есть только на основном сервере; "
                 << orv::text::replaceAll(committed.diagnostic, "\r\n", " ") << "\n";
    }
    for (const EpochLines& lines : held_)
        say(lines, unconfirmed && lines.inBatch);
    held_.clear();
}

void Batches::say(const EpochLines& lines, bool unconfirmed) {
    err_ << lines.err;
    if (!lines.written)
        return;
    const stationxml::WriteReport& report = *lines.written;
    const bool notConfirmed = report.unconfirmed || unconfirmed;
    for (const std::string& note : report.notes)
        err_ << prefixOf(lines.name) << note << "\n";
    printOutcome(lines.name, lines.summary, report.replaced, dry_, notConfirmed, out_);
    ++(dry_ ? counts_.wouldWrite : counts_.written);
    counts_.unconfirmed += notConfirmed;
    counts_.replaced += report.replaced.size();
}

int runImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<OptionSpec> specs = kConnectionOptions;
    specs.push_back({"dry-run", false});
    specs.push_back({"with-stations", false});
    const ParsedOptions opts = parseOptions(args, specs);
    if (opts.help) {
        out << kImportUsage;
        return kOk;
    }
    if (!opts.error.empty())
        return usageError(err, "import", opts.error);
    if (opts.positional.empty())
        return usageError(err, "import", "не задан файл");
    const bool dryRun = opts.has("dry-run");
    // Read twice, a channel at a time: checked whole first, then written.
    std::map<std::size_t, std::string> refusals;
    std::size_t epochs = 0;
    if (!checkDocuments(opts.positional, refusals, epochs, err))
        return kFailed;

    ConsoleInteraction ui(err, opts.has("yes"));
    DatabaseConnection connection;
    if (dryRun) {
        connection = dryRunConnection(opts, err);
    } else {
        connection = connectChecked(opts, ui, "import", err);
        if (!connection)
            return kFailed;
        // The same statement texts epoch after epoch: each is prepared once.
        connection->keepPreparedStatements(true);
        if (opts.has("with-stations") && !stationxml::makeStationTables(*connection, ui))
            return kFailed;
    }
    ImportCounts counts;
    Batches batches(connection.get(), dryRun, counts, out, err);
    std::size_t place = 0;
    const bool read = readDocuments(
        opts.positional, false,
        [&](const stationxml::EpochPlan& p) {
            stationxml::EpochPlan plan = p;
            if (const auto refusal = refusals.find(place++); refusal != refusals.end())
                stationxml::OverlapIndex::refuse(plan, refusal->second);
            batches.import(plan, opts);
        },
        err);
    batches.finish();
    if (!read || place != epochs) {
        // A document changed between the readings.
        err << "gainbook-cli import: документы изменились во время импорта\n";
        ++counts.failed;
    }
    out << "записано " << counts.written << " из " << epochs;
    if (counts.replaced > 0 && !dryRun)
        out << ", заменено хранимых интервалов " << counts.replaced;
    if (dryRun)
        out << " (--dry-run: было бы записано " << counts.wouldWrite
            << (counts.replaced > 0
                    ? ", заменено хранимых интервалов " + std::to_string(counts.replaced)
                    : std::string())
            << ")";
    out << "\n";
    // Epochs skipped for their response are told, not failures; a refused epoch and a
    // write that failed are.
    if (counts.failed > 0)
        return kFailed;
    return counts.unconfirmed > 0 ? kUnconfirmed : kOk;
}

} // namespace

Command importCommand() {
    return {"import", "отклики из StationXML в базу", kImportUsage.c_str(), runImport};
}

} // namespace orv::gainbook::cli
