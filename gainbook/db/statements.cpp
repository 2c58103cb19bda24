#include "db/statements.h"

namespace orv::gainbook {

std::string sql::addColumn(std::string_view table, std::string_view column, std::string_view type) {
    return "ALTER TABLE " + std::string(table) + " ADD " + std::string(column) + " " +
           std::string(type);
}

std::string sql::changeColumnType(std::string_view table, std::string_view column,
                                  std::string_view type, std::string_view verb, bool typeKeyword) {
    return "ALTER TABLE " + std::string(table) + " " + std::string(verb) + " " +
           std::string(column) + (typeKeyword ? " TYPE " : " ") + std::string(type);
}

} // namespace orv::gainbook
