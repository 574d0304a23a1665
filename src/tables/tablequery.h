#pragma once
// The table query the workspace opens a table with: one SQL text, "SELECT * FROM TabName", kept in
// an SQL set and given the table's name through the set's variable.

#include <QString>

class TADOQuery;
class TSQLSet;

// Puts the one item "Main" with the text "SELECT * FROM TabName" into the set.
void InitTableQuerySet(TSQLSet &SQLSet);

// Sets the variable "TabName" to TableName; only when the set takes it, the query's SQL text
// becomes item "Main". False (the previous text stays) when the variable is refused.
bool PrepareTableQuery(TSQLSet &SQLSet, TADOQuery &Query, const QString &TableName);
