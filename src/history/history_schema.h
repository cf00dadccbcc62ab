#pragma once
// The history database's schema: the list of migrations, and the step that brings a file of
// any older schema to the current one. PRAGMA user_version holds the schema a file has; 0 is a
// new, empty file.

#include <sqlite3.h>

#include <string>
#include <vector>

namespace kivota {

// Migration i takes a file of schema i to schema i + 1; the current schema is the list's
// length. A migration, once released, is never edited: a change is a new migration.
const std::vector<std::string>& historyMigrations();

// Applies the migrations a file lacks, in one transaction that also sets user_version, so a
// file is at one schema or the next, never between them; two programs migrating at once apply
// each step once. Empty on success, else what failed. A file of a newer schema than
// `migrations` knows is left as it is and reported.
std::string szMigrateHistory(sqlite3* db, const std::vector<std::string>& migrations);

}  // namespace kivota
