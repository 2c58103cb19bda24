// The station editor's message texts.
#pragma once

namespace orv::sitewright::msg {

inline constexpr const char* kAddColumnError = "\nОшибка добавления поля %s в таблицу %s";
inline constexpr const char* kDatabaseError = "Ошибка базы данных: ";
inline constexpr const char* kInitError = "Ошибка инициализации базы данных";
inline constexpr const char* kBeginTransactionError = "Ошибка начала транзакции в базе данных";
inline constexpr const char* kConfirmDelete =
    "Вы уверены, что хотите удалить информацию о станции %s";
inline constexpr const char* kAttention = "Внимание!";
inline constexpr const char* kDeleted = "Станция %s удалена";
inline constexpr const char* kOpenError = "Ошибка открытия базы данных -> %s";
inline constexpr const char* kChooseResponse = "Выбрать файл с АЧХ";
inline constexpr const char* kDateError = "Ошибка задания даты-времени:\n %s: %s";
inline constexpr const char* kWritten = "Информация о станции %s в БД записана успешно";
inline constexpr const char* kWrittenWithoutChannels =
    "Информация о станции %s в БД записана успешно, кроме каналов: они не были прочитаны из "
    "таблицы SITECHAN";
// At a look-up: the station code and the driver's text.
inline constexpr const char* kChannelsUnread =
    "Каналы станции %s не прочитаны из таблицы SITECHAN и не будут записаны:\n%s";
// At a look-up: the channels listed as kUnindexedChannel, separated by ", ".
inline constexpr const char* kUnindexedChannels =
    "Каналы без номера компоненты (CHANINDEX) не показаны и при записи не изменяются: %s";
inline constexpr const char* kUnindexedChannel = "%s (группа %d)";
// The first letter is a Latin "C", as users have always seen it.
inline constexpr const char* kStationExists = "Cтанция %s уже есть в БД !!!";
inline constexpr const char* kNoStationName = "Не задано имя станции !!!";

inline constexpr const char* kTitle =
    "Установка параметров станции.  Источник данных: %s,  Пользователь: %s";
inline constexpr const char* kCopyTitle = "Копирование станции";
inline constexpr const char* kCopyPrompt = "Введите код новой станции";
inline constexpr const char* kCancel = "Отмена";

// The standard validation prompts ("%1", "%2": the limits).
inline constexpr const char* kMaxChars = "Please enter no more than %1 characters.";
inline constexpr const char* kNumberRange = "Please enter a number between %1 and %2.";
inline constexpr const char* kIntegerRange = "Please enter an integer between %1 and %2.";
inline constexpr const char* kNumber = "Please enter a number.";
inline constexpr const char* kInteger = "Please enter an integer.";

} // namespace orv::sitewright::msg
