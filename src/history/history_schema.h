#pragma once

// Checks that an open SQLite file is a history this program can read, and sets up a new one.

#include <string>

class QSqlDatabase;
class QSqlError;

namespace aurex {

struct SchemaCheck
{
    enum class Outcome { Sound, Broken, Failed };
    Outcome outcome = Outcome::Failed;
    // Broken: why the file is no history ("file is not a database"); Failed: the error.
    std::string reason;
    // Failed because another program held a lock: worth another try.
    bool busy = false;
};

// Runs the integrity check, then, in one write transaction, reads the schema and creates the
// `runs` table when the file is empty; a sound file is then put in WAL mode. Broken only when the file itself
// is at fault, never for a lock held by another program.
SchemaCheck CheckHistorySchema(QSqlDatabase& db);

// True for the SQLite errors that another connection's lock causes and a retry may clear.
bool IsBusyError(const QSqlError& error);

} // namespace aurex
