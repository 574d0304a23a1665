#include "tables/data/dbf/dbfcopy.h"

#include "tables/data/dataset.h"
#include "tables/data/dbf/dbfcodec.h"
#include "tables/data/dbf/dbftable.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <climits>
#include <cstring>

namespace qf::tables {

namespace {
// Records and memo texts go to the files in chunks of about this size.
constexpr qsizetype kChunk = 1 << 20;

struct TSlot {
    TField *Source = nullptr; // nullptr: the field stays blank
    TDbfType SourceKind = dtC;
    TDbfType Kind = dtC;
    int Offset = 0;
    int Width = 0;
    QString Name;
};

// The readings of one value the conversion needs, from a single read of the field.
TDbfSourceValue SourceValue(const TSlot &Slot)
{
    TDbfSourceValue Value;
    Value.Kind = Slot.SourceKind;
    const QVariant V = Slot.Source->Value();
    Value.Null = !V.isValid();
    if (Value.Null)
        return Value;
    const int Type = V.typeId();
    switch (Value.Kind) {
    case dtN:
        Value.Float =
            Type == QMetaType::Double || Type == QMetaType::LongLong || Type == QMetaType::Int
                ? V.toDouble()
                : Slot.Source->AsFloat();
        break;
    case dtD:
        if (Type == QMetaType::QDate)
            Value.DateTime = DateToSerial(V.toDate());
        else if (Type == QMetaType::QDateTime)
            Value.DateTime = DateTimeToSerial(V.toDateTime());
        else
            Value.DateTime = Slot.Source->AsDateTime();
        break;
    case dtL:
        Value.Boolean = Type == QMetaType::Bool ? V.toBool() : Slot.Source->AsBoolean();
        break;
    default:
        Value.Text = Type == QMetaType::QString ? V.toString() : Slot.Source->AsString();
        // Blank text is no value, whatever the target.
        if (Value.Text.trimmed().isEmpty())
            Value.Null = true;
    }
    return Value;
}

void WriteOrThrow(QFile &File, const char *Data, qsizetype Size, int64_t RecNo)
{
    if (!WriteDbfBytes(File, Data, Size))
        throw EDatabaseError(QStringLiteral("The copy stopped at record %1. %2")
                                 .arg(RecNo)
                                 .arg(DbfFileError(File, QStringLiteral("write"))));
}

// Removes the compiled filter of the copy when the copy ends, also by an exception.
struct TFilterGuard {
    const std::function<void()> *Remove = nullptr;
    ~TFilterGuard()
    {
        if (Remove && *Remove)
            (*Remove)();
    }
};
} // namespace

void TDbfCopy::AddProblem(int64_t RecNo, const QString &FieldName, const QString &Text,
                          TCopyProblem::TKind Kind, const QString &Kept)
{
    ++FProblemCount;
    if (FProblems.size() < size_t(kKeptProblems))
        FProblems.push_back({RecNo, FieldName, Text, Kind, Kept});
}

namespace {
// A value as the question quotes it: a long one by its start.
QString Shortened(const QString &Text)
{
    constexpr qsizetype kQuoted = 60;
    if (Text.size() <= kQuoted)
        return Text;
    const qsizetype End = Text[kQuoted].isLowSurrogate() ? kQuoted - 1 : kQuoted;
    return Text.left(End) + QChar(0x2026);
}
} // namespace

QString TDbfCopy::ProblemText() const
{
    if (FProblemCount == 0)
        return QString();
    QString Text = FProblemCount == 1
                       ? QStringLiteral("One value would not be copied whole:")
                       : QStringLiteral("%1 values would not be copied whole:").arg(FProblemCount);
    for (const TCopyProblem &Problem : FProblems) {
        if (Problem.Kind == TCopyProblem::MemoLost) {
            Text += QStringLiteral("\nrecord %1, field %2: the memo refers to block %3, past the "
                                   "end of the memo file \"%4\"; its text is lost and would be "
                                   "left blank")
                        .arg(Problem.RecNo)
                        .arg(Problem.FieldName, Problem.Text, Problem.Kept);
            continue;
        }
        Text += QStringLiteral("\nrecord %1, field %2: \"%3\" ")
                    .arg(Problem.RecNo)
                    .arg(Problem.FieldName, Shortened(Problem.Text));
        switch (Problem.Kind) {
        case TCopyProblem::Blank:
            Text += QStringLiteral("does not convert to the field's type and would be left blank");
            break;
        case TCopyProblem::Unencodable:
            Text += QStringLiteral("holds characters that the code page %1 cannot store and would "
                                   "be left blank")
                        .arg(QString::fromLatin1(FCodePage));
            break;
        case TCopyProblem::Cut:
            Text += QStringLiteral("would be cut to \"%1\"").arg(Shortened(Problem.Kept));
            break;
        case TCopyProblem::Rounded:
            Text += QStringLiteral("would be rounded to %1").arg(Problem.Kept);
            break;
        case TCopyProblem::MemoLost: break;
        }
    }
    if (FProblemCount > int64_t(FProblems.size()))
        Text += QStringLiteral("\n...");
    return Text;
}

void TDbfCopy::CopyToDbf(const QString &FileName, std::vector<TFieldDefRec> &FieldDefs,
                         TADOQuery *Source, bool CreateMode)
{
    FCopied = 0;
    FProblemCount = 0;
    FProblems.clear();
    const bool Open = Source && Source->Active();
    if (Open) {
        // An added field that bears the name of a field of the open table receives its values.
        for (TFieldDefRec &Def : FieldDefs)
            if (!Source->FindField(Def.SourceName) && Source->FindField(Def.Name))
                Def.SourceName = Def.Name;
    }
    const auto *Table = Open ? dynamic_cast<const TDbfTable *>(Source->Source()) : nullptr;
    const TDbfEncoding Encoding = Table && !CreateMode ? Table->Encoding() : DbfLocaleEncoding();
    FCodePage = Encoding.Codec.CodePage();
    WriteDbfHeader(FileName, FieldDefs, Encoding);
    if (CreateMode || !Open || Source->IsEmpty())
        return;
    const TCopyOptions Options = OnCopyOptions ? OnCopyOptions() : TCopyOptions();
    if (!Options.CopyData)
        return;

    TADOQuery Records;
    TFilterGuard Guard;
    if (Options.OnlyFiltered) {
        if (OnPrepareFilter) {
            Guard.Remove = &OnRemoveFilter;
            OnPrepareFilter(Records);
        }
        Records.SetFiltered(true);
    }
    Records.Clone(*Source);
    Records.SetSort(Options.SortedSequence ? Source->Sort() : QString());
    CopyRecords(FileName, FieldDefs, Records, Encoding.Codec);
}

void TDbfCopy::CopyRecords(const QString &FileName, const std::vector<TFieldDefRec> &FieldDefs,
                           TADOQuery &Records, const TDbfCodec &Codec)
{
    std::vector<TSlot> Slots;
    int RecordLength = 1;
    bool HasMemo = false;
    for (const TFieldDefRec &Def : FieldDefs) {
        TSlot Slot;
        Slot.Kind = Def.Kind;
        Slot.Width = DbfFieldWidth(Def.Kind, Def.Size);
        Slot.Offset = RecordLength;
        Slot.Name = QString::fromUtf8(DbfFieldName(Def.Name));
        if (!Def.SourceName.isEmpty())
            Slot.Source = Records.FindField(Def.SourceName);
        if (Slot.Source)
            Slot.SourceKind = MapFieldTypeToDbf(Slot.Source->DataType());
        RecordLength += Slot.Width;
        HasMemo |= Def.Kind == dtM;
        Slots.push_back(Slot);
    }

    QFile Table(FileName);
    if (!Table.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw EDatabaseError(DbfFileError(Table, QStringLiteral("open")));
    QByteArray Header = Table.read(32);
    if (Header.size() != 32 ||
        qFromLittleEndian<quint16>(Header.constData() + 10) != RecordLength || Table.size() < 34)
        throw EDatabaseError(
            QStringLiteral("The new table \"%1\" was changed while it was written.").arg(FileName));
    QFile Memo(DbfMemoFileName(FileName));
    qint64 MemoEnd = 0;
    if (HasMemo) {
        // Without its memo file every memo text would be lost: that is an error, not a blank.
        if (!Memo.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            throw EDatabaseError(DbfFileError(Memo, QStringLiteral("open the memo file")));
        MemoEnd = std::max<qint64>(Memo.size(), kDbfMemoBlock);
        if (!Memo.seek(MemoEnd))
            throw EDatabaseError(DbfFileError(Memo, QStringLiteral("write")));
    }
    // The first record overwrites the end-of-file mark.
    if (!Table.seek(Table.size() - 1))
        throw EDatabaseError(DbfFileError(Table, QStringLiteral("write")));

    QByteArray Chunk;
    Chunk.reserve(kChunk + RecordLength);
    QByteArray MemoChunk;
    QByteArray Record(RecordLength, ' ');
    int64_t RecNo = 0;
    // A memo that reads as empty because the memo file lost its text is a loss, not a blank.
    const auto *Dbf = dynamic_cast<const TDbfTable *>(Records.Source());
    const auto MemoLost = [&](const TSlot &Slot) {
        if (!Dbf || Slot.SourceKind != dtM)
            return false;
        QString Ref;
        if (!Dbf->MemoPastEnd(Records.CurrentRow(), Slot.Source->Index(), &Ref))
            return false;
        AddProblem(RecNo, Slot.Name, Ref, TCopyProblem::MemoLost,
                   QDir::toNativeSeparators(Dbf->MemoName()));
        return true;
    };
    const auto FlushMemo = [&] {
        if (!MemoChunk.isEmpty())
            WriteOrThrow(Memo, MemoChunk.constData(), MemoChunk.size(), RecNo);
        MemoChunk.clear();
    };
    for (Records.First(); !Records.Eof(); Records.Next()) {
        ++RecNo;
        std::memset(Record.data(), ' ', size_t(RecordLength));
        for (const TSlot &Slot : Slots) {
            if (!Slot.Source)
                continue;
            TDbfSourceValue Value;
            try {
                Value = SourceValue(Slot);
            } catch (const EDatabaseError &) {
                AddProblem(RecNo, Slot.Name, Slot.Source->Value().toString());
                continue;
            }
            if (Value.Null) {
                MemoLost(Slot);
                continue;
            }
            bool Rounded = false;
            const std::optional<QString> Text = ConvertDbfValue(Slot.Kind, Value, &Rounded);
            if (!Text) {
                AddProblem(RecNo, Slot.Name, Slot.Source->AsString());
                continue;
            }
            char *Field = Record.data() + Slot.Offset;
            if (Slot.Kind != dtC && Slot.Kind != dtM) {
                if (Rounded)
                    AddProblem(RecNo, Slot.Name, Slot.Source->AsString(), TCopyProblem::Rounded,
                               Text->trimmed());
                PlaceDbfField(Field, Slot.Kind, Slot.Width, *Text);
                continue;
            }
            QString Kept = *Text;
            if (Slot.Kind == dtC)
                while (Kept.endsWith(QLatin1Char(' ')))
                    Kept.chop(1);
            if (Kept.isEmpty())
                continue;
            bool Cut = false;
            const std::optional<QByteArray> Bytes =
                EncodeDbfText(Codec, Kept, Slot.Kind == dtC ? Slot.Width : INT_MAX, Cut);
            if (!Bytes) {
                AddProblem(RecNo, Slot.Name, *Text, TCopyProblem::Unencodable);
                continue;
            }
            if (Slot.Kind == dtC) {
                std::memcpy(Field, Bytes->constData(), size_t(Bytes->size()));
                if (Cut)
                    AddProblem(RecNo, Slot.Name, *Text, TCopyProblem::Cut, Codec.Decode(*Bytes));
                continue;
            }
            const qint64 Start = (MemoEnd + kDbfMemoBlock - 1) / kDbfMemoBlock * kDbfMemoBlock;
            if (Start / kDbfMemoBlock > 0xFFFFFFFFLL)
                throw EDatabaseError(
                    QStringLiteral("The copy stopped at record %1: the memo file \"%2\" is full.")
                        .arg(RecNo)
                        .arg(Memo.fileName()));
            MemoChunk.append(QByteArray(Start - MemoEnd, '\0'));
            MemoChunk.append(*Bytes);
            MemoChunk.append("\x1A\x1A", 2);
            MemoEnd = Start + Bytes->size() + 2;
            PlaceDbfMemoRef(Field, Slot.Width, quint32(Start / kDbfMemoBlock));
            if (MemoChunk.size() >= kChunk)
                FlushMemo();
        }
        Chunk.append(Record);
        ++FCopied;
        if (Chunk.size() >= kChunk) {
            WriteOrThrow(Table, Chunk.constData(), Chunk.size(), RecNo);
            Chunk.clear();
        }
    }
    Chunk.append('\x1A');
    WriteOrThrow(Table, Chunk.constData(), Chunk.size(), RecNo);
    FlushMemo();
    qToLittleEndian<quint32>(quint32(FCopied), Header.data() + 4);
    if (!Table.seek(0))
        throw EDatabaseError(DbfFileError(Table, QStringLiteral("write")));
    WriteOrThrow(Table, Header.constData(), Header.size(), RecNo);
    if (HasMemo)
        UpdateDbfMemoHeader(Memo);
}

} // namespace qf::tables
