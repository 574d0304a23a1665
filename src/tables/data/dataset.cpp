#include "tables/data/dataset.h"

#include "tables/data/connection.h"
#include "tables/data/dbf/dbftable.h"

#include <QDate>
#include <QDateTime>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace qf::tables {

namespace {
bool IsTextType(TFieldType Type)
{
    return MapFieldTypeToDbf(Type) == dtC || MapFieldTypeToDbf(Type) == dtM;
}

bool IsIntegerType(TFieldType Type)
{
    return Type == ftSmallint || Type == ftInteger || Type == ftWord || Type == ftAutoInc ||
           Type == ftLargeint;
}

// Unique among all datasets: a dataset made where an earlier one stood never repeats a
// generation that a cache of the earlier one's fields still holds.
uint64_t NextFieldsGeneration()
{
    static std::atomic<uint64_t> Last{0};
    return ++Last;
}

// The layer's edge: what the standard library raises for a table too big for memory leaves it
// as the layer's own error.
template <typename TAction>
auto Guarded(TAction &&Action) -> decltype(Action())
{
    try {
        return Action();
    } catch (const std::bad_alloc &) {
        throw EDatabaseError(QStringLiteral("There is not enough memory for this table."));
    } catch (const std::length_error &) {
        throw EDatabaseError(QStringLiteral("There is not enough memory for this table."));
    }
}

[[noreturn]] void NotAFloat(const QString &Text)
{
    throw EDatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(Text));
}

TDateTime VariantToSerial(const QVariant &Value)
{
    switch (Value.typeId()) {
    case QMetaType::QDate: return DateToSerial(Value.toDate());
    case QMetaType::QDateTime: return DateTimeToSerial(Value.toDateTime());
    case QMetaType::QTime: return Value.toTime().msecsSinceStartOfDay() / 86400000.0;
    case QMetaType::QString: {
        TDateTime Serial;
        if (!TryStrToDateTime(Value.toString(), Serial))
            throw EDatabaseError(
                QStringLiteral("'%1' is not a valid date and time").arg(Value.toString()));
        return Serial;
    }
    case QMetaType::Bool: return Value.toBool() ? 1 : 0;
    default: return Value.toDouble();
    }
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TField

TField::TField(TADOQuery &DataSet, int Index, const TSourceField &Def)
    : FDataSet(DataSet), FIndex(Index), FDef(Def)
{}

QVariant TField::Value() const { return FDataSet.FieldValue(FIndex); }

bool TField::IsNull() const
{
    // Asked of the source without a variant where it can tell: the merge asks per value.
    const int64_t Row = FDataSet.SourceRow(FIndex);
    return Row >= 0 ? FDataSet.FSource->IsNull(Row, FIndex) : !Value().isValid();
}

namespace {
QString VariantText(const QVariant &V)
{
    if (!V.isValid())
        return QString();
    switch (V.typeId()) {
    case QMetaType::Double: return FloatToStr(V.toDouble());
    case QMetaType::Bool: return V.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDate: return DateToStr(V.toDate());
    case QMetaType::QDateTime: return DateTimeToStr(DateTimeToSerial(V.toDateTime()));
    default: return V.toString();
    }
}
} // namespace

QString TField::AsString() const
{
    // Text straight from the source, without a variant: the filter reads it per record.
    if (FDef.DataType == ftString && FDataSet.FDbfSource) {
        const int64_t Row = FDataSet.SourceRow(FIndex);
        if (Row >= 0) {
            QString Text = FDataSet.FSource->AsString(Row, FIndex);
            return Text.isEmpty() ? QString() : Text;
        }
    }
    return VariantText(Value());
}

void TField::ReadString(QString &Text) const
{
    if (FDef.DataType == ftString && FDataSet.FDbfSource) {
        const int64_t Row = FDataSet.SourceRow(FIndex);
        if (Row >= 0 &&
            static_cast<const TDbfTable &>(*FDataSet.FSource).ReadText(Row, FIndex, Text))
            return;
    }
    Text = AsString();
}

bool TField::AsciiText(QByteArrayView &Text) const
{
    if (FDef.DataType != ftString || !FDataSet.FDbfSource)
        return false;
    const int64_t Row = FDataSet.SourceRow(FIndex);
    return Row >= 0 && FDataSet.FSource->AsciiText(Row, FIndex, Text);
}

double TField::AsFloat() const
{
    // Numbers straight from the source: the filter and the calculated fields read them per record.
    if (FDef.DataType == ftFloat || FDef.DataType == ftCurrency) {
        const int64_t Row = FDataSet.SourceRow(FIndex);
        if (Row >= 0 && FDataSet.FDbfSource)
            return FDataSet.FSource->AsFloat(Row, FIndex);
    }
    const QVariant V = Value();
    if (!V.isValid())
        return 0.0;
    switch (V.typeId()) {
    case QMetaType::QString: {
        double Number;
        if (!TryStrToFloat(V.toString(), Number))
            NotAFloat(V.toString());
        return Number;
    }
    case QMetaType::QDate:
    case QMetaType::QDateTime:
    case QMetaType::QTime: return VariantToSerial(V);
    case QMetaType::Bool: return V.toBool() ? 1.0 : 0.0;
    default: return V.toDouble();
    }
}

long double TField::AsExtended() const
{
    if (FDef.DataType == ftFloat || FDef.DataType == ftCurrency) {
        const int64_t Row = FDataSet.SourceRow(FIndex);
        if (Row >= 0 && FDataSet.FDbfSource)
            return FDataSet.FSource->AsExtended(Row, FIndex);
    }
    return expr::DoubleToExtended(AsFloat());
}

int TField::AsInteger() const
{
    const double Number = AsFloat();
    if (!(Number >= -2147483648.0 && Number <= 2147483647.0))
        throw EDatabaseError(
            QStringLiteral("The value of the field \"%1\" is out of the integer range")
                .arg(FieldName()));
    return int(std::llround(Number));
}

TDateTime TField::AsDateTime() const
{
    if (FDef.DataType == ftDate && FDataSet.FDbfSource) {
        const int64_t Row = FDataSet.SourceRow(FIndex);
        TDateTime Serial;
        if (Row >= 0 &&
            static_cast<const TDbfTable &>(*FDataSet.FSource).AsDate(Row, FIndex, Serial))
            return Serial;
    }
    const QVariant V = Value();
    return V.isValid() ? VariantToSerial(V) : 0.0;
}

bool TField::AsBoolean() const
{
    const QVariant V = Value();
    if (!V.isValid())
        return false;
    if (V.typeId() == QMetaType::QString) {
        const QString Text = V.toString();
        return !Text.isEmpty() && QStringLiteral("TtYy").contains(Text[0]);
    }
    return V.typeId() == QMetaType::Bool ? V.toBool() : V.toDouble() != 0;
}

void TField::SetValue(const QVariant &Value) { FDataSet.SetFieldValue(FIndex, Value); }

void TField::Clear() { SetValue(QVariant()); }

void TField::SetAsString(const QString &Value)
{
    switch (MapFieldTypeToDbf(FDef.DataType)) {
    case dtN: {
        if (Value.trimmed().isEmpty())
            return Clear();
        double Number;
        if (!TryStrToFloat(Value, Number))
            NotAFloat(Value);
        return SetAsFloat(Number);
    }
    case dtD: {
        if (Value.trimmed().isEmpty())
            return Clear();
        TDateTime Serial;
        if (!TryStrToDateTime(Value, Serial))
            throw EDatabaseError(QStringLiteral("'%1' is not a valid date").arg(Value));
        return SetAsDateTime(Serial);
    }
    case dtL: {
        const QString Text = Value.trimmed().toLower();
        if (Text.isEmpty())
            return Clear();
        if (Text[0] == QLatin1Char('t') || Text[0] == QLatin1Char('y'))
            return SetAsBoolean(true);
        if (Text[0] == QLatin1Char('f') || Text[0] == QLatin1Char('n'))
            return SetAsBoolean(false);
        throw EDatabaseError(QStringLiteral("'%1' is not a valid boolean value").arg(Value));
    }
    default: return SetValue(Value);
    }
}

void TField::SetAsFloat(double Value)
{
    switch (MapFieldTypeToDbf(FDef.DataType)) {
    case dtC:
    case dtM: return SetValue(FloatToStr(Value));
    case dtD: return SetAsDateTime(Value);
    case dtL: return SetValue(Value != 0);
    default:
        if (!std::isfinite(Value))
            NotAFloat(FloatToStr(Value));
        return SetValue(IsIntegerType(FDef.DataType) ? QVariant(qint64(std::llround(Value)))
                                                     : QVariant(Value));
    }
}

void TField::SetAsDateTime(TDateTime Value)
{
    const QDateTime DateTime = SerialToDateTime(Value);
    switch (FDef.DataType) {
    case ftDate:
        if (!DateTime.isValid())
            throw EDatabaseError(
                QStringLiteral("The date is out of range for the field \"%1\"").arg(FieldName()));
        return SetValue(DateTime.date());
    case ftDateTime:
    case ftTime:
        if (!DateTime.isValid())
            throw EDatabaseError(
                QStringLiteral("The date is out of range for the field \"%1\"").arg(FieldName()));
        return SetValue(DateTime);
    default:
        switch (MapFieldTypeToDbf(FDef.DataType)) {
        case dtC:
        case dtM: return SetValue(DateTimeToStr(Value));
        case dtN: return SetAsFloat(Value);
        default: return SetValue(Value != 0);
        }
    }
}

void TField::SetAsBoolean(bool Value)
{
    switch (MapFieldTypeToDbf(FDef.DataType)) {
    case dtC:
    case dtM: return SetValue(Value ? QStringLiteral("T") : QStringLiteral("F"));
    case dtN: return SetAsFloat(Value ? 1 : 0);
    default: return SetValue(Value);
    }
}

// ---------------------------------------------------------------------------------------------
// TADOQuery

namespace {
// Tells the source, a stretch at a time, which rows a pass over rising row ids has gone past.
class TPassBehind {
public:
    explicit TPassBehind(const TTableSource &Source) : FSource(Source) {}
    void At(int64_t Row)
    {
        if (Row < FFrom) {
            FFrom = Row;
        } else if (Row - FFrom >= kPassStretch) {
            FSource.PassedRows(FFrom, Row);
            FFrom = Row;
        }
    }

private:
    const TTableSource &FSource;
    int64_t FFrom = 0;
};
} // namespace

// ---------------------------------------------------------------------------------------------
// TRowIndex

void TRowIndex::Clear()
{
    FIdentity = FAscending = true;
    FCount = FReserve = 0;
    std::vector<uint32_t>().swap(FRows);
}

void TRowIndex::Store()
{
    if (!FIdentity)
        return;
    std::vector<uint32_t> Rows;
    Rows.reserve(std::max(FReserve, FCount + 1));
    for (size_t Row = 0; Row < FCount; ++Row)
        Rows.push_back(uint32_t(Row));
    FRows = std::move(Rows);
    FIdentity = false;
    FAscending = true;
}

void TRowIndex::Append(int64_t Row)
{
    if (FIdentity && Row == int64_t(FCount)) {
        ++FCount;
        return;
    }
    Insert(size(), Row);
}

void TRowIndex::Insert(size_t At, int64_t Row)
{
    if (FIdentity && At == FCount && Row == int64_t(FCount)) {
        ++FCount;
        return;
    }
    if (Row < 0 || Row > int64_t(UINT32_MAX))
        throw EDatabaseError(QStringLiteral("The table has more records than can be shown."));
    Store();
    if ((At > 0 && FRows[At - 1] >= Row) || (At < FRows.size() && FRows[At] <= Row))
        FAscending = false;
    FRows.insert(FRows.begin() + ptrdiff_t(At), uint32_t(Row));
}

void TRowIndex::Erase(size_t At)
{
    if (FIdentity && At + 1 == FCount) {
        --FCount;
        return;
    }
    Store();
    FRows.erase(FRows.begin() + ptrdiff_t(At));
}

size_t TRowIndex::Find(int64_t Row) const
{
    if (FIdentity)
        return Row >= 0 && Row < int64_t(FCount) ? size_t(Row) : FCount;
    if (Row < 0 || Row > int64_t(UINT32_MAX))
        return FRows.size();
    const auto Id = uint32_t(Row);
    const auto It = FAscending ? std::lower_bound(FRows.begin(), FRows.end(), Id)
                               : std::find(FRows.begin(), FRows.end(), Id);
    return It != FRows.end() && *It == Id ? size_t(It - FRows.begin()) : FRows.size();
}

// ---------------------------------------------------------------------------------------------
// TADOQuery

TADOQuery::TADOQuery(TADOConnection *Connection) : Connection(Connection) {}

TADOQuery::~TADOQuery()
{
    for (TDataSource *Source : FDataSources)
        Source->FDataSet = nullptr;
}

void TADOQuery::Fire(const TDataSetNotifyEvent &Event)
{
    if (Event)
        Event(*this);
}

void TADOQuery::NotifyData()
{
    if (FDisabled > 0) {
        FPendingData = true;
        return;
    }
    for (TDataSource *Source : std::vector<TDataSource *>(FDataSources))
        if (Source->OnDataChange)
            Source->OnDataChange();
}

void TADOQuery::NotifyState()
{
    if (FDisabled > 0) {
        FPendingState = true;
        return;
    }
    for (TDataSource *Source : std::vector<TDataSource *>(FDataSources))
        if (Source->OnStateChange)
            Source->OnStateChange();
}

void TADOQuery::DisableControls() { ++FDisabled; }

void TADOQuery::EnableControls()
{
    if (FDisabled == 0 || --FDisabled > 0)
        return;
    const bool State = FPendingState;
    FPendingData = FPendingState = false;
    if (State)
        NotifyState();
    NotifyData();
}

void TADOQuery::CheckActive() const
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TADOQuery::CheckWritable() const
{
    if (FSource->ReadOnly())
        throw EDatabaseError(FSource->ReadOnlyReason());
}

void TADOQuery::Open()
{
    if (Active())
        return;
    Fire(BeforeOpen);
    if (!Connection)
        throw EDatabaseError(QStringLiteral("The query has no connection."));
    Guarded([&] {
        if (!Connection->Connected())
            Connection->Open();
        OpenSource(Connection->Execute(SQL));
    });
}

void TADOQuery::OpenSource(std::shared_ptr<TTableSource> Source)
{
    FSource = std::move(Source);
    FDbfSource = dynamic_cast<const TDbfTable *>(FSource.get()) != nullptr;
    FFields.clear();
    FFieldsGeneration = NextFieldsGeneration();
    const std::vector<TSourceField> &Defs = FSource->Fields();
    for (int i = 0; i < int(Defs.size()); ++i)
        FFields.push_back(std::make_unique<TField>(*this, i, Defs[size_t(i)]));
    FSort.clear();
    FSortField = -1;
    FSortDescending = false;
    ResetBuffer();
    FState = dsBrowse;
    try {
        BuildView();
    } catch (...) {
        FState = dsInactive;
        FFields.clear();
        FFieldsGeneration = NextFieldsGeneration();
        FRows.Clear();
        FSource.reset();
        throw;
    }
    MoveTo(0);
    Fire(AfterOpen);
    NotifyState();
    NotifyData();
    Fire(AfterScroll);
}

void TADOQuery::Close()
{
    if (!Active())
        return;
    Fire(BeforeClose);
    ResetBuffer();
    FState = dsInactive;
    FFields.clear();
    FFieldsGeneration = NextFieldsGeneration();
    FRows.Clear();
    FSource.reset();
    FCurrent = -1;
    FEof = FBof = true;
    FSort.clear();
    FSortField = -1;
    Fire(AfterClose);
    NotifyState();
    NotifyData();
}

void TADOQuery::Clone(TADOQuery &Source)
{
    Source.CheckActive();
    std::shared_ptr<TTableSource> Rows = Source.FSource;
    Close();
    Fire(BeforeOpen);
    Guarded([&] { OpenSource(std::move(Rows)); });
}

TField &TADOQuery::Fields(int Index) const
{
    if (Index < 0 || Index >= FieldCount())
        throw EDatabaseError(QStringLiteral("Field index %1 out of range").arg(Index));
    return *FFields[size_t(Index)];
}

TField *TADOQuery::FindField(const QString &Name) const
{
    for (const auto &Field : FFields)
        if (Field->FieldName().compare(Name, Qt::CaseInsensitive) == 0)
            return Field.get();
    return nullptr;
}

TField &TADOQuery::FieldByName(const QString &Name) const
{
    if (TField *Field = FindField(Name))
        return *Field;
    throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(Name));
}

int64_t TADOQuery::CurrentRow() const
{
    if (!Active() || FState == dsInsert || FCurrent < 0 || FCurrent >= int64_t(FRows.size()))
        return -1;
    return FRows[size_t(FCurrent)];
}

QVariant TADOQuery::FieldValue(int Field) const
{
    if (!Active())
        return {};
    if (FFilterRow >= 0)
        return FSource->Value(FFilterRow, Field);
    if ((FState == dsEdit || FState == dsInsert) && FBufferSet[size_t(Field)])
        return FBuffer[size_t(Field)];
    const int64_t Row = CurrentRow();
    return Row < 0 ? QVariant() : FSource->Value(Row, Field);
}

int64_t TADOQuery::SourceRow(int Field) const
{
    if (!Active())
        return -1;
    if (FFilterRow >= 0)
        return FFilterRow;
    if ((FState == dsEdit || FState == dsInsert) && FBufferSet[size_t(Field)])
        return -1;
    return CurrentRow();
}

const char *TADOQuery::RecordBytes(const std::atomic<bool> *&Lost) const
{
    if (!FDbfSource || !Active())
        return nullptr;
    int64_t Row = FFilterRow;
    if (Row < 0) {
        if (FState == dsEdit || FState == dsInsert)
            return nullptr;
        Row = CurrentRow();
    }
    const auto &Table = static_cast<const TDbfTable &>(*FSource);
    Lost = &Table.LostPages();
    return Table.RecordBytes(Row);
}

QVariant TADOQuery::RowValue(int Index, int Field) const
{
    if (!Active() || Index < 0 || size_t(Index) >= FRows.size() || Field < 0 ||
        Field >= FieldCount())
        return {};
    if (FState == dsEdit && Index == FCurrent && FBufferSet[size_t(Field)])
        return FBuffer[size_t(Field)];
    return FSource->Value(FRows[size_t(Index)], Field);
}

QString TADOQuery::RowText(int Index, int Field) const
{
    return VariantText(RowValue(Index, Field));
}

void TADOQuery::SetFieldValue(int Field, const QVariant &Value)
{
    CheckActive();
    if (FState != dsEdit && FState != dsInsert)
        throw EDatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
    const QVariant Stored = Value.isNull() ? QVariant() : Value;
    FSource->ValidateValue(Field, Stored);
    FBuffer[size_t(Field)] = Stored;
    FBufferSet[size_t(Field)] = 1;
    FModified = true;
    NotifyData();
}

void TADOQuery::ResetBuffer()
{
    FBuffer.assign(FFields.size(), QVariant());
    FBufferSet.assign(FFields.size(), 0);
    FModified = false;
}

void TADOQuery::BuildView()
{
    const int64_t Count = FSource->RowCount();
    FRows.Clear();
    FRows.Reserve(size_t(Count));
    const bool Filter = FFiltered && OnFilterRecord;
    TPassBehind Pass(*FSource);
    for (int64_t Row = 0; Row < Count; ++Row) {
        Pass.At(Row);
        if (FSource->IsDeleted(Row))
            continue;
        if (Filter) {
            bool Accept = true;
            FFilterRow = Row;
            try {
                OnFilterRecord(*this, Accept);
            } catch (...) {
                FFilterRow = -1;
                throw;
            }
            FFilterRow = -1;
            if (!Accept)
                continue;
        }
        FRows.Append(Row);
    }
    SortRows();
    FCurrent = -1;
}

TRowIndex TADOQuery::NaturalOrder() const
{
    if (FRows.Ascending())
        return FRows;
    // Row ids are below the source's row count: marking them is cheaper than sorting them.
    std::vector<bool> Visible(size_t(FSource->RowCount()), false);
    for (size_t i = 0; i < FRows.size(); ++i)
        if (FRows[i] < int64_t(Visible.size()))
            Visible[size_t(FRows[i])] = true;
    TRowIndex Order;
    Order.Reserve(FRows.size());
    for (size_t Row = 0; Row < Visible.size(); ++Row)
        if (Visible[Row])
            Order.Append(int64_t(Row));
    return Order;
}

void TADOQuery::SortRows()
{
    if (FSortField < 0 || FRows.size() < 2)
        return;
    const int Field = FSortField;
    const bool Descending = FSortDescending;
    const TTableSource &Source = *FSource;
    const TFieldType Type = FFields[size_t(Field)]->DataType();
    // Keys are read in the table's order, which walks the file forward.
    const TRowIndex Order = NaturalOrder();
    if (IsTextType(Type)) {
        SortText(Order, Descending);
        return;
    }
    struct TKey {
        double Value;
        int64_t Row;
    };
    std::vector<TKey> Keys;
    Keys.reserve(Order.size());
    std::vector<int64_t> Nulls;
    const bool Number = MapFieldTypeToDbf(Type) == dtN;
    TPassBehind Pass(Source);
    for (size_t i = 0; i < Order.size(); ++i) {
        const int64_t Row = Order[i];
        Pass.At(Row);
        if (Source.IsNull(Row, Field)) {
            Nulls.push_back(Row);
        } else if (Number) {
            Keys.push_back(TKey{Source.AsFloat(Row, Field), Row});
        } else {
            const QVariant V = Source.Value(Row, Field);
            try {
                Keys.push_back(TKey{V.typeId() == QMetaType::Bool ? (V.toBool() ? 1.0 : 0.0)
                                                                  : VariantToSerial(V),
                                    Row});
            } catch (const EDatabaseError &) { // a text that is no date sorts with the empty values
                Nulls.push_back(Row);
            }
        }
    }
    if (Descending)
        std::sort(Keys.begin(), Keys.end(), [](const TKey &a, const TKey &b) {
            return a.Value > b.Value || (a.Value == b.Value && a.Row < b.Row);
        });
    else
        std::sort(Keys.begin(), Keys.end(), [](const TKey &a, const TKey &b) {
            return a.Value < b.Value || (a.Value == b.Value && a.Row < b.Row);
        });
    PlaceSorted(Keys, Nulls, Descending);
}

template <typename TKeys>
void TADOQuery::PlaceSorted(const TKeys &Keys, const std::vector<int64_t> &Nulls, bool Descending)
{
    // Nulls first in ascending order, last in descending order; equal keys keep the table's order.
    TRowIndex Rows;
    Rows.Reserve(Keys.size() + Nulls.size());
    if (!Descending)
        for (const int64_t Row : Nulls)
            Rows.Append(Row);
    for (const auto &Key : Keys)
        Rows.Append(Key.Row);
    if (Descending)
        for (const int64_t Row : Nulls)
            Rows.Append(Row);
    FRows = std::move(Rows);
}

namespace {
// A text sort key: case-folded UTF-8 in a shared arena, its first eight bytes packed for quick
// comparison (byte order of UTF-8 is the order of code points).
struct TTextKey {
    uint64_t Prefix;
    size_t Offset;
    uint32_t Length;
    int64_t Row;
};

// Letters with accents sort beside their plain letters (é with e), and after them when the texts
// are otherwise equal.
QByteArray TextSortKey(const QString &Text)
{
    const QString Folded = Text.toCaseFolded();
    QString Base = Folded.normalized(QString::NormalizationForm_D);
    Base.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    if (Base == Folded)
        return Folded.toUtf8();
    return Base.toUtf8() + '\0' + Folded.toUtf8();
}

uint64_t PackPrefix(const char *Bytes, size_t Length)
{
    uint64_t Prefix = 0;
    for (size_t i = 0; i < 8; ++i)
        Prefix = (Prefix << 8) | (i < Length ? uint8_t(Bytes[i]) : 0);
    return Prefix;
}
} // namespace

void TADOQuery::SortText(const TRowIndex &Order, bool Descending)
{
    const int Field = FSortField;
    const TTableSource &Source = *FSource;
    std::vector<int64_t> Nulls;
    std::vector<TTextKey> Keys;
    Keys.reserve(Order.size());
    std::string Arena;
    Arena.reserve(Order.size() * 16);
    TPassBehind Pass(Source);
    for (size_t i = 0; i < Order.size(); ++i) {
        const int64_t Row = Order[i];
        Pass.At(Row);
        QByteArrayView Ascii;
        const size_t Offset = Arena.size();
        if (Source.AsciiText(Row, Field, Ascii)) {
            if (Ascii.isEmpty()) {
                Nulls.push_back(Row);
                continue;
            }
            Arena.append(Ascii.data(), size_t(Ascii.size()));
            for (size_t i = Offset; i < Arena.size(); ++i)
                if (Arena[i] >= 'A' && Arena[i] <= 'Z')
                    Arena[i] = char(Arena[i] + 32);
        } else if (Source.IsNull(Row, Field)) {
            Nulls.push_back(Row);
            continue;
        } else {
            const QByteArray Key = TextSortKey(Source.AsString(Row, Field));
            Arena.append(Key.constData(), size_t(Key.size()));
        }
        Keys.push_back(TTextKey{
            0, Offset, uint32_t(std::min<size_t>(Arena.size() - Offset, UINT32_MAX)), Row});
    }
    for (TTextKey &Key : Keys)
        Key.Prefix = PackPrefix(Arena.data() + Key.Offset, Key.Length);
    const char *Base = Arena.data();
    auto Less = [Base](const TTextKey &a, const TTextKey &b) {
        if (a.Prefix != b.Prefix)
            return a.Prefix < b.Prefix;
        if (a.Length > 8 && b.Length > 8) {
            const int c = std::memcmp(Base + a.Offset + 8, Base + b.Offset + 8,
                                      std::min(a.Length, b.Length) - 8);
            if (c != 0)
                return c < 0;
        }
        return a.Length < b.Length;
    };
    std::sort(Keys.begin(), Keys.end(), [&Less, Descending](const TTextKey &a, const TTextKey &b) {
        if (Less(a, b))
            return !Descending;
        if (Less(b, a))
            return Descending;
        return a.Row < b.Row;
    });
    PlaceSorted(Keys, Nulls, Descending);
}

void TADOQuery::ParseSort(const QString &Text, int &Field, bool &Descending) const
{
    QString Name = Text.trimmed();
    Field = -1;
    Descending = false;
    if (Name.isEmpty())
        return;
    const int Blank = int(Name.lastIndexOf(QLatin1Char(' ')));
    if (Blank > 0) {
        const QString Order = Name.mid(Blank + 1);
        if (Order.compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0 ||
            Order.compare(QLatin1String("ASC"), Qt::CaseInsensitive) == 0) {
            Descending = Order.compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
            Name = Name.left(Blank).trimmed();
        }
    }
    if (Name.startsWith(QLatin1Char('[')) && Name.endsWith(QLatin1Char(']')))
        Name = Name.mid(1, Name.size() - 2);
    Field = FieldByName(Name).Index();
}

void TADOQuery::SetSort(const QString &Value)
{
    Guarded([&] { ApplySort(Value); });
}

void TADOQuery::ApplySort(const QString &Value)
{
    if (!Active() && Value.trimmed().isEmpty())
        return; // a closed dataset has no sort to remove
    CheckActive();
    int Field;
    bool Descending;
    ParseSort(Value, Field, Descending);
    CheckBrowseMode();
    const int64_t Keep = CurrentRow();
    FSort = Value.trimmed();
    FSortField = Field;
    FSortDescending = Descending;
    if (Field < 0) // back to the table's order
        FRows = NaturalOrder();
    else
        SortRows();
    FCurrent = FRows.empty() ? -1 : 0;
    if (Keep >= 0)
        FCurrent = int64_t(FRows.Find(Keep));
    FEof = FBof = FRows.empty();
    NotifyData();
    // The record stays, but its position in the view has changed.
    Fire(AfterScroll);
}

void TADOQuery::SetFiltered(bool Value)
{
    Guarded([&] { ApplyFilter(Value); });
}

void TADOQuery::ApplyFilter(bool Value)
{
    if (Value == FFiltered)
        return;
    FFiltered = Value;
    if (!Active())
        return;
    CheckBrowseMode();
    try {
        BuildView();
    } catch (...) {
        // A callback that fails leaves the records as they were before the switch.
        FFiltered = !Value;
        BuildView();
        MoveTo(0);
        throw;
    }
    MoveTo(0);
    NotifyData();
    Fire(AfterScroll);
}

void TADOQuery::MoveTo(int64_t Index)
{
    if (FRows.empty()) {
        FCurrent = -1;
        FEof = FBof = true;
        return;
    }
    FCurrent = std::clamp<int64_t>(Index, 0, int64_t(FRows.size()) - 1);
    FEof = FBof = false;
}

void TADOQuery::PassOn(int64_t Before)
{
    if (FCurrent != Before + 1 || FCurrent < FPassFrom || !FRows.Ascending()) {
        FPassFrom = std::max<int64_t>(FCurrent, 0); // not one step forward: a new pass begins
        return;
    }
    if (FCurrent - FPassFrom >= kPassStretch) {
        FSource->PassedRows(FRows[size_t(FPassFrom)], FRows[size_t(FCurrent)]);
        FPassFrom = FCurrent;
    }
}

void TADOQuery::CheckBrowseMode()
{
    CheckActive();
    if (FState == dsEdit || FState == dsInsert) {
        if (FModified)
            Post();
        else
            Cancel();
    }
}

void TADOQuery::First()
{
    CheckBrowseMode();
    MoveTo(0);
    FBof = true;
    NotifyData();
    Fire(AfterScroll);
}

void TADOQuery::Last()
{
    CheckBrowseMode();
    MoveTo(int64_t(FRows.size()) - 1);
    FEof = true;
    NotifyData();
    Fire(AfterScroll);
}

void TADOQuery::Next()
{
    CheckBrowseMode();
    if (FCurrent + 1 < int64_t(FRows.size())) {
        ++FCurrent;
        PassOn(FCurrent - 1);
        FBof = FEof = false;
        NotifyData();
        Fire(AfterScroll);
    } else {
        FEof = true;
    }
}

void TADOQuery::Prior()
{
    CheckBrowseMode();
    if (FCurrent > 0) {
        --FCurrent;
        FBof = FEof = false;
        NotifyData();
        Fire(AfterScroll);
    } else {
        FBof = true;
    }
}

int TADOQuery::RecNo() const
{
    if (!Active() || FState == dsInsert || FCurrent < 0 || FRows.empty())
        return -1;
    return int(FCurrent + 1);
}

void TADOQuery::SetRecNo(int Value)
{
    CheckBrowseMode();
    if (FRows.empty())
        return;
    const int64_t Before = FCurrent;
    MoveTo(int64_t(Value) - 1);
    PassOn(Before);
    NotifyData();
    Fire(AfterScroll);
}

bool TADOQuery::Locate(const QString &KeyField, const QVariant &Value, TLocateOptions Options)
{
    CheckBrowseMode();
    const TField &Field = FieldByName(KeyField);
    const int f = Field.Index();
    const TDbfType Kind = MapFieldTypeToDbf(Field.DataType());
    const TTableSource &Source = *FSource;
    const Qt::CaseSensitivity Case =
        Options & loCaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool WantNull = !Value.isValid() || Value.isNull();
    const QString Text = Value.toString();
    double Number = 0;
    if (!WantNull && (Kind == dtN || Kind == dtD)) {
        if (Value.typeId() == QMetaType::QString) {
            const bool Ok =
                Kind == dtN ? TryStrToFloat(Text, Number) : TryStrToDateTime(Text, Number);
            if (!Ok)
                return false;
        } else {
            Number = VariantToSerial(Value);
        }
    }
    for (size_t i = 0; i < FRows.size(); ++i) {
        const int64_t Row = FRows[i];
        bool Match;
        if (Source.IsNull(Row, f)) {
            Match = WantNull;
        } else if (WantNull) {
            Match = false;
        } else if (Kind == dtN) {
            Match = Source.AsFloat(Row, f) == Number;
        } else if (Kind == dtD) {
            try {
                Match = VariantToSerial(Source.Value(Row, f)) == Number;
            } catch (const EDatabaseError &) {
                Match = false;
            }
        } else if (Kind == dtL) {
            Match = Source.Value(Row, f).toBool() == Value.toBool();
        } else {
            const QString Stored = Source.AsString(Row, f);
            Match = Options & loPartialKey ? Stored.startsWith(Text, Case)
                                           : Stored.compare(Text, Case) == 0;
        }
        if (Match) {
            FCurrent = int64_t(i);
            FEof = FBof = false;
            NotifyData();
            Fire(AfterScroll);
            return true;
        }
    }
    return false;
}

void TADOQuery::Edit()
{
    CheckActive();
    if (FState == dsEdit || FState == dsInsert)
        return;
    if (FRows.empty())
        return Insert();
    CheckWritable();
    Fire(BeforeEdit);
    ResetBuffer();
    FState = dsEdit;
    Fire(AfterEdit);
    NotifyState();
}

void TADOQuery::Insert()
{
    CheckBrowseMode();
    CheckWritable();
    Fire(BeforeInsert);
    ResetBuffer();
    FInsertAt = FCurrent < 0 ? 0 : FCurrent;
    FState = dsInsert;
    Fire(AfterInsert);
    NotifyState();
    NotifyData(); // the controls show the new record, not the one before it
    Fire(AfterScroll);
}

void TADOQuery::Append()
{
    CheckBrowseMode();
    CheckWritable();
    Fire(BeforeInsert);
    ResetBuffer();
    FInsertAt = int64_t(FRows.size());
    FState = dsInsert;
    Fire(AfterInsert);
    NotifyState();
    NotifyData(); // the controls show the new record, not the one before it
    Fire(AfterScroll);
}

void TADOQuery::Post()
{
    CheckActive();
    if (FState != dsEdit && FState != dsInsert)
        return;
    Fire(BeforePost);
    const bool Inserted = FState == dsInsert;
    if (FState == dsEdit) {
        const int64_t Row = FRows[size_t(FCurrent)];
        for (size_t f = 0; f < FFields.size(); ++f)
            if (FBufferSet[f])
                FSource->SetValue(Row, int(f), FBuffer[f]);
    } else {
        const int64_t Row = FSource->AppendRow();
        for (size_t f = 0; f < FFields.size(); ++f)
            if (FBufferSet[f])
                FSource->SetValue(Row, int(f), FBuffer[f]);
        FInsertAt = std::clamp<int64_t>(FInsertAt, 0, int64_t(FRows.size()));
        FRows.Insert(size_t(FInsertAt), Row);
        MoveTo(FInsertAt);
    }
    ResetBuffer();
    FState = dsBrowse;
    Fire(AfterPost);
    NotifyState();
    NotifyData();
    // The new record has its place now: the position shown moves from -1 to it.
    if (Inserted)
        Fire(AfterScroll);
}

void TADOQuery::Cancel()
{
    if (FState != dsEdit && FState != dsInsert)
        return;
    ResetBuffer();
    FState = dsBrowse;
    if (FCurrent >= int64_t(FRows.size()))
        MoveTo(FCurrent);
    Fire(AfterCancel);
    NotifyState();
    NotifyData();
}

void TADOQuery::Delete()
{
    CheckActive();
    if (FState == dsInsert)
        return Cancel();
    if (FRows.empty())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const int64_t Row = FRows[size_t(FCurrent)];
    FSource->DeleteRow(Row); // a read-only source refuses here, before anything changed
    if (FState == dsEdit) {
        ResetBuffer();
        FState = dsBrowse;
        NotifyState();
    }
    FRows.Erase(size_t(FCurrent));
    MoveTo(FCurrent);
    Fire(AfterDelete);
    NotifyData();
    Fire(AfterScroll);
}

void TADOQuery::UpdateBatch()
{
    CheckActive();
    if (FState == dsEdit || FState == dsInsert)
        Post();
    Guarded([&] { FSource->ApplyUpdates(); });
}

// ---------------------------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(TADOQuery *DataSet) { SetDataSet(DataSet); }

TDataSource::~TDataSource() { SetDataSet(nullptr); }

void TDataSource::SetDataSet(TADOQuery *DataSet)
{
    if (FDataSet) {
        auto &List = FDataSet->FDataSources;
        List.erase(std::remove(List.begin(), List.end(), this), List.end());
    }
    FDataSet = DataSet;
    if (FDataSet)
        FDataSet->FDataSources.push_back(this);
}

} // namespace qf::tables
