#include "delivery/maillist.h"

#include "delivery/charsets.h"
#include "delivery/idexception.h"
#include "tables/data/dataset.h"

#include <cmath>
#include <memory>

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

// The current record's message.
TPrepareResult MergeRecord(const TMailSource &Source, TMailItem &Item)
{
    auto Stopped = [&Source] { return Source.StopPreparing && *Source.StopPreparing; };
    Item.RecNo = Source.DataSet->RecNo();
    if (!Source.Merge.EvaluateName ||
        !Source.Merge.EvaluateName(Source.RecipientField, Item.Address))
        return prInvalidAddress;
    // A blank-padded field must not put the blanks into the envelope.
    Item.Address = Item.Address.trimmed();
    Item.Subject = Source.Merge.ExpandPlaceholders ? Source.Merge.ExpandPlaceholders(Source.Subject)
                                                   : Source.Subject;
    if (Stopped())
        return prStopped;
    Item.Body = Source.Merge.ExpandPlaceholders ? Source.Merge.ExpandPlaceholders(Source.Body)
                                                : Source.Body;
    return Stopped() ? prStopped : prPrepared;
}

QString Unwritable(const EIdException &E, const QString &Where)
{
    return QStringLiteral("%1 (%2)").arg(E.Message(), Where);
}

} // namespace

bool ConvertPort(const QString &Text, int &Port)
{
    bool Ok = false;
    const int Value = Text.trimmed().toInt(&Ok);
    if (Ok)
        Port = Value;
    return Ok;
}

TPrepareResult PrepareMailList(const TMailSource &Source, const TMailSettings &Settings,
                               TMailPlan &Plan, QString &Error)
{
    Plan = TMailPlan();
    tables::TADOQuery *DataSet = Source.DataSet;
    if (!DataSet || !DataSet->Active() || DataSet->IsEmpty())
        return prPrepared;
    // A character the charset lacks would fail every attempt of its message: found here, before
    // anything is sent. UTF-8 holds everything, and an HTML body writes references instead.
    std::unique_ptr<TCharsetEncoder> Encoder;
    const QString CharSet = Settings.CharSet.trimmed();
    const bool Html = Settings.ContentType.trimmed().compare(QLatin1String("text/html"),
                                                             Qt::CaseInsensitive) == 0;
    try {
        if (!CharSet.isEmpty())
            Encoder = std::make_unique<TCharsetEncoder>(CharSet);
    } catch (const EIdException &E) {
        Error = E.Message();
        return prUnwritable;
    }
    if (Encoder && Encoder->WireName() == "utf-8")
        Encoder.reset();
    try {
        if (Encoder)
            Encoder->Check(Settings.SenderName);
    } catch (const EIdException &E) {
        Error = Unwritable(E, QStringLiteral("sender name"));
        return prUnwritable;
    }
    TRecordKeeper Keep(*DataSet);
    int Position = 0;
    const int Count = DataSet->RecordCount();
    Plan.FirstRecNo = DataSet->RecNo();
    for (;;) {
        TMailItem Item;
        const int RecNo = DataSet->RecNo();
        const TPrepareResult R = MergeRecord(Source, Item);
        if (R != prPrepared)
            return R;
        if (Encoder) {
            try {
                Encoder->Check(Item.Subject);
                if (!Html)
                    Encoder->Check(Item.Body);
            } catch (const EIdException &E) {
                Error = Unwritable(E, QStringLiteral("record %1").arg(RecNo));
                return prUnwritable;
            }
        }
        ++Plan.Count;
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
    return prPrepared;
}

bool MergeMailAgain(const TMailSource &Source, const TMailPlan &Plan, int Index, TMailItem &Item,
                    QString &Error)
{
    const int RecNo = Plan.FirstRecNo + Index;
    tables::TADOQuery *DataSet = Source.DataSet;
    if (DataSet && DataSet->Active() && DataSet->RecNo() != RecNo)
        DataSet->SetRecNo(RecNo);
    if (!DataSet || !DataSet->Active() || DataSet->RecNo() != RecNo) {
        Error = QStringLiteral("The record %1 cannot be read again").arg(RecNo);
        return false;
    }
    switch (MergeRecord(Source, Item)) {
    case prPrepared: return true;
    case prInvalidAddress:
        Error = QStringLiteral("Invalid E-mail Address (record %1)").arg(RecNo);
        return false;
    default:
        Error = QStringLiteral("The message of record %1 could not be merged").arg(RecNo);
        return false;
    }
}

} // namespace qf::delivery
