// Commands on response files: afr, calib, fap, plot. Each loads its file as the file panel
// of the response editor loads it and prints (or draws) what the editor would show.
#include "cli/command.h"
#include "cli/options.h"

#include "formats/exportfile.h"
#include "formats/responsefile.h"
#include "response/curve.h"
#include "response/listingfile.h"
#include "response/panelload.h"
#include "responseplot.h"
#include "text/text.h"

#include <ostream>

namespace orv::gainbook::cli {
namespace {

using formats::LoadedFileKind;

const char* const kAfrUsage =
    "Использование: gainbook-cli afr FILE [--format sac|fap-orv|fap-gse2]\n"
    "         [--motion displacement|velocity|acceleration] [--units direct|inverse]\n"
    "         [--low L] [--high H] [--points P] [--linear] [--phase]\n"
    "         [--write-fap OUT [--flavour orv|gse2] [--sta S] [--chan C] [--time T]]\n"
    "\n"
    "Загружает FILE так же, как панель файла, и печатает расчёт АЧХ окна\n"
    "\"Амплитудно-частотная характеристика\", по строке на точку:\n"
    "частота, амплитуда, фаза 0.0. С --write-fap расчёт не печатается, а записывается\n"
    "в файл FAP так же, как кнопка окна \"ЗАПИСЬ В ФАЙЛ\".\n"
    "\n"
    "  --format   формат файла без заголовка: sac (по умолчанию), fap-orv, fap-gse2;\n"
    "             у файлов с заголовком \"# Station\" или \"CAL2\" формат задаёт заголовок\n"
    "  --motion   displacement, velocity (по умолчанию) или acceleration\n"
    "  --units    direct (counts/nm, по умолчанию) или inverse (nm/counts)\n"
    "  --low      нижняя частота, Гц (0.001)\n"
    "  --high     верхняя частота, Гц (20)\n"
    "  --points   точек на декаду, с --linear всего точек (300)\n"
    "  --linear   равномерная сетка вместо сетки по декадам\n"
    "  --phase    в третьем столбце вместо 0.0 фаза самого ответа H = c*N(s)/D(s)\n"
    "             (с --units inverse - фаза 1/H) в градусах (\"%10.4lf\"): в первой\n"
    "             точке главное значение (-180, 180], дальше непрерывно вдоль сетки;\n"
    "             амплитуда тогда - модуль |H|, так что амплитуда*e^(i*фаза) = H\n"
    "             (отрицательная константа учтена один раз, в фазе)\n"
    "  --write-fap  файл FAP: заголовок CAL2/FAP2, затем триплеты; строки кончаются CR LF\n"
    "  --flavour  вид амплитуд файла: orv (по умолчанию) или gse2\n"
    "  --sta, --chan, --time  станция, канал и время в заголовке (по умолчанию\n"
    "             из заголовка FILE)\n"
    "\n"
    "Для текста FAP сетка берётся из таблицы; пересчёт с производной выполняется, как\n"
    "после нажатия кнопки единиц при выбранном виде движения. Числа можно писать с\n"
    "десятичной запятой.\n";

const char* const kPlotUsage =
    "Использование: gainbook-cli plot FILE --out OUT.pdf|OUT.png|OUT.svg\n"
    "         [параметры afr] [--linear-y] [--sta S] [--chan C] [--time T]\n"
    "\n"
    "Рисует АЧХ FILE так же, как печатная страница окна \"Амплитудно-частотная\n"
    "характеристика\": рамка, кривая, нижняя и верхняя частоты и строка\n"
    "\"Станция: ...   Канал: ...   Время: ...\". Страница A4 альбомная, 300 точек на дюйм.\n"
    "\n"
    "  --out       файл PDF, PNG или SVG (по расширению)\n"
    "  --linear    линейная ось частот (по умолчанию логарифмическая)\n"
    "  --linear-y  линейная ось амплитуд (по умолчанию логарифмическая)\n"
    "  --sta, --chan, --time  станция, канал и время в заголовке (по умолчанию\n"
    "              из заголовка файла)\n"
    "\n"
    "Остальные параметры и их значения по умолчанию - как у afr.\n";

const char* const kCalibUsage =
    "Использование: gainbook-cli calib FILE [--format sac|fap-orv|fap-gse2] [--freq F]\n"
    "         [--calib-unit U] [--freq-unit U]\n"
    "\n"
    "Загружает FILE так же, как панель файла, и печатает CALIB, который она показывает.\n"
    "\n"
    "  --format      формат файла без заголовка: sac (по умолчанию), fap-orv, fap-gse2\n"
    "  --freq        FREQ, больше 0 (по умолчанию 1.0)\n"
    "  --calib-unit  единица CALIB: nm/counts, nm/counts*sec (по умолчанию) или\n"
    "                nm/counts*sec**2; для nm/counts*sec и nm/counts*sec**2 не учитываются\n"
    "                один и два нуля в начале координат\n"
    "  --freq-unit   единица FREQ: Hz (по умолчанию) или rad/sec (круговая частота)\n"
    "\n"
    "Числа можно писать с десятичной запятой.\n";

const char* const kFapUsage =
    "Использование: gainbook-cli fap FILE [--gse2]\n"
    "\n"
    "Загружает FILE как файл FAP так же, как панель файла, и печатает его текст\n"
    "триплетами (частота, амплитуда ORV, фаза 0.0).\n"
    "\n"
    "  --gse2   в файле амплитуды GSE2 (без заголовка \"CAL2\"; у файла с заголовком\n"
    "           вид амплитуд задаёт заголовок)\n"
    "\n"
    "Первая строка файла FAP без заголовка \"CAL2\" считается его названием и в текст\n"
    "не входит. Если в первой строке текста два числа, каждой строке дописывается\n"
    "фаза 0.0.\n";

int failure(std::ostream& err, const std::string& command, const std::string& message) {
    err << "gainbook-cli " << command << ": " << message << "\n";
    return kFailed;
}

// Lines of a text held with CR LF, printed with the platform's line end.
void printText(std::ostream& out, std::string_view text) {
    out << orv::text::replaceAll(text, "\r\n", "\n");
}

std::optional<LoadedFileKind> formatByName(const std::string& name) {
    if (name == "sac")
        return LoadedFileKind::Sac;
    if (name == "fap-orv")
        return LoadedFileKind::FapOrv;
    if (name == "fap-gse2")
        return LoadedFileKind::FapGse2;
    return std::nullopt;
}

// Parses the command line of a file command: exactly one FILE and the given options.
// Returns the exit status when the command is to end here.
std::optional<int> parseFileCommand(const std::string& command, const char* usage,
                                    const std::vector<std::string>& args,
                                    const std::vector<OptionSpec>& specs, ParsedOptions& opts,
                                    std::ostream& out, std::ostream& err) {
    opts = parseOptions(args, specs);
    if (opts.help) {
        out << usage;
        return kOk;
    }
    if (!opts.error.empty())
        return usageError(err, command, opts.error);
    if (opts.positional.empty())
        return usageError(err, command, "не указан файл");
    if (opts.positional.size() > 1)
        return usageError(err, command, "лишний аргумент " + opts.positional[1]);
    return std::nullopt;
}

// Loads the file as the file panel does. Returns the exit status on failure.
std::optional<int> loadFile(const std::string& command, const std::string& path,
                            LoadedFileKind format, const response::CalibInputs& calibInputs,
                            response::PanelLoad& load, std::ostream& err) {
    std::string error;
    const std::optional<std::string> bytes = formats::readFileBytes(path, error);
    if (!bytes)
        return failure(err, command, error);
    load = response::loadIntoPanel(
        *bytes, formats::baseName(path), formats::fileTimeText(path), [format] { return format; },
        calibInputs);
    switch (load.status) {
    case response::PanelLoadStatus::Loaded:
        return std::nullopt;
    case response::PanelLoadStatus::WrongFormat:
        return failure(err, command, path + ": " + formats::kWrongFormatMessage);
    case response::PanelLoadStatus::TooLong:
        return failure(err, command, path + ": " + formats::kTextTooLongMessage);
    case response::PanelLoadStatus::TooManyRows:
        return failure(err, command, path + ": " + formats::kTooManyFapRowsMessage);
    case response::PanelLoadStatus::Unreadable:
        return failure(err, command, path + ": " + load.refusal);
    case response::PanelLoadStatus::Cancelled:
        break;
    }
    return failure(err, command, path + ": файл не загружен");
}

// Takes a checked option into field; the exit status when it is refused.
std::optional<int> takeOption(const std::string& command, const OptionValue& option,
                              std::string& field, std::ostream& err) {
    if (!option.error.empty())
        return usageError(err, command, option.error);
    if (option.text)
        field = *option.text;
    return std::nullopt;
}

// The options of the window's computation, which afr and plot share.
std::vector<OptionSpec> afrOptions(std::initializer_list<OptionSpec> more) {
    std::vector<OptionSpec> specs = {{"format", true}, {"motion", true}, {"units", true},
                                     {"low", true},    {"high", true},   {"points", true},
                                     {"linear", false}};
    specs.insert(specs.end(), more);
    return specs;
}

// What the window's computation takes and gives for FILE.
struct AfrRun {
    response::CurveInputs in;
    response::PanelLoad load;
    response::CurveResult curve;
};

// Reads the computation's options, loads FILE and computes the curve with its listing.
// Returns the exit status when the command is to end here.
std::optional<int> computeAfr(const std::string& cmd, const ParsedOptions& opts,
                              const response::ListingStyle& style, AfrRun& run, std::ostream& err) {
    const std::optional<LoadedFileKind> format = formatByName(opts.value("format").value_or("sac"));
    if (!format)
        return usageError(err, cmd, "--format: ожидается sac, fap-orv или fap-gse2");
    response::CurveInputs& in = run.in;
    const std::string motion = opts.value("motion").value_or("velocity");
    if (motion == "displacement")
        in.motion = response::Motion::Displacement;
    else if (motion == "velocity")
        in.motion = response::Motion::Velocity;
    else if (motion == "acceleration")
        in.motion = response::Motion::Acceleration;
    else
        return usageError(err, cmd, "--motion: ожидается displacement, velocity или acceleration");
    const std::string units = opts.value("units").value_or("direct");
    if (units == "direct")
        in.units = response::UnitDirection::Direct;
    else if (units == "inverse")
        in.units = response::UnitDirection::Inverse;
    else
        return usageError(err, cmd, "--units: ожидается direct или inverse");
    if (auto rc = takeOption(cmd, numberOption(opts, "low", NumberKind::Real), in.low, err))
        return *rc;
    if (auto rc = takeOption(cmd, numberOption(opts, "high", NumberKind::Real), in.high, err))
        return *rc;
    if (auto rc =
            takeOption(cmd, numberOption(opts, "points", NumberKind::Integer), in.points, err))
        return *rc;
    in.decade = !opts.has("linear");
    in.derivative = response::derivativeAfterUnitClick(in.units, in.motion);

    response::PanelLoad& load = run.load;
    if (auto rc = loadFile(cmd, opts.positional[0], *format, {}, load, err))
        return *rc;
    in.sourceText = load.file.text;
    in.kind = load.file.kind == LoadedFileKind::Sac ? response::SourceKind::Sac
                                                    : response::SourceKind::Fap;
    if (style.phase && in.kind == response::SourceKind::Fap)
        return failure(
            err, cmd, "--phase: в таблице FAP нет фазы, она вычисляется только по полюсам и нулям");
    const response::CurveResult& curve = run.curve = response::computeCurve(in, style);
    if (curve.status != response::CurveStatus::Computed)
        return failure(err, cmd, curve.message);
    return std::nullopt;
}

// Station, channel and time for a page or a file header: the options, else FILE's header.
response::PageTexts keyTexts(const ParsedOptions& opts, const AfrRun& run) {
    const formats::PanelFields& fields = run.load.file.fields;
    return {opts.value("sta").value_or(fields.station.value_or("")),
            opts.value("chan").value_or(fields.channel.value_or("")),
            opts.value("time").value_or(fields.time.value_or(""))};
}

// The listing as the window's "ЗАПИСЬ В ФАЙЛ" writes it.
int writeListing(const ParsedOptions& opts, const AfrRun& run, std::ostream& err) {
    const LoadedFileKind flavour =
        opts.value("flavour") == "gse2" ? LoadedFileKind::FapGse2 : LoadedFileKind::FapOrv;
    const response::PageTexts key = keyTexts(opts, run);
    std::string refusal;
    const std::optional<std::string> text = formats::fapFileText(
        {key.station, key.channel, "", "", key.time},
        response::listingFapText(run.in, run.curve.listing, flavour), flavour, refusal);
    const std::string path = *opts.value("write-fap");
    if (!text)
        return failure(err, "afr", path + ": " + refusal);
    std::string why;
    if (!formats::writeResponseFile(path, *text, why))
        return failure(err, "afr",
                       std::string(formats::kWriteFailedMessage) + " " + path + ": " + why);
    return kOk;
}

int runAfr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string cmd = "afr";
    ParsedOptions opts;
    if (auto rc = parseFileCommand(cmd, kAfrUsage, args,
                                   afrOptions({{"phase", false},
                                               {"write-fap", true},
                                               {"flavour", true},
                                               {"sta", true},
                                               {"chan", true},
                                               {"time", true}}),
                                   opts, out, err))
        return *rc;
    const bool toFile = opts.has("write-fap");
    for (const char* name : {"flavour", "sta", "chan", "time"})
        if (!toFile && opts.has(name))
            return usageError(err, cmd, std::string("--") + name + " - только с --write-fap");
    if (toFile && opts.has("phase"))
        return usageError(err, cmd, "--phase: в файле FAP фаза не хранится");
    static constexpr std::string_view kFlavours[] = {"orv", "gse2"};
    if (const OptionValue v = choiceOption(opts, "flavour", kFlavours); !v.error.empty())
        return usageError(err, cmd, v.error);
    AfrRun run;
    if (auto rc = computeAfr(cmd, opts, {toFile ? "\r\n" : "\n", opts.has("phase")}, run, err))
        return *rc;
    if (toFile)
        return writeListing(opts, run, err);
    out.write(run.curve.listing.data(), static_cast<std::streamsize>(run.curve.listing.size()));
    return kOk;
}

int runPlot(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string cmd = "plot";
    ParsedOptions opts;
    if (auto rc = parseFileCommand(cmd, kPlotUsage, args,
                                   afrOptions({{"linear-y", false},
                                               {"sta", true},
                                               {"chan", true},
                                               {"time", true},
                                               {"out", true}}),
                                   opts, out, err))
        return *rc;
    const std::string target = opts.value("out").value_or("");
    if (!plot::isPageFileName(target))
        return usageError(err, cmd, "--out: ожидается файл .pdf, .png или .svg");
    AfrRun run;
    if (auto rc = computeAfr(cmd, opts, {}, run, err))
        return *rc;

    // The page shows what the window's fields hold: a FAP table puts its own bounds there.
    const std::optional<response::GridFields>& fap = run.curve.fapFields;
    response::PlotPage page;
    page.plot = {run.curve.points, orv::text::toDouble(fap ? fap->low : run.in.low),
                 orv::text::toDouble(fap ? fap->high : run.in.high), run.in.decade,
                 !opts.has("linear-y")};
    page.texts = keyTexts(opts, run);
    // A blank page would say nothing: the reason instead, and no file.
    if (const std::optional<std::string> why = response::plotRefusal(page.plot))
        return failure(err, cmd, *why);
    const plot::OffscreenGui gui;
    std::string error;
    if (!plot::writePageFile(target, page, error))
        return failure(err, cmd, error);
    return kOk;
}

int runCalib(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string cmd = "calib";
    ParsedOptions opts;
    if (auto rc = parseFileCommand(
            cmd, kCalibUsage, args,
            {{"format", true}, {"freq", true}, {"calib-unit", true}, {"freq-unit", true}}, opts,
            out, err))
        return *rc;
    const std::optional<LoadedFileKind> format = formatByName(opts.value("format").value_or("sac"));
    if (!format)
        return usageError(err, cmd, "--format: ожидается sac, fap-orv или fap-gse2");
    response::CalibInputs calib;
    if (auto rc =
            takeOption(cmd, numberOption(opts, "freq", NumberKind::Real), calib.freqField, err))
        return *rc;
    if (orv::text::toDouble(calib.freqField) <= 0)
        return usageError(err, cmd, "--freq: частота должна быть больше 0");
    if (auto rc = takeOption(cmd, choiceOption(opts, "calib-unit", response::kCalibUnits),
                             calib.calibUnit, err))
        return *rc;
    if (auto rc = takeOption(cmd, choiceOption(opts, "freq-unit", response::kFreqUnits),
                             calib.freqUnit, err))
        return *rc;

    const std::string& path = opts.positional[0];
    response::PanelLoad load;
    if (auto rc = loadFile(cmd, path, *format, calib, load, err))
        return *rc;
    if (load.calib.status != response::CalibStatus::Set)
        return failure(err, cmd,
                       "CALIB не вычислен: частота " + calib.freqField + " лежит вне таблицы");
    // A zero constant, a zero amplitude or a frequency where the response vanishes.
    double value = 0;
    if (!orv::text::parseDouble(load.calib.calib, value) || value == 0)
        return failure(err, cmd,
                       path + ": CALIB не вычисляется (" + load.calib.calib +
                           "): проверьте константу или амплитуды файла и частоту --freq");
    out << load.calib.calib << "\n";
    return kOk;
}

int runFap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string cmd = "fap";
    ParsedOptions opts;
    if (auto rc = parseFileCommand(cmd, kFapUsage, args, {{"gse2", false}}, opts, out, err))
        return *rc;
    const LoadedFileKind format =
        opts.has("gse2") ? LoadedFileKind::FapGse2 : LoadedFileKind::FapOrv;
    response::PanelLoad load;
    if (auto rc = loadFile(cmd, opts.positional[0], format, {}, load, err))
        return *rc;
    if (load.file.kind == LoadedFileKind::Sac)
        return failure(err, cmd, opts.positional[0] + ": файл полюсов и нулей, а не FAP");
    printText(out, load.file.text);
    return kOk;
}

const Command kFileCommands[] = {
    {"afr", "АЧХ из файла ответа, по строке на точку", kAfrUsage, runAfr},
    {"calib", "CALIB файла ответа, как его показывает панель файла", kCalibUsage, runCalib},
    {"fap", "текст FAP файла в виде триплетов", kFapUsage, runFap},
    {"plot", "график АЧХ в файл PDF, PNG или SVG, как печатная страница", kPlotUsage, runPlot},
};

} // namespace

std::span<const Command> fileCommands() {
    return kFileCommands;
}

} // namespace orv::gainbook::cli
