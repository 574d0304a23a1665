#pragma once
// The table query the workspace opens a table with: one SQL text, "SELECT * FROM TabName", kept in
// an SQL set and given the table's name through the set's variable.

#include <QString>

namespace qf::store {
class TSQLSet;
} // namespace qf::store

namespace qf::tables {

class TADOQuery;

// Puts the one item "Main" with the text "SELECT * FROM TabName" into the set.
void InitTableQuerySet(store::TSQLSet &SQLSet);

// Sets the variable "TabName" to TableName; only when the set takes it, the query's SQL text
// becomes item "Main". False (the previous text stays) when the variable is refused.
bool PrepareTableQuery(store::TSQLSet &SQLSet, TADOQuery &Query, const QString &TableName);

} // namespace qf::tables
