#include "formats/responsefile.h"

#include "formats/fap.h"
#include "formats/polezero.h"
#include "text/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orv::gainbook::formats {
namespace {

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        pos = next;
    }
    return lines;
}

// The line from its n-th character (0-based) on, without blanks around; empty when it is
// shorter. Characters, not bytes: a header written in Windows-1251 counts one byte a
// character.
std::string from(const std::string& line, std::size_t n) {
    return orv::text::trim(line.substr(orv::text::truncateChars(line, n).size()));
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The line (from 1) that holds the byte at pos.
std::size_t lineOf(std::string_view bytes, std::size_t pos) {
    return 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + pos, '\n'));
}

std::string lineRefusal(std::size_t line, const std::string& what) {
    return "Строка " + std::to_string(line) + " файла: " + what;
}

// The refusal of a control character other than tab, CR and LF; nothing when there is none.
std::optional<std::string> controlCharacterRefusal(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F)
            return lineRefusal(lineOf(bytes, i),
                               orv::text::format("управляющий символ (код %u); файл не загружен",
                                                 static_cast<unsigned>(c)));
    }
    return std::nullopt;
}

// Bytes that are not valid UTF-8 in a text whose other characters mostly are: the
// refusal naming the line of the first stray byte; nothing for valid UTF-8 and for a text
// that reads as Windows-1251.
std::optional<std::string> strayByteRefusal(std::string_view bytes) {
    std::size_t multibyte = 0;
    std::size_t stray = 0;
    std::size_t firstStray = std::string_view::npos;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        std::size_t need = 0;
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        if (b0 >= 0xC2 && b0 < 0xE0)
            need = 1;
        else if (b0 >= 0xE0 && b0 < 0xF0)
            need = 2;
        else if (b0 >= 0xF0 && b0 < 0xF5)
            need = 3;
        bool valid = need > 0 && i + need < bytes.size();
        for (std::size_t k = 1; valid && k <= need; ++k)
            valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        if (valid) {
            ++multibyte;
            i += need + 1;
        } else {
            if (firstStray == std::string_view::npos)
                firstStray = i;
            ++stray;
            ++i;
        }
    }
    if (stray == 0 || multibyte <= stray)
        return std::nullopt;
    return lineRefusal(lineOf(bytes, firstStray),
                       orv::text::format("байт 0x%02X не является символом UTF-8, в которой "
                                         "записан остальной текст; файл не загружен",
                                         static_cast<unsigned char>(bytes[firstStray])));
}

std::string badNumberRefusal(std::size_t line) {
    return lineRefusal(line, "число записано неправильно; файл не загружен");
}

// Positions in the calibration line count Windows-1251 characters.
std::string wordAt(const std::string& cp1251Line, std::size_t n) {
    if (cp1251Line.size() <= n)
        return {};
    const std::size_t end = cp1251Line.find(' ', n);
    return orv::text::cp1251ToUtf8(
        cp1251Line.substr(n, end == std::string::npos ? std::string::npos : end - n));
}

std::string label(std::string_view fileName, LoadedFileKind kind) {
    return "  " + std::string(fileName) + (kind == LoadedFileKind::Sac ? " (SAC)" : " (FAP)");
}

// Closes the file on every path.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// The FAP text of a loaded file in the triplet layout, an ORV one from then on. The whole
// file is searched for a pole-zero text (a bare file's title line is not kept, and would
// hide "ZEROS" from the formatted text); a calibration header line is not part of that
// search, since its station code is free text.
ReadStatus formatFap(LoadedResponseFile& f, std::string_view decoded, bool calibrationHeader,
                     std::optional<std::size_t>& badLine) {
    const std::size_t firstLineEnd = decoded.find('\n');
    const std::string_view searched =
        calibrationHeader ? decoded.substr(std::min(decoded.size(), firstLineEnd)) : decoded;
    if (isPoleZeroText(searched))
        return ReadStatus::WrongFormat;
    if (isTwoColumnFap(f.text))
        f.text = orv::text::replaceAll(f.text, kCrLf, "  0.0\r\n");
    badLine = firstBadFapLine(f.text);
    if (badLine)
        return ReadStatus::Unreadable;
    const std::optional<std::size_t> rows = fapRowCount(f.text);
    if (!rows || *rows == 0)
        return ReadStatus::WrongFormat;
    if (*rows > kMaxFapRows)
        return ReadStatus::TooManyRows;
    // Rows wider than the usual ones (frequencies from 1000 on) can still overflow.
    std::optional<std::string> triplets =
        formatFapTriplets(f.text, f.kind == LoadedFileKind::FapGse2);
    if (!triplets)
        return ReadStatus::TooLong;
    // A GSE2 amplitude of 0, or one too small to invert, would become an infinite ORV
    // amplitude: a text that no FAP reader, this one included, takes back.
    if (!fapRowCount(*triplets))
        return ReadStatus::WrongFormat;
    f.text = std::move(*triplets);
    f.kind = LoadedFileKind::FapOrv;
    return ReadStatus::Read;
}

} // namespace

const char* refusalMessage(ReadStatus status) {
    switch (status) {
    case ReadStatus::WrongFormat:
        return kWrongFormatMessage;
    case ReadStatus::TooLong:
        return kTextTooLongMessage;
    case ReadStatus::TooManyRows:
        return kTooManyFapRowsMessage;
    case ReadStatus::Read:
    case ReadStatus::Cancelled:
    case ReadStatus::Unreadable:
        break;
    }
    return nullptr;
}

std::string refusalText(const ReadResult& result) {
    if (result.status == ReadStatus::Unreadable)
        return result.refusal;
    const char* message = refusalMessage(result.status);
    return message ? message : "";
}

bool isTwoColumnFap(std::string_view text) {
    std::string_view first = text.substr(0, text.find(kCrLf));
    first = first.substr(0, 31);
    int words = 0;
    std::size_t pos = first.find_first_not_of(' ');
    while (pos != std::string_view::npos) {
        ++words;
        pos = first.find_first_not_of(' ', first.find(' ', pos));
    }
    return words == 2;
}

ReadResult readResponseFile(std::string_view bytes, std::string_view fileName,
                            std::string_view fileTime, const FormatQuestion& askFormat) {
    ReadResult result;
    LoadedResponseFile& f = result.file;
    if (bytes.starts_with(kByteOrderMark))
        bytes.remove_prefix(kByteOrderMark.size());
    std::optional<std::string> refusal = controlCharacterRefusal(bytes);
    if (!refusal && !orv::text::isValidUtf8(bytes))
        refusal = strayByteRefusal(bytes);
    if (refusal) {
        result.status = ReadStatus::Unreadable;
        result.refusal = std::move(*refusal);
        return result;
    }
    const std::string decoded = orv::text::decodeLegacy(bytes);
    const std::vector<std::string> lines = splitLines(decoded);
    std::size_t next = 0;
    auto readLine = [&]() -> std::string { return next < lines.size() ? lines[next++] : ""; };

    const std::string first = readLine();
    if (first.starts_with("# Station")) {
        f.kind = LoadedFileKind::Sac;
        f.fields.station = from(first, 10);
        f.fields.channel = from(readLine(), 10);
        const std::string third = readLine();
        if (third.starts_with("# Time")) {
            f.fields.time = from(third, 7);
        } else {
            f.fields.location = from(third, 11);
            f.fields.network = from(readLine(), 10);
            f.fields.time = from(readLine(), 7);
        }
    } else if (first.starts_with("CAL2")) {
        const std::string line = orv::text::utf8ToCp1251(first);
        f.fields.station = wordAt(line, 5);
        f.fields.channel = wordAt(line, 11);
        f.fields.time =
            orv::text::trim(orv::text::cp1251ToUtf8(line.size() > 57 ? line.substr(57) : ""));
        const std::string second = orv::text::utf8ToCp1251(readLine());
        f.kind = second.size() > 28 && second.compare(28, 3, "ORV") == 0 ? LoadedFileKind::FapOrv
                                                                         : LoadedFileKind::FapGse2;
    } else {
        const std::optional<LoadedFileKind> choice = askFormat ? askFormat() : std::nullopt;
        if (!choice) {
            result.status = ReadStatus::Cancelled;
            return result;
        }
        f.kind = *choice;
        if (f.kind == LoadedFileKind::Sac)
            f.text = first + std::string(kCrLf);
        f.intervalToSelect = std::string(fileTime);
        f.fields.time = std::string(fileTime);
        f.lookUpStationTables = true;
    }
    f.label = label(fileName, f.kind);

    // The file's line number of the text's first line, less one.
    const std::size_t lineOffset = f.text.empty() ? next : 0;
    for (; next < lines.size(); ++next)
        f.text += lines[next] + std::string(kCrLf);
    std::replace(f.text.begin(), f.text.end(), '\t', ' ');

    std::optional<std::size_t> badLine;
    if (f.kind == LoadedFileKind::Sac) {
        if (!fitsWorkingBuffer(f.text)) {
            result.status = ReadStatus::TooLong;
            return result;
        }
        PoleZeroResponse response;
        std::size_t line = 0;
        if (!readPoleZeroText(f.text, response, &line) && line > 0)
            badLine = line;
    } else {
        result.status = formatFap(f, decoded, first.starts_with("CAL2"), badLine);
    }
    if (badLine) {
        result.status = ReadStatus::Unreadable;
        result.refusal = badNumberRefusal(lineOffset + *badLine);
    }
    return result;
}

std::optional<std::string> readFileBytes(const std::string& path, std::string& errorText) {
    const auto refuse = [&](std::string_view reason) {
        errorText = path + ": " + std::string(reason);
        return std::nullopt;
    };
    // Not blocking: a pipe without a writer would keep the open waiting.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        return refuse(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return refuse("это каталог, а не файл");
    if (!S_ISREG(st.st_mode))
        return refuse("это не обычный файл (канал, устройство или сокет)");
    // One byte more than the limit tells a longer file from one that just fits.
    std::string bytes(kMaxFileBytes + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(std::strerror(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > kMaxFileBytes)
        return refuse(kFileTooLongReason);
    bytes.resize(got);
    return bytes;
}

std::string fileTimeText(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    std::tm local{};
    const std::time_t t = st.st_mtime;
    localtime_r(&t, &local);
    return orv::text::formatTime("%Y.%m.%d %H:%M:%S", local);
}

std::string baseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace orv::gainbook::formats
