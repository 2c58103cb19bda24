// What every response text operation shares: the kinds of text the file panel holds, the
// one working buffer bound with the limits taken from it, and the messages shown when a
// text cannot be used.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace orv::gainbook::formats {

// The kind of text in the file panel. The numbers are stored and passed around as they are.
enum class LoadedFileKind { Sac = 0, FapOrv = 1, FapGse2 = 2 };

// Response texts are worked on in a buffer of this many bytes, the last one the
// terminator: a text holds at most kMaxTextChars characters (Windows-1251), and no file
// longer than the buffer is read.
inline constexpr std::size_t kWorkingBufferSize = 131072;
inline constexpr std::size_t kMaxTextChars = kWorkingBufferSize - 1;
inline constexpr std::size_t kMaxFileBytes = kWorkingBufferSize;

// A row of the triplet layout, " 1.0000000  2.0000000e+000  0.0\r\n", is this long for
// frequencies below 1000 and positive amplitudes, so a FAP text holds this many rows.
inline constexpr std::size_t kFapRowChars = 33;
inline constexpr std::size_t kMaxFapRows = kMaxTextChars / kFapRowChars;

// True when the text (in Windows-1251 characters) fits the working buffer.
bool fitsWorkingBuffer(std::string_view utf8Text);

// A number written in a response file, read whole: a finite decimal number in the C
// locale, where the exponent may also be marked by the Fortran letter "D" or "d" (old
// response files have "1.0D+18"). Nothing when any part of the token is not the number:
// "1,0e18", "4.5x", "nan", "inf" and hexadecimal forms are none.
std::optional<double> readFileNumber(std::string_view token);
// As above, for values that may come from a text edited by hand: what atof reads when the
// token is not wholly a number.
double fileNumberOrPrefix(std::string_view token);

inline constexpr const char* kWrongFormatMessage = "Неправильный формат данных";
inline constexpr const char* kLoadErrorCaption = "Ошибка при загрузке файла";
// The messages name the limits.
static_assert(kMaxTextChars == 131071 && kMaxFapRows == 3971 && kMaxFileBytes == 131072);
inline constexpr const char* kTextTooLongMessage =
    "Текст длиннее 131071 символа и не может быть обработан";
inline constexpr const char* kTooManyFapRowsMessage =
    "Файл FAP длиннее 3971 строки и не может быть обработан";
inline constexpr const char* kFileTooLongReason = "файл длиннее 131072 байт";

// Line end of every text held in memory.
inline constexpr std::string_view kCrLf = "\r\n";

} // namespace orv::gainbook::formats
