#include "tables/data/sql/sqlvalues.h"

#include "tables/data/sql/memorytable.h"

#include <QRegularExpression>
#include <cstring>
#include <sqlite3.h>

namespace qf::tables {

namespace {

bool IsNumericType(TFieldType Type)
{
    switch (Type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftBoolean:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftAutoInc:
    case ftLargeint: return true;
    default: return false;
    }
}

bool IsIntegerType(TFieldType Type)
{
    return Type == ftSmallint || Type == ftInteger || Type == ftWord || Type == ftAutoInc ||
           Type == ftLargeint;
}

bool IsBlobType(TFieldType Type)
{
    switch (Type) {
    case ftBlob:
    case ftBytes:
    case ftVarBytes:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: return true;
    default: return false;
    }
}

QByteArray Utf8Text(const QVariant &Value)
{
    switch (Value.typeId()) {
    case QMetaType::QDate: return Value.toDate().toString(Qt::ISODate).toUtf8();
    case QMetaType::QTime: {
        const QTime Time = Value.toTime();
        return Time
            .toString(Time.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"))
            .toUtf8();
    }
    case QMetaType::QDateTime: {
        const QDateTime Stamp = Value.toDateTime();
        return Stamp
            .toString(Stamp.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                          : QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            .toUtf8();
    }
    default: return Value.toString().toUtf8();
    }
}

struct TTypeName {
    TFieldType Type;
    const char *Name;
};

// The first name of a type is the one written; later ones are only read.
const TTypeName TypeNames[] = {
    {ftString, "VARCHAR"},    {ftWideString, "NVARCHAR"},
    {ftFixedChar, "CHAR"},    {ftMemo, "TEXT"},
    {ftFmtMemo, "FMTTEXT"},   {ftSmallint, "SMALLINT"},
    {ftInteger, "INTEGER"},   {ftWord, "UNSIGNED SMALLINT"},
    {ftAutoInc, "AUTOINC"},   {ftLargeint, "BIGINT"},
    {ftBoolean, "BOOLEAN"},   {ftFloat, "FLOAT"},
    {ftCurrency, "CURRENCY"}, {ftBCD, "DECIMAL"},
    {ftDate, "DATE"},         {ftTime, "TIME"},
    {ftDateTime, "DATETIME"}, {ftBlob, "BLOB"},
};

QString FieldLabel(const TSourceField &Field)
{
    return QStringLiteral("Field \"%1\"").arg(Field.Name);
}

QDate ParseDate(const QString &Text)
{
    QDate Date = QDate::fromString(Text.left(10), Qt::ISODate);
    if (!Date.isValid() && Text.size() == 8)
        Date = QDate::fromString(Text, QStringLiteral("yyyyMMdd"));
    return Date;
}

} // namespace

void ToSqlCell(const QVariant &Value, TSqlCell &Cell)
{
    Cell.Bytes.clear();
    if (!Value.isValid() || Value.isNull()) {
        Cell.Type = SQLITE_NULL;
        return;
    }
    switch (Value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::UChar:
        Cell.Type = SQLITE_INTEGER;
        Cell.Int = Value.toLongLong();
        return;
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        Cell.Type = SQLITE_FLOAT;
        Cell.Real = Value.toDouble();
        return;
    case QMetaType::QByteArray:
        Cell.Type = SQLITE_BLOB;
        Cell.Bytes = Value.toByteArray();
        return;
    default:
        Cell.Type = SQLITE_TEXT;
        Cell.Bytes = Utf8Text(Value);
        return;
    }
}

void ResultCell(sqlite3_context *Context, const TSqlCell &Cell)
{
    switch (Cell.Type) {
    case SQLITE_INTEGER: sqlite3_result_int64(Context, Cell.Int); break;
    case SQLITE_FLOAT: sqlite3_result_double(Context, Cell.Real); break;
    case SQLITE_TEXT:
        sqlite3_result_text64(Context, Cell.Bytes.constData(), Cell.Bytes.size(), SQLITE_TRANSIENT,
                              SQLITE_UTF8);
        break;
    case SQLITE_BLOB:
        sqlite3_result_blob64(Context, Cell.Bytes.constData(), Cell.Bytes.size(), SQLITE_TRANSIENT);
        break;
    default: sqlite3_result_null(Context); break;
    }
}

bool LookupKey(const TSqlCell &Cell, std::string &Key)
{
    switch (Cell.Type) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        // Large integers may share a key; SQLite checks every row found again.
        double Number = Cell.Type == SQLITE_INTEGER ? static_cast<double>(Cell.Int) : Cell.Real;
        if (Number == 0)
            Number = 0; // -0 and 0 are equal
        Key.assign(1, 'n');
        Key.append(reinterpret_cast<const char *>(&Number), sizeof Number);
        return true;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB:
        Key.assign(1, Cell.Type == SQLITE_TEXT ? 't' : 'b');
        Key.append(Cell.Bytes.constData(), static_cast<size_t>(Cell.Bytes.size()));
        return true;
    default: return false;
    }
}

bool FromSqlArgument(sqlite3_value *Value, TFieldType Type, TSqlCell &Cell)
{
    Cell.Type = sqlite3_value_type(Value);
    Cell.Bytes.clear();
    switch (Cell.Type) {
    case SQLITE_NULL: return true;
    case SQLITE_INTEGER: Cell.Int = sqlite3_value_int64(Value); return IsNumericType(Type);
    case SQLITE_FLOAT: Cell.Real = sqlite3_value_double(Value); return IsNumericType(Type);
    case SQLITE_TEXT:
        Cell.Bytes = QByteArray(reinterpret_cast<const char *>(sqlite3_value_text(Value)),
                                sqlite3_value_bytes(Value));
        return !IsNumericType(Type) && !IsBlobType(Type);
    default:
        Cell.Bytes = QByteArray(static_cast<const char *>(sqlite3_value_blob(Value)),
                                sqlite3_value_bytes(Value));
        return IsBlobType(Type);
    }
}

QVariant FromSqlValue(sqlite3_value *Value, const TSourceField &Field)
{
    const int Kind = sqlite3_value_type(Value);
    if (Kind == SQLITE_NULL)
        return QVariant();
    if (IsBlobType(Field.DataType))
        return QByteArray(static_cast<const char *>(sqlite3_value_blob(Value)),
                          sqlite3_value_bytes(Value));
    const QString Text = QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_value_text(Value)), sqlite3_value_bytes(Value));
    if (Field.DataType == ftBoolean) {
        if (Kind == SQLITE_INTEGER || Kind == SQLITE_FLOAT)
            return sqlite3_value_double(Value) != 0;
        const QString Word = Text.trimmed().toUpper();
        if (Word == "T" || Word == "Y" || Word == "TRUE" || Word == "YES" || Word == "1")
            return true;
        if (Word == "F" || Word == "N" || Word == "FALSE" || Word == "NO" || Word == "0")
            return false;
        if (Word.isEmpty())
            return QVariant();
        throw EDatabaseError(
            QStringLiteral("%1 takes true or false, not '%2'.").arg(FieldLabel(Field), Text));
    }
    if (IsNumericType(Field.DataType)) {
        double Number;
        if (Kind == SQLITE_INTEGER) {
            if (IsIntegerType(Field.DataType))
                return static_cast<qint64>(sqlite3_value_int64(Value));
            Number = static_cast<double>(sqlite3_value_int64(Value));
        } else if (Kind == SQLITE_FLOAT) {
            Number = sqlite3_value_double(Value);
        } else {
            if (Text.trimmed().isEmpty())
                return QVariant();
            bool Ok = false;
            Number = Text.trimmed().toDouble(&Ok);
            if (!Ok)
                throw EDatabaseError(
                    QStringLiteral("%1 takes a number, not '%2'.").arg(FieldLabel(Field), Text));
        }
        if (IsIntegerType(Field.DataType) &&
            Number == static_cast<double>(static_cast<qint64>(Number)))
            return static_cast<qint64>(Number);
        return Number;
    }
    switch (Field.DataType) {
    case ftDate: {
        const QDate Date = ParseDate(Text.trimmed());
        if (Date.isValid())
            return Date;
        if (Text.trimmed().isEmpty())
            return QVariant();
        throw EDatabaseError(QStringLiteral("%1 takes a date written 'YYYY-MM-DD', not '%2'.")
                                 .arg(FieldLabel(Field), Text));
    }
    case ftDateTime: {
        QDateTime Stamp = QDateTime::fromString(Text.trimmed(), Qt::ISODateWithMs);
        if (!Stamp.isValid())
            Stamp = QDateTime::fromString(Text.trimmed(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!Stamp.isValid() && ParseDate(Text.trimmed()).isValid() && Text.trimmed().size() <= 10)
            Stamp = QDateTime(ParseDate(Text.trimmed()), QTime(0, 0));
        if (Stamp.isValid())
            return Stamp;
        if (Text.trimmed().isEmpty())
            return QVariant();
        throw EDatabaseError(
            QStringLiteral("%1 takes a date and time written 'YYYY-MM-DD HH:MM:SS', not '%2'.")
                .arg(FieldLabel(Field), Text));
    }
    case ftTime: {
        const QTime Time = QTime::fromString(Text.trimmed(), Qt::ISODateWithMs);
        if (Time.isValid())
            return Time;
        throw EDatabaseError(QStringLiteral("%1 takes a time written 'HH:MM:SS', not '%2'.")
                                 .arg(FieldLabel(Field), Text));
    }
    default: return Text;
    }
}

QString SqlDeclaredType(const TSourceField &Field)
{
    QString Name = QStringLiteral("VARCHAR");
    for (const TTypeName &Entry : TypeNames)
        if (Entry.Type == Field.DataType) {
            Name = QString::fromLatin1(Entry.Name);
            break;
        }
    if (IsBlobType(Field.DataType))
        Name = QStringLiteral("BLOB");
    if (Field.Size <= 0)
        return Name;
    if (Field.Decimals > 0)
        return QStringLiteral("%1(%2,%3)").arg(Name).arg(Field.Size).arg(Field.Decimals);
    return QStringLiteral("%1(%2)").arg(Name).arg(Field.Size);
}

bool FieldFromDeclaredType(const QString &Declared, TSourceField &Field)
{
    static const QRegularExpression Pattern(
        QStringLiteral("^\\s*([A-Za-z ]+?)\\s*(?:\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\))?\\s*$"));
    const QRegularExpressionMatch Match = Pattern.match(Declared);
    if (!Match.hasMatch())
        return false;
    const QString Name = Match.captured(1).toUpper();
    for (const TTypeName &Entry : TypeNames)
        if (Name == QLatin1String(Entry.Name)) {
            Field.DataType = Entry.Type;
            Field.Size = Match.captured(2).toInt();
            Field.Decimals = Match.captured(3).toInt();
            return true;
        }
    return false;
}

void InferField(TMemoryTable &Table, int Field)
{
    bool Text = false, Blob = false, Real = false, Int = false, Large = false;
    int Length = 0;
    for (int64_t Row = 0, Rows = Table.RowCount(); Row < Rows; ++Row) {
        switch (Table.CellKind(Row, Field)) {
        case TMemoryTable::ckText:
            Text = true;
            Length = std::max(Length, Table.TextLength(Row, Field));
            break;
        case TMemoryTable::ckBlob: Blob = true; break;
        case TMemoryTable::ckDouble: Real = true; break;
        case TMemoryTable::ckInt: {
            Int = true;
            const qint64 Value = Table.Value(Row, Field).toLongLong();
            Large = Large || Value < INT32_MIN || Value > INT32_MAX;
            break;
        }
        case TMemoryTable::ckNull: break;
        }
    }
    TSourceField &Out = Table.MutableFields()[static_cast<size_t>(Field)];
    Out.Decimals = 0;
    if (Text) {
        // dBASE character fields hold at most 254 characters; longer text is a memo.
        Out.DataType = Length > 254 ? ftMemo : ftString;
        Out.Size = Length > 254 ? 0 : std::max(Length, 1);
    } else if (Blob) {
        Out.DataType = ftBlob;
        Out.Size = 0;
    } else if (Real) {
        Out.DataType = ftFloat;
        Out.Size = 8;
    } else if (Int) {
        Out.DataType = Large ? ftLargeint : ftInteger;
        Out.Size = Large ? 8 : 4;
    } else {
        Out.DataType = ftString;
        Out.Size = 1;
    }
}

QString StripTableExtension(const QString &Sql, const QString &Extension)
{
    if (Extension.isEmpty())
        return Sql;
    struct TToken {
        qsizetype Start, End;
        char Kind; // w word, q quoted name, . dot, p other punctuation, x literal
    };
    std::vector<TToken> Tokens;
    const qsizetype N = Sql.size();
    auto IsWordChar = [](QChar C) {
        return C.isLetterOrNumber() || C == QLatin1Char('_') || C == QLatin1Char('$');
    };
    for (qsizetype I = 0; I < N;) {
        const QChar C = Sql[I];
        const qsizetype Start = I;
        if (C.isSpace()) {
            ++I;
        } else if (C == QLatin1Char('-') && I + 1 < N && Sql[I + 1] == QLatin1Char('-')) {
            while (I < N && Sql[I] != QLatin1Char('\n'))
                ++I;
        } else if (C == QLatin1Char('/') && I + 1 < N && Sql[I + 1] == QLatin1Char('*')) {
            const qsizetype Close = Sql.indexOf(QLatin1String("*/"), I + 2);
            I = Close < 0 ? N : Close + 2;
        } else if (C == QLatin1Char('\'') || C == QLatin1Char('"') || C == QLatin1Char('`') ||
                   C == QLatin1Char('[')) {
            const QChar Close = C == QLatin1Char('[') ? QLatin1Char(']') : C;
            ++I;
            while (I < N) {
                if (Sql[I] == Close) {
                    if (Close != QLatin1Char(']') && I + 1 < N && Sql[I + 1] == Close) {
                        I += 2; // doubled quote
                        continue;
                    }
                    ++I;
                    break;
                }
                ++I;
            }
            Tokens.push_back({Start, I, C == QLatin1Char('\'') ? 'x' : 'q'});
        } else if (IsWordChar(C)) {
            while (I < N && IsWordChar(Sql[I]))
                ++I;
            Tokens.push_back({Start, I, C.isDigit() ? 'x' : 'w'});
        } else {
            ++I;
            Tokens.push_back({Start, I, C == QLatin1Char('.') ? '.' : 'p'});
        }
    }
    auto Word = [&](const TToken &T) {
        return T.Kind == 'w' ? Sql.mid(T.Start, T.End - T.Start).toUpper() : QString();
    };
    static const QStringList Opens = {"FROM", "JOIN", "INTO", "UPDATE"};
    static const QStringList Closes = {
        "WHERE", "GROUP",  "ORDER", "SET",    "VALUES",    "ON",     "USING",     "HAVING",
        "LIMIT", "SELECT", "UNION", "EXCEPT", "INTERSECT", "WINDOW", "RETURNING", "DEFAULT"};
    QString Result;
    qsizetype Copied = 0;
    bool InTables = false;
    for (size_t I = 0; I < Tokens.size(); ++I) {
        const QString W = Word(Tokens[I]);
        if (Opens.contains(W)) {
            InTables = true;
            continue;
        }
        const bool Paren = Tokens[I].Kind == 'p' && (Sql[Tokens[I].Start] == QLatin1Char('(') ||
                                                     Sql[Tokens[I].Start] == QLatin1Char(')'));
        if (Paren || Closes.contains(W)) {
            InTables = false;
            continue;
        }
        const bool Named = Tokens[I].Kind == 'w' || Tokens[I].Kind == 'q';
        if (InTables && Named && I + 2 < Tokens.size() && Tokens[I + 1].Kind == '.' &&
            Tokens[I + 2].Kind == 'w' && Word(Tokens[I + 2]) == Extension.toUpper() &&
            (I == 0 || Tokens[I - 1].Kind != '.') &&
            (I + 3 >= Tokens.size() || Tokens[I + 3].Kind != '.')) {
            Result += Sql.mid(Copied, Tokens[I].End - Copied);
            Copied = Tokens[I + 2].End;
            I += 2;
        }
    }
    return Result + Sql.mid(Copied);
}

} // namespace qf::tables
