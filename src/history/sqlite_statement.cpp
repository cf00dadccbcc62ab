#include "history/sqlite_statement.h"

#include <cmath>

namespace kivota {

bool SqliteStatement::bind(int index, const HistoryValue& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return sqlite3_bind_int64(statement_, index, *integer) == SQLITE_OK;
    }
    if (const auto* real = std::get_if<double>(&value); real != nullptr && std::isfinite(*real)) {
        return sqlite3_bind_double(statement_, index, *real) == SQLITE_OK;
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return sqlite3_bind_text(statement_, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT) ==
               SQLITE_OK;
    }
    return sqlite3_bind_null(statement_, index) == SQLITE_OK;
}

HistoryValue SqliteStatement::value(int column) const {
    switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER: return static_cast<std::int64_t>(sqlite3_column_int64(statement_, column));
        case SQLITE_FLOAT: return sqlite3_column_double(statement_, column);
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
            return std::string(text != nullptr ? text : "",
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
        }
        default: return {};
    }
}

}  // namespace kivota
