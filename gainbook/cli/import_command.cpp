// gainbook-cli import: StationXML documents checked whole, then written to the database an
// epoch a transaction (or, with --dry-run, what would be written told).
#include "cli/command.h"
#include "cli/connection_options.h"
#include "cli/options.h"

#include "db/connection.h"
#include "stationxml/importer.h"
#include "stationxml/xmlreader.h"
#include "text/text.h"

#include <filesystem>
#include <functional>
#include <map>
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
        "каждую эпоху канала с откликом строкой CALIBRATION по правилам команды write, по\n"
        "транзакции на эпоху. Аналоговые звенья PolesZeros объединяются в один текст SAC в\n"
        "форме смещения (CONSTANT = A0 x чувствительность на её частоте, со знаком\n"
        "чувствительности и усилений звеньев); единственное звено ResponseList становится\n"
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
        "правильный или больше 64 МБ отвергается целиком, ничего не записывается.\n"
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
void printOutcome(const stationxml::EpochPlan& plan, const stationxml::WriteReport& report,
                  bool dry, std::ostream& out) {
    out << plan.name
        << (dry                  ? ": " + plan.summary
            : report.unconfirmed ? std::string(": записано без подтверждения")
                                 : std::string(": записано"));
    for (std::size_t i = 0; i < report.replaced.size(); ++i)
        out << (i > 0 ? ", "
                : dry ? "; заменило бы в базе: "
                      : "; заменено в базе: ")
            << report.replaced[i];
    out << "\n";
}

// One epoch: its notes, then what became of it. A dry run reads the stored intervals
// through connection when it has one.
void importEpoch(const stationxml::EpochPlan& plan, odbc::Connection* connection, bool dry,
                 const ParsedOptions& opts, ImportCounts& counts, std::ostream& out,
                 std::ostream& err) {
    using Verdict = stationxml::EpochPlan::Verdict;
    const std::string prefix = "gainbook-cli import: " + plan.name + ": ";
    for (const std::string& note : plan.notes)
        err << prefix << note << "\n";
    if (plan.verdict == Verdict::Skipped) {
        err << prefix << "пропущено: " << plan.reason << "\n";
        return;
    }
    if (plan.verdict == Verdict::Refused) {
        err << prefix << "не записано: " << plan.reason << "\n";
        ++counts.failed;
        return;
    }
    stationxml::WriteReport report;
    if (!connection)
        report.written = true; // a dry run without the stored intervals
    else if (dry)
        report = stationxml::previewEpoch(*connection, plan);
    else
        report =
            stationxml::writeEpoch(*connection, plan, opts.has("with-stations"), opts.has("yes"));
    if (!report.written) {
        err << prefix << "не записано: " << report.reason << "\n";
        ++counts.failed;
        return;
    }
    for (const std::string& note : report.notes)
        err << prefix << note << "\n";
    printOutcome(plan, report, dry, out);
    ++(dry ? counts.wouldWrite : counts.written);
    counts.unconfirmed += report.unconfirmed;
    counts.replaced += report.replaced.size();
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
    std::size_t place = 0;
    const bool read = readDocuments(
        opts.positional, false,
        [&](const stationxml::EpochPlan& p) {
            stationxml::EpochPlan plan = p;
            if (const auto refusal = refusals.find(place++); refusal != refusals.end())
                stationxml::OverlapIndex::refuse(plan, refusal->second);
            importEpoch(plan, connection.get(), dryRun, opts, counts, out, err);
        },
        err);
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
