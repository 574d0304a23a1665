#include "delivery/maillist.h"

#include "tables/data/dataset.h"

#include <cmath>

namespace qf::delivery {

namespace {

// Puts the record pointer back where the pass started, whatever ends the pass.
class TRecordKeeper {
public:
    TRecordKeeper(tables::TADOQuery &DataSet) : FDataSet(DataSet), FRecNo(DataSet.RecNo()) {}
    ~TRecordKeeper()
    {
        if (FRecNo > 0 && FDataSet.Active() && FDataSet.RecNo() != FRecNo)
            FDataSet.SetRecNo(FRecNo);
    }

private:
    tables::TADOQuery &FDataSet;
    int FRecNo;
};

} // namespace

bool ConvertPort(const QString &Text, int &Port)
{
    bool Ok = false;
    const int Value = Text.trimmed().toInt(&Ok);
    if (Ok)
        Port = Value;
    return Ok;
}

TPrepareResult PrepareMailList(const TMailSource &Source, TMailList &List)
{
    List.clear();
    tables::TADOQuery *DataSet = Source.DataSet;
    if (!DataSet || !DataSet->Active() || DataSet->IsEmpty())
        return prPrepared;
    TRecordKeeper Keep(*DataSet);
    auto Stopped = [&Source] { return Source.StopPreparing && *Source.StopPreparing; };
    int Position = 0;
    const int Count = DataSet->RecordCount();
    for (;;) {
        if (List.size() == List.capacity())
            List.reserve(List.capacity() + 1000);
        TMailItem Item;
        const int RecNo = DataSet->RecNo();
        if (!Source.Merge.EvaluateName ||
            !Source.Merge.EvaluateName(Source.RecipientField, Item.Address))
            return prInvalidAddress;
        Item.Subject = Source.Merge.ExpandPlaceholders
                           ? Source.Merge.ExpandPlaceholders(Source.Subject)
                           : Source.Subject;
        if (Stopped())
            return prStopped;
        Item.Body = Source.Merge.ExpandPlaceholders ? Source.Merge.ExpandPlaceholders(Source.Body)
                                                    : Source.Body;
        if (Stopped())
            return prStopped;
        List.push_back(std::move(Item));
        DataSet->Next();
        const int P = Count > 0 ? int(std::lround(100.0 * DataSet->RecNo() / Count)) : 100;
        if (P > Position + 3) {
            Position = P;
            if (Source.OnProgress)
                Source.OnProgress(P);
        }
        if (DataSet->RecNo() == RecNo || DataSet->Eof())
            break;
    }
    List.shrink_to_fit();
    return prPrepared;
}

} // namespace qf::delivery
