#include "tables/fieldinfo.h"

#include <algorithm>

namespace qf::tables {

std::vector<TFieldEditInfo> BuildFieldRecords(const TADOQuery &DataSet)
{
    std::vector<TFieldEditInfo> Records(size_t(std::max(0, DataSet.FieldCount())));
    for (int i = 0; i < DataSet.FieldCount(); ++i) {
        TFieldEditInfo &R = Records[size_t(i)];
        const TField &Field = DataSet.Fields(i);
        R.Kind = MapFieldTypeToDbf(Field.DataType());
        R.Template = 0;
        R.Autocomplete = HasPickList(R.Kind) ? 1 : 0;
        R.EditWidth = InitialEditorWidth(R.Kind, Field);
        R.GridWidth = 0;
        R.NoTemplateValue = 0;
        R.TemplateValue.clear();
        R.PickList.clear();
    }
    return Records;
}

QString PickListText(const TField &Field, TDbfType Kind)
{
    switch (Kind) {
    case dtC: return Field.AsString();
    case dtN: return FloatToStr(Field.IsNull() ? 0.0 : Field.AsFloat());
    case dtD: return DateTimeToStr(Field.AsDateTime());
    default: return QString();
    }
}

void FillPickLists(TADOQuery &DataSet, std::vector<TFieldEditInfo> &Records)
{
    if (!DataSet.Active())
        return;
    const int Count = std::min<int>(DataSet.FieldCount(), int(Records.size()));
    DataSet.DisableControls();
    try {
        DataSet.First();
        for (int Seen = 0; Seen < kPickListRecords && !DataSet.Eof(); ++Seen) {
            for (int i = 0; i < Count; ++i) {
                TFieldEditInfo &R = Records[size_t(i)];
                if (!HasPickList(R.Kind))
                    continue;
                const QString Text = PickListText(DataSet.Fields(i), R.Kind);
                R.EditWidth = std::max<int32_t>(R.EditWidth, int32_t(Text.size()));
                if (R.PickList.size() < kMaxPickList && !Text.isEmpty() &&
                    !R.PickList.contains(Text))
                    R.PickList.append(Text);
            }
            DataSet.Next();
        }
        DataSet.First();
    } catch (...) {
        DataSet.EnableControls();
        throw;
    }
    DataSet.EnableControls();
}

bool UpdateAfterPost(const TADOQuery &DataSet, std::vector<TFieldEditInfo> &Records)
{
    bool Wider = false;
    const int Count = std::min<int>(DataSet.FieldCount(), int(Records.size()));
    for (int i = 0; i < Count; ++i) {
        TFieldEditInfo &R = Records[size_t(i)];
        if (R.Kind != dtC)
            continue;
        const int Length = int(DataSet.Fields(i).AsString().size());
        if (Length > R.EditWidth) {
            R.EditWidth = Length;
            Wider = true;
        }
    }
    for (int i = 0; i < Count; ++i) {
        TFieldEditInfo &R = Records[size_t(i)];
        if (!HasPickList(R.Kind) || DataSet.Fields(i).IsNull())
            continue;
        const QString Text = PickListText(DataSet.Fields(i), R.Kind);
        if (Text.isEmpty() || R.PickList.contains(Text))
            continue;
        R.PickList.prepend(Text);
        while (R.PickList.size() > kMaxPickList)
            R.PickList.removeLast();
    }
    return Wider;
}

std::vector<TFieldSettings> SaveFieldSettings(const std::vector<TFieldEditInfo> &Records)
{
    std::vector<TFieldSettings> Saved;
    Saved.reserve(Records.size());
    for (const TFieldEditInfo &R : Records)
        Saved.push_back(
            {R.Template, R.Autocomplete, HasPickList(R.Kind) ? R.PickList : QStringList()});
    return Saved;
}

void RestoreFieldSettings(const std::vector<TFieldSettings> &Saved,
                          std::vector<TFieldEditInfo> &Records)
{
    for (size_t i = 0; i < std::min(Saved.size(), Records.size()); ++i) {
        Records[i].Template = Saved[i].Template;
        Records[i].Autocomplete = Saved[i].Autocomplete;
        if (HasPickList(Records[i].Kind))
            Records[i].PickList = Saved[i].PickList;
    }
}

} // namespace qf::tables
