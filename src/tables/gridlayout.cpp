#include "tables/gridlayout.h"

#include "store/textcodec.h"

#include <QLocale>
#include <QtEndian>

namespace qf::tables {

namespace {

void PutInt(QByteArray &Out, int32_t Value)
{
    char Bytes[4];
    qToLittleEndian<int32_t>(Value, Bytes);
    Out.append(Bytes, 4);
}

void PutString(QByteArray &Out, const QString &Text)
{
    const QByteArray Bytes = Text.toUtf8();
    PutInt(Out, int32_t(Bytes.size()));
    Out.append(Bytes);
}

void PutFlag(QByteArray &Out, bool Value) { Out.append(char(Value ? 1 : 0)); }

// Reads forward over the file's bytes; every read fails rather than pass the end.
class TLayoutReader {
public:
    explicit TLayoutReader(QByteArrayView Data) : FData(Data) {}

    bool Int(int32_t &Value)
    {
        if (FData.size() - FPos < 4)
            return false;
        Value = qFromLittleEndian<int32_t>(FData.data() + FPos);
        FPos += 4;
        return true;
    }
    bool Flag(uint8_t &Value)
    {
        if (FData.size() - FPos < 1)
            return false;
        Value = FData[FPos++] != 0 ? 1 : 0;
        return true;
    }
    bool Chars(int32_t Length, QString &Value)
    {
        if (Length < 0 || FData.size() - FPos < Length)
            return false;
        Value = store::DecodeUtf8OrCp1252(FData.sliced(FPos, Length));
        FPos += Length;
        return true;
    }
    bool String(QString &Value)
    {
        int32_t Length;
        return Int(Length) && Chars(Length, Value);
    }

private:
    QByteArrayView FData;
    qsizetype FPos = 0;
};

} // namespace

QByteArray WriteGridLayout(const QString &SortField, bool Descending, const QStringList &Names,
                           const std::vector<TFieldEditInfo> &Fields)
{
    QByteArray Out;
    PutString(Out, SortField);
    PutFlag(Out, Descending);
    PutInt(Out, int32_t(Fields.size()));
    for (size_t i = 0; i < Fields.size(); ++i) {
        const TFieldEditInfo &F = Fields[i];
        PutString(Out, int(i) < Names.size() ? Names[int(i)] : QString());
        PutInt(Out, F.EditWidth);
        PutFlag(Out, F.Template);
        PutFlag(Out, F.Autocomplete);
        PutInt(Out, F.GridWidth);
        if (HasPickList(F.Kind)) {
            PutInt(Out, int32_t(F.PickList.size()));
            for (const QString &Entry : F.PickList)
                PutString(Out, Entry);
        }
    }
    return Out;
}

TGridLayoutHead ReadGridLayout(QByteArrayView Data, const QStringList &Names,
                               std::vector<TFieldEditInfo> &Fields)
{
    TGridLayoutHead Head;
    TLayoutReader R(Data);
    int32_t Length;
    if (!R.Int(Length) || Length < 0 || Length >= kMaxLayoutSortName)
        return Head;
    QString SortField;
    uint8_t Descending;
    if (!R.Chars(Length, SortField) || !R.Flag(Descending))
        return Head;
    Head.HasSort = true;
    Head.SortField = SortField;
    Head.Descending = Descending != 0;

    int32_t Count;
    if (!R.Int(Count) || Count != int32_t(Fields.size()) || Names.size() != Count)
        return Head;
    const QLocale Locale;
    for (int i = 0; i < Count; ++i) {
        TFieldEditInfo &F = Fields[size_t(i)];
        QString EntryName;
        if (!R.String(EntryName))
            return Head;
        const bool Match = Locale.toLower(EntryName) == Locale.toLower(Names[i]);
        int32_t EditWidth, GridWidth;
        uint8_t Template, Autocomplete;
        if (!R.Int(EditWidth))
            return Head;
        if (Match && EditWidth >= 1)
            F.EditWidth = EditWidth;
        if (!R.Flag(Template))
            return Head;
        if (Match)
            F.Template = Template;
        if (!R.Flag(Autocomplete))
            return Head;
        if (Match)
            F.Autocomplete = Autocomplete;
        if (!R.Int(GridWidth))
            return Head;
        if (Match && GridWidth >= 1)
            F.GridWidth = GridWidth;
        if (!HasPickList(F.Kind))
            continue;
        int32_t Entries;
        if (!R.Int(Entries) || Entries < 0 || Entries > kMaxPickList)
            return Head;
        if (Match)
            F.PickList.clear();
        for (int j = 0; j < Entries; ++j) {
            QString Entry;
            if (!R.String(Entry))
                return Head;
            // A list from elsewhere may repeat an entry; ours never holds one twice.
            if (Match && !F.PickList.contains(Entry))
                F.PickList.append(Entry);
        }
    }
    return Head;
}

} // namespace qf::tables
