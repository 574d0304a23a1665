#pragma once
// A temporary folder of dBASE tables, opened as the workspace opens them: through the SQL set's
// table query over a connection to the folder.

#include "dbforacle.h"
#include "store/sqlset.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/tablequery.h"

#include <QTemporaryDir>

class TDbfFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        Folder = Dir.path() + QLatin1Char('/');
        Connection.ConnectionString = FormatConnectionString(Folder, Folder, kDbaseDriver);
        InitTableQuerySet(SQLSet);
    }
    void OpenTable(const QString &Table)
    {
        ASSERT_TRUE(PrepareTableQuery(SQLSet, Query, Table));
        Query.Open();
    }

    QTemporaryDir Dir;
    QString Folder;
    qf::store::TSQLSet SQLSet;
    TADOConnection Connection;
    TADOQuery Query{&Connection};
};
