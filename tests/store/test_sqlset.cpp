#include "store/sqlset.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace qf::store;

namespace {
struct SqlSet : ::testing::Test {
    TSQLSet set;
    QStringList errors;
    void SetUp() override
    {
        set.OnError = [this](const QString &m) { errors << m; };
        set.SQLItems.push_back({"Main", "SELECT * FROM TabName"});
    }
};
} // namespace

TEST_F(SqlSet, VariablesAreWholeTokensAndBlanksStay)
{
    ASSERT_TRUE(set.SetVariable("TabName", "Orders"));
    set.SQLItems[0].SQLText = "select *\tfrom TABNAME\r\nwhere x='tabname' and y=TabNames  ";
    EXPECT_EQ(set.GetSQL("Main"),
              QString("select * from Orders\r\nwhere x='Orders' and y=TabNames"));
    set.SQLItems[0].SQLText = "a >= 1 and b <> 2 -- note\n/* c */ (+) x = 3.14e-2, 'It''s'";
    EXPECT_EQ(set.GetSQL("Main"), set.SQLItems[0].SQLText);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SqlSet, TitlesAndBadNames)
{
    set.SQLItems.push_back({"main", "SELECT 2"});
    EXPECT_EQ(set.FindSQLText("mAiN"), QString("SELECT * FROM TabName"));
    EXPECT_EQ(set.GetSQL("nothing"), QString());

    for (const char *bad : {"", "a.b", "a|b"})
        EXPECT_FALSE(set.SetVariable(bad, "x")) << bad;
    ASSERT_EQ(errors.size(), 3);
    EXPECT_EQ(errors[1], QString("The variable name can not contain a devider \".\""));
    EXPECT_EQ(set.GetSQL("Main"), QString("SELECT * FROM TabName"));
}
