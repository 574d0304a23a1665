#pragma once
// A small writable table source for the SQL tests: values in memory, text limited to the field
// size as a dBASE field is, and a count of value reads to tell a lookup from a scan.

#include "tables/data/tablesource.h"

#include <set>

using namespace qf::tables;

class TTestTable : public TTableSource {
public:
    explicit TTestTable(std::vector<TSourceField> Fields) : FFields(std::move(Fields)) {}

    void AddRow(std::vector<QVariant> Values)
    {
        Values.resize(FFields.size());
        FRows.push_back(std::move(Values));
    }

    const std::vector<TSourceField> &Fields() const override { return FFields; }
    int64_t RowCount() const override { return static_cast<int64_t>(FRows.size()); }
    bool IsDeleted(int64_t Row) const override { return FDeleted.count(Row) > 0; }
    QVariant Value(int64_t Row, int Field) const override
    {
        ++Reads;
        return FRows.at(static_cast<size_t>(Row)).at(static_cast<size_t>(Field));
    }

    bool ReadOnly() const override { return false; }
    void SetValue(int64_t Row, int Field, const QVariant &Value) override
    {
        const TSourceField &F = FFields.at(static_cast<size_t>(Field));
        if (F.DataType == ftString && Value.toString().size() > F.Size)
            throw EDatabaseError(QStringLiteral("The text is too long for field %1.").arg(F.Name));
        FRows.at(static_cast<size_t>(Row)).at(static_cast<size_t>(Field)) = Value;
        ++Changes;
    }
    int64_t AppendRow() override
    {
        FRows.emplace_back(FFields.size());
        ++Changes;
        return RowCount() - 1;
    }
    void DeleteRow(int64_t Row) override
    {
        FDeleted.insert(Row);
        ++Changes;
    }
    bool HasPendingChanges() const override { return Changes > 0; }
    void ApplyUpdates() override
    {
        ++Applied;
        Changes = 0;
    }

    mutable int64_t Reads = 0;
    int Changes = 0;
    int Applied = 0;

private:
    std::vector<TSourceField> FFields;
    std::vector<std::vector<QVariant>> FRows;
    std::set<int64_t> FDeleted;
};
