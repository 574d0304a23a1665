#include "tables/data/tablequery.h"

#include "store/sqlset.h"
#include "tables/data/dataset.h"

namespace qf::tables {

using namespace qf::store;

void InitTableQuerySet(TSQLSet &SQLSet)
{
    SQLSet.SQLItems = {TSQLItem{QStringLiteral("Main"), QStringLiteral("SELECT * FROM TabName")}};
}

bool PrepareTableQuery(TSQLSet &SQLSet, TADOQuery &Query, const QString &TableName)
{
    if (!SQLSet.SetVariable(QStringLiteral("TabName"), TableName))
        return false;
    Query.SQL = SQLSet.GetSQL(QStringLiteral("Main"));
    return true;
}

} // namespace qf::tables
