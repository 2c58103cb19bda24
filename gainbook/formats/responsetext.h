// What every response text operation shares: the kinds of text the file panel holds,
// the working buffer bound and the messages shown when a text cannot be used.
#pragma once

#include <cstddef>
#include <string_view>

namespace orv::gainbook::formats {

// The kind of text in the file panel. The numbers are stored and passed around as they are.
enum class LoadedFileKind { Sac = 0, FapOrv = 1, FapGse2 = 2 };

// FAP texts are worked on in a buffer of this many bytes, the last one the terminator.
inline constexpr std::size_t kWorkingBufferSize = 131072;

// True when the text (in Windows-1251 characters) fits the working buffer.
bool fitsWorkingBuffer(std::string_view utf8Text);

inline constexpr const char* kWrongFormatMessage = "Неправильный формат данных";
inline constexpr const char* kLoadErrorCaption = "Ошибка при загрузке файла";
inline constexpr const char* kTextTooLongMessage =
    "Текст длиннее 131071 символа и не может быть обработан";

// Line end of every text held in memory.
inline constexpr std::string_view kCrLf = "\r\n";

} // namespace orv::gainbook::formats
