#pragma once
// A copy of the sample table in a temporary folder, and a workspace without a window.

#include "layoutbytes.h"
#include "tables/workspace.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

class TSampleWorkspace : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Table = layouttest::CopySample(Dir.path());
    }
    QTemporaryDir Dir;
    QString Table;
    qf::tables::TTableWorkspace W;
};
