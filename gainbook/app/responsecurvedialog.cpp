#include "responsecurvedialog.h"

#include "formats/exportfile.h"
#include "formats/responsetext.h"
#include "response/listingfile.h"
#include "text/text.h"

#include <algorithm>

namespace orv::gainbook {

namespace {

bool intersects(const ScreenRect& a, const ScreenRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

// The largest window of at most width x height in a corner of the screen (right or left,
// bottom or top) that covers none of the buttons: its height cut above (or below) the
// buttons it would cover, or its width cut beside them, whichever leaves more.
ScreenRect largestInCorner(bool right, bool bottom, int width, int height, const ScreenRect& screen,
                           const std::vector<ScreenRect>& buttons) {
    const auto at = [&](int w, int h) {
        return ScreenRect{right ? screen.x + screen.width - w : screen.x,
                          bottom ? screen.y + screen.height - h : screen.y, w, h};
    };
    int lower = height; // the height when it is cut
    int narrower = width;
    for (const ScreenRect& b : buttons) {
        if (!intersects(at(width, height), b))
            continue;
        lower = std::min(lower, std::max(0, bottom ? screen.y + screen.height - (b.y + b.height)
                                                   : b.y - screen.y));
        narrower = std::min(narrower, std::max(0, right ? screen.x + screen.width - (b.x + b.width)
                                                        : b.x - screen.x));
    }
    const ScreenRect cutHeight = at(width, lower);
    const ScreenRect cutWidth = at(narrower, height);
    return cutHeight.width * cutHeight.height >= cutWidth.width * cutWidth.height ? cutHeight
                                                                                  : cutWidth;
}

} // namespace

ScreenRect placeBesideMainWindow(const ScreenRect& main, int width, int height,
                                 const ScreenRect& screen, const std::vector<ScreenRect>& buttons,
                                 ScreenRect least) {
    ScreenRect r{0, 0, std::min(width, screen.width), std::min(height, screen.height)};
    const int screenRight = screen.x + screen.width;
    const int screenBottom = screen.y + screen.height;
    const auto within = [](int v, int low, int high) { return std::max(low, std::min(v, high)); };
    if (main.x + main.width + r.width <= screenRight) {
        r.x = main.x + main.width;
        r.y = within(main.y, screen.y, screenBottom - r.height);
        return r;
    }
    if (main.x - r.width >= screen.x) {
        r.x = main.x - r.width;
        r.y = within(main.y, screen.y, screenBottom - r.height);
        return r;
    }
    const bool mainLeft = 2 * main.x + main.width <= 2 * screen.x + screen.width;
    const bool mainHigh = 2 * main.y + main.height <= 2 * screen.y + screen.height;
    std::optional<ScreenRect> best;
    for (const auto& [right, bottom] :
         {std::pair{mainLeft, mainHigh}, std::pair{mainLeft, !mainHigh},
          std::pair{!mainLeft, mainHigh}, std::pair{!mainLeft, !mainHigh}}) {
        const ScreenRect c = largestInCorner(right, bottom, r.width, r.height, screen, buttons);
        const bool fits = c.width >= std::min(least.width, r.width) &&
                          c.height >= std::min(least.height, r.height);
        if (fits && (!best || c.width * c.height > best->width * best->height))
            best = c;
    }
    if (best)
        return *best;
    r.x = mainLeft ? screenRight - r.width : screen.x;
    r.y = mainHigh ? screenBottom - r.height : screen.y;
    return r;
}

ResponseCurveDialog::ResponseCurveDialog(const MainWindow& owner, ui::Interaction& ui)
    : owner_(owner), ui_(ui) {}

const char* ResponseCurveDialog::pointsLabel() const {
    return logX ? "Число точек на декаду" : "Число точек";
}

const char* ResponseCurveDialog::unitCaption(response::UnitDirection direction) const {
    return response::unitCaption(direction, motion);
}

bool ResponseCurveDialog::sourceIsSac() const {
    if (source == CurveSource::Database)
        return owner_.browser.viewSac;
    const std::string& label = owner_.file.fileLabel;
    return label.size() >= 5 && label.compare(label.size() - 5, 5, "(SAC)") == 0;
}

response::CurveInputs ResponseCurveDialog::gatherInputs() const {
    response::CurveInputs in;
    in.sourceText = source == CurveSource::Database ? owner_.browser.storedText : owner_.file.text;
    in.kind = sourceIsSac() ? response::SourceKind::Sac : response::SourceKind::Fap;
    in.motion = motion;
    in.units = units;
    in.low = low;
    in.high = high;
    in.points = points;
    in.decade = logX;
    in.derivative = derivative;
    return in;
}

void ResponseCurveDialog::setBusy(bool b) {
    busy = b;
    if (busyChanged)
        busyChanged();
}

void ResponseCurveDialog::refresh() {
    fileSourceEnabled = !owner_.file.text.empty();
    gridFieldsEnabled = sourceIsSac();
    if (!computedFrom_ || gatherInputs() != *computedFrom_)
        compute();
}

void ResponseCurveDialog::compute() {
    setBusy(true);
    const response::CurveInputs in = gatherInputs();
    // A panel without a text holds no response: no curve rather than one of zeros.
    response::CurveResult result;
    if (!text::trim(in.sourceText).empty())
        result = response::computeCurve(in);
    curve_ = std::move(result.points);
    resultText = std::move(result.listing);
    if (result.fapFields) {
        low = result.fapFields->low;
        high = result.fapFields->high;
        points = result.fapFields->points;
        gridFieldsEnabled = false;
    }
    double shownLow = 0.0;
    double shownHigh = 0.0;
    curveLow_ = text::parseDouble(low, shownLow) ? shownLow : text::toDouble(low);
    curveHigh_ = text::parseDouble(high, shownHigh) ? shownHigh : text::toDouble(high);
    computedFrom_ = gatherInputs();
    setBusy(false);
    // The window would stay empty without a word: say why.
    if (result.status != response::CurveStatus::Computed) {
        if (!text::trim(in.sourceText).empty())
            ui_.warn(result.message, kResponseCurveTitle);
    } else if (const std::optional<std::string> why = response::plotRefusal(plotInputs())) {
        ui_.warn(*why, kResponseCurveTitle);
    }
}

void ResponseCurveDialog::chooseMotion(response::Motion m) {
    motion = m;
    compute();
}

void ResponseCurveDialog::chooseUnits(response::UnitDirection direction) {
    units = direction;
    derivative = response::derivativeAfterUnitClick(direction, motion);
    compute();
}

void ResponseCurveDialog::chooseSource(CurveSource s) {
    source = s;
    gridFieldsEnabled = sourceIsSac();
    compute();
}

void ResponseCurveDialog::setLogX(bool on) {
    logX = on;
    compute();
}

void ResponseCurveDialog::setLogY(bool on) {
    logY = on;
    compute();
}

response::PlotInputs ResponseCurveDialog::plotInputs() const {
    return {curve_, curveLow_, curveHigh_, logX, logY};
}

response::PageTexts ResponseCurveDialog::pageTexts() const {
    if (source == CurveSource::Database) {
        const ResponseBrowser& b = owner_.browser;
        return {b.stations.selectedText(), b.channels.selectedText(), b.intervals.selectedText()};
    }
    const FilePanel& f = owner_.file;
    return {f.station, f.channel, f.time};
}

response::PlotPage ResponseCurveDialog::previewPage() const {
    return {plotInputs(), response::previewTexts(pageTexts())};
}

void ResponseCurveDialog::fullScreen() {
    if (previewOpen && previewOpen()) {
        ui_.message(kTwoPreviewsMessage, "", ui::Icon::Information, ui::Buttons::Ok);
        return;
    }
    // The page shows what the fields say now.
    refresh();
    if (showPreview)
        showPreview(previewPage());
}

void ResponseCurveDialog::writeToFile() {
    if (!computedFrom_ || curve_.empty()) {
        ui_.warn("АЧХ не рассчитана: записывать в файл нечего.", formats::kWriteFileCaption);
        return;
    }
    // The key of the panel the listing was computed from.
    const response::PageTexts key = pageTexts();
    ui::FileChoice choice;
    choice.fileName = formats::proposedFileName(key.station, key.channel, key.time);
    choice.filter = formats::kListingSaveFilter;
    choice.title = "Запись в файл: рассчитанная АЧХ как текст FAP";
    const std::optional<std::string> path = ui_.saveFile(choice);
    if (!path)
        return;
    FileFormatDialog flavourDialog(true);
    const std::optional<formats::LoadedFileKind> flavour =
        owner_.formatDialog ? owner_.formatDialog(flavourDialog) : std::nullopt;
    if (!flavour)
        return;
    std::string refusal;
    const std::optional<std::string> text = formats::fapFileText(
        {key.station, key.channel, "", "", key.time},
        response::listingFapText(*computedFrom_, resultText, *flavour), *flavour, refusal);
    if (!text) {
        ui_.warn(refusal, formats::kWriteFileCaption);
        return;
    }
    std::string why;
    if (!formats::writeResponseFile(*path, *text, why)) {
        ui_.warn(formats::writeFailedText(*path, why), formats::kWriteFileCaption);
        return;
    }
    ui_.inform(formats::kWrittenMessage, formats::kWriteFileCaption);
}

} // namespace orv::gainbook
