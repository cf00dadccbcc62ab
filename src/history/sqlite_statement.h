#pragma once
// One prepared SQLite statement, finalized with its owner, binding and reading HistoryValues.

#include <sqlite3.h>

#include <string>

#include "history/history_columns.h"

namespace kivota {

class SqliteStatement {
public:
    // Check ok(); a statement that did not prepare leaves its reason in sqlite3_errmsg(db).
    SqliteStatement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) statement_ = nullptr;
    }
    ~SqliteStatement() { sqlite3_finalize(statement_); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool ok() const { return statement_ != nullptr; }

    // `index` counts from 1. A real that is not finite is bound as NULL (SQLite would turn a NaN
    // into NULL anyway; an infinity is not a figure either).
    bool bind(int index, const HistoryValue& value);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return sqlite3_step(statement_); }
    // For the next row of values: clears the last step and its bindings.
    void reset() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    // The current row's value of `column` (from 0).
    HistoryValue value(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace kivota
