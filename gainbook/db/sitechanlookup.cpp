#include "db/sitechanlookup.h"

#include "db/connection.h"
#include "db/datetext.h"
#include "db/responsestatements.h"

namespace orv::gainbook {

std::optional<SiteChanMatch> lookUpResponseFile(orv::odbc::Connection& connection,
                                                orv::ui::Interaction& ui,
                                                const std::string& fileName,
                                                const std::string& fileTime) {
    const bool withLcode = connection.columnExists("SITECHAN", "LCODE");
    orv::odbc::PreparedStatement st(connection, withLcode ? sql::kSiteChanByFileWithLcode
                                                          : sql::kSiteChanByFile);
    if (!st->valid())
        return std::nullopt;
    const SQLRETURN rc = st.run({orv::odbc::Parameter::fileName(fileName)});
    if (orv::odbc::isError(rc) || !orv::odbc::isSuccess(st->fetch()))
        return std::nullopt;

    SiteChanMatch match;
    match.station = readCode(st.statement(), 1);
    match.channel = readCode(st.statement(), 2);
    const auto loaded = st->getTimestamp(3);
    if (withLcode)
        match.location = readCode(st.statement(), 4);
    match.time = fileTime;
    if (loaded && loaded->year > 0) {
        const std::string fromTable = formatDateText(*loaded);
        const std::string question =
            "В таблице SITECHAN заполнено поле LDDATE.\r\nВы хотите взять время из базы?\r\n"
            "Если нет, то время будет взято из времени создания файла.\r\n"
            "Время взятое из таблицы SITECHAN:\r\n" +
            fromTable + "\r\n" + "Время взятое из времени создания файла:\r\n" + fileTime + "\r\n";
        if (ui.message(question, "Выбор даты", orv::ui::Icon::Question, orv::ui::Buttons::YesNo) ==
            orv::ui::Answer::Yes)
            match.time = fromTable;
    }
    return match;
}

} // namespace orv::gainbook
