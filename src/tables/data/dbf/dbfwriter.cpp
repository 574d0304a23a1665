#include "tables/data/dbf/dbfwriter.h"

#include "tables/data/dataset.h"
#include "tables/data/dbf/dbfcodec.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>
#include <cmath>
#include <cstring>

namespace qf::tables {

char DbfTypeLetter(TDbfType Kind)
{
    static constexpr char Letters[] = {'C', 'N', 'D', 'L', 'M'};
    return Kind <= dtM ? Letters[Kind] : 'C';
}

int DbfFieldWidth(TDbfType Kind, int Size)
{
    switch (Kind) {
    case dtN: return 15;
    case dtD: return 8;
    case dtL: return 1;
    case dtM: return 10;
    default: return Size;
    }
}

int DbfFieldDecimals(TDbfType Kind) { return Kind == dtN ? 5 : 0; }

namespace {
// At most 10 characters, upper-cased one to one: QString::toUpper would turn "ß" into "SS".
QString UpperFieldName(const QString &Name)
{
    const std::u32string Codes = Name.toStdU32String();
    QString Upper;
    for (size_t i = 0; i < Codes.size() && i < 10; ++i) {
        const char32_t Code = QChar::toUpper(Codes[i]);
        Upper.append(QString::fromUcs4(&Code, 1));
    }
    return Upper;
}
} // namespace

QByteArray DbfFieldName(const QString &Name)
{
    return CutUtf8(UpperFieldName(Name).toUtf8(), 10).toByteArray();
}

namespace {
// Same base name, the extension in the case of the table's.
QString SideFileName(const QString &TableFileName, const QString &Extension)
{
    const QFileInfo Info(TableFileName);
    const QString Suffix = Info.suffix();
    const bool Upper =
        !Suffix.isEmpty() && Suffix == Suffix.toUpper() && Suffix != Suffix.toLower();
    return Info.path() + QLatin1Char('/') + Info.completeBaseName() + QLatin1Char('.') +
           (Upper ? Extension.toUpper() : Extension);
}
} // namespace

QString DbfMemoFileName(const QString &TableFileName)
{
    return SideFileName(TableFileName, QStringLiteral("dbt"));
}

QString DbfCodePageFileName(const QString &TableFileName)
{
    return SideFileName(TableFileName, QStringLiteral("cpg"));
}

QString DbfFileError(const QFileDevice &File, const QString &Action)
{
    return QStringLiteral("Cannot %1 \"%2\": %3").arg(Action, File.fileName(), File.errorString());
}

bool WriteDbfBytes(QFileDevice &File, const char *Data, qint64 Size)
{
    // A write that stops short sets no error; the next one says why.
    while (Size > 0) {
        const qint64 Done = File.write(Data, Size);
        if (Done <= 0)
            return false;
        Data += Done;
        Size -= Done;
    }
    return true;
}

void WriteDbfCodePageFile(const QString &TableFileName, QByteArrayView Text)
{
    QFile File(DbfCodePageFileName(TableFileName));
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
        !WriteDbfBytes(File, Text.data(), Text.size()))
        throw EDatabaseError(DbfFileError(File, QStringLiteral("write")));
}

namespace {
void WriteAll(QFileDevice &File, const char *Data, qint64 Size)
{
    if (!WriteDbfBytes(File, Data, Size))
        throw EDatabaseError(DbfFileError(File, QStringLiteral("write")));
}

// A field name in the table's code page, within the descriptor's 10 bytes.
QByteArray EncodeFieldName(const QString &Name, const TDbfCodec &Codec)
{
    bool Cut = false;
    const std::optional<QByteArray> Bytes = EncodeDbfText(Codec, UpperFieldName(Name), 10, Cut);
    if (!Bytes)
        throw EDatabaseError(QStringLiteral("The field name \"%1\" holds characters that the "
                                            "table's code page %2 cannot store.")
                                 .arg(Name, QString::fromLatin1(Codec.CodePage())));
    return *Bytes;
}

void CheckFieldDefs(const std::vector<TFieldDefRec> &FieldDefs, const TDbfCodec &Codec)
{
    if (FieldDefs.empty())
        throw EDatabaseError(QStringLiteral("A table needs at least one field."));
    if (FieldDefs.size() > 2046) // the header length is 16 bits
        throw EDatabaseError(QStringLiteral("A dBASE table holds at most 2046 fields."));
    QSet<QByteArray> Names;
    int RecordLength = 1;
    for (const TFieldDefRec &Def : FieldDefs) {
        const QByteArray Name = EncodeFieldName(Def.Name, Codec);
        if (Name.trimmed().isEmpty())
            throw EDatabaseError(QStringLiteral("A field has no name."));
        if (Names.contains(Name))
            throw EDatabaseError(
                QStringLiteral("The field name \"%1\" occurs twice.").arg(Codec.Decode(Name)));
        Names.insert(Name);
        if (Def.Kind > dtM)
            throw EDatabaseError(
                QStringLiteral("The field \"%1\" has an unknown kind.").arg(Def.Name));
        const int Width = DbfFieldWidth(Def.Kind, Def.Size);
        if (Width < 1 || Width > 255)
            throw EDatabaseError(QStringLiteral("The field \"%1\" has the width %2; a character "
                                                "field holds 1 to 254 characters.")
                                     .arg(Def.Name)
                                     .arg(Width));
        RecordLength += Width;
    }
    if (RecordLength > 65535)
        throw EDatabaseError(QStringLiteral("The fields are wider than a dBASE record can be."));
}
} // namespace

void WriteDbfHeader(const QString &FileName, const std::vector<TFieldDefRec> &FieldDefs,
                    const TDbfEncoding &Encoding)
{
    if (!Encoding.Codec.IsValid())
        throw EDatabaseError(QStringLiteral("The code page %1 is not known on this system.")
                                 .arg(QString::fromLatin1(Encoding.Codec.CodePage())));
    CheckFieldDefs(FieldDefs, Encoding.Codec);
    // Names differ by case here: only this table's own files go, never a neighbour like X.dbf of
    // x.DBF.
    const QString MemoName = DbfMemoFileName(FileName);
    QFile::remove(FileName);
    QFile::remove(MemoName);
    QFile::remove(DbfCodePageFileName(FileName));

    bool HasMemo = false;
    int RecordLength = 1;
    for (const TFieldDefRec &Def : FieldDefs) {
        HasMemo |= Def.Kind == dtM;
        RecordLength += DbfFieldWidth(Def.Kind, Def.Size);
    }
    const int n = int(FieldDefs.size());
    QByteArray Header(32 + 32 * n + 2, '\0');
    const QDate Today = QDate::currentDate();
    Header[0] = char(HasMemo ? 0x83 : 0x03);
    Header[1] = char(Today.year() - 1900);
    Header[2] = char(Today.month());
    Header[3] = char(Today.day());
    Header[29] = char(Encoding.LanguageDriver);
    qToLittleEndian<quint16>(quint16(32 * n + 33), Header.data() + 8);
    qToLittleEndian<quint16>(quint16(RecordLength), Header.data() + 10);
    for (int i = 0; i < n; ++i) {
        char *Descriptor = Header.data() + 32 + 32 * i;
        const QByteArray Name = EncodeFieldName(FieldDefs[i].Name, Encoding.Codec);
        std::memcpy(Descriptor, Name.constData(), size_t(Name.size()));
        Descriptor[11] = DbfTypeLetter(FieldDefs[i].Kind);
        Descriptor[16] = char(uint8_t(DbfFieldWidth(FieldDefs[i].Kind, FieldDefs[i].Size)));
        Descriptor[17] = char(DbfFieldDecimals(FieldDefs[i].Kind));
    }
    Header[32 + 32 * n] = 0x0D;
    Header[32 + 32 * n + 1] = 0x1A;

    QFile Table(FileName);
    if (!Table.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw EDatabaseError(DbfFileError(Table, QStringLiteral("create")));
    QFile Memo(MemoName);
    try {
        WriteAll(Table, Header.constData(), Header.size());
        Table.close();
        if (!Encoding.CodePageFile.isEmpty())
            WriteDbfCodePageFile(FileName, Encoding.CodePageFile);
        if (!HasMemo)
            return;
        if (!Memo.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            throw EDatabaseError(DbfFileError(Memo, QStringLiteral("create")));
        QByteArray Block(kDbfMemoBlock, '\0');
        qToLittleEndian<quint32>(1, Block.data());
        WriteAll(Memo, Block.constData(), Block.size());
    } catch (...) {
        // Without its memo file the table could not be opened again, without its code-page file
        // its text could be read wrong: none of them stays.
        Table.close();
        Memo.close();
        QFile::remove(MemoName);
        QFile::remove(DbfCodePageFileName(FileName));
        QFile::remove(FileName);
        throw;
    }
}

QString FormatDbfDate(TDateTime Value)
{
    const QDateTime DateTime = SerialToDateTime(Value);
    if (!DateTime.isValid() || DateTime.date().year() < 1)
        return QString(8, QLatin1Char(' '));
    const QDate Date = DateTime.date();
    return QStringLiteral("%1%2%3")
        .arg(Date.year(), 4, 10, QLatin1Char('0'))
        .arg(Date.month(), 2, 10, QLatin1Char('0'))
        .arg(Date.day(), 2, 10, QLatin1Char('0'));
}

TDbfSourceValue DbfSourceValue(const TField &Field)
{
    TDbfSourceValue Value;
    Value.Kind = MapFieldTypeToDbf(Field.DataType());
    Value.Null = Field.IsNull();
    if (Value.Null)
        return Value;
    Value.Text = Field.AsString();
    switch (Value.Kind) {
    case dtN: Value.Float = Field.AsFloat(); break;
    case dtD: Value.DateTime = Field.AsDateTime(); break;
    case dtL: Value.Boolean = Field.AsBoolean(); break;
    default: break;
    }
    return Value;
}

namespace {
// The text of a number field, already rounded to the field's width.
std::optional<QString> Fixed5(double Value, bool *Rounded)
{
    const std::optional<QByteArray> Text =
        FormatDbfNumber(Value, DbfFieldWidth(dtN, 0), DbfFieldDecimals(dtN), Rounded);
    return Text ? std::optional<QString>(QString::fromLatin1(*Text)) : std::nullopt;
}
} // namespace

std::optional<QString> ConvertDbfValue(TDbfType Target, const TDbfSourceValue &Value, bool *Rounded)
{
    if (Rounded)
        *Rounded = false;
    if (Value.Null)
        return std::nullopt;
    // A memo source converts as a character one.
    const TDbfType Source = Value.Kind == dtM ? dtC : Value.Kind;
    switch (Target) {
    case dtC:
    case dtM:
        switch (Source) {
        case dtN: return FloatToStr(Value.Float);
        case dtD: return DateTimeToStr(Value.DateTime);
        case dtL:
            if (Target == dtM)
                return Value.Boolean ? QStringLiteral("True") : QStringLiteral("False");
            return Value.Boolean ? QStringLiteral("T") : QStringLiteral("F");
        default: return Value.Text;
        }
    case dtN:
        switch (Source) {
        case dtN: return Fixed5(Value.Float, Rounded);
        case dtD: return Fixed5(Value.DateTime, Rounded);
        case dtL: return Fixed5(Value.Boolean ? 1.0 : 0.0, Rounded);
        default: {
            double Number;
            if (!TryStrToFloat(Value.Text, Number))
                return std::nullopt;
            return Fixed5(Number, Rounded);
        }
        }
    case dtD: {
        TDateTime DateTime;
        switch (Source) {
        case dtN: DateTime = Value.Float; break;
        case dtD: DateTime = Value.DateTime; break;
        case dtL: DateTime = Value.Boolean ? 1.0 : 0.0; break;
        default:
            if (!TryStrToDateTime(Value.Text, DateTime))
                return std::nullopt;
        }
        const QString Text = FormatDbfDate(DateTime);
        if (Text.trimmed().isEmpty())
            return std::nullopt;
        return Text;
    }
    case dtL:
        switch (Source) {
        case dtN: return Value.Float == 0 ? QStringLiteral("F") : QStringLiteral("T");
        case dtD: return std::nullopt;
        case dtL: return Value.Boolean ? QStringLiteral("T") : QStringLiteral("F");
        default: {
            const QString Lower = Value.Text.toLower();
            if (Lower == QLatin1String("true") || Lower == QLatin1String("t"))
                return QStringLiteral("T");
            if (Lower == QLatin1String("false") || Lower == QLatin1String("f"))
                return QStringLiteral("F");
            return std::nullopt;
        }
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> FormatDbfNumber(double Value, int Width, int Decimals, bool *Rounded)
{
    if (Rounded)
        *Rounded = false;
    if (!std::isfinite(Value) || Width < 1)
        return std::nullopt;
    const QByteArray Full = QByteArray::number(Value, 'f', std::max(Decimals, 0));
    if (Full.size() <= Width)
        return Full;
    // Fewer decimals, rounded, until the text fits; the digits before the point always stay.
    for (int Kept = Decimals - 1; Kept >= 0; --Kept) {
        QByteArray Text = QByteArray::number(Value, 'f', Kept);
        if (Text.startsWith('-') && Text.count('0') + Text.count('.') == Text.size() - 1)
            Text.remove(0, 1); // nothing but zeros after rounding
        if (Text.size() > Width)
            continue;
        if (Rounded) {
            // Digits are lost unless only zeros (and the point) were dropped.
            const QByteArray Rest = Full.mid(Text.size());
            *Rounded = !Full.startsWith(Text) || Rest.count('0') + Rest.count('.') != Rest.size();
        }
        return Text;
    }
    return std::nullopt;
}

void PlaceDbfField(char *Field, TDbfType Kind, int Width, const QString &Text)
{
    if (Width <= 0)
        return;
    if (Kind == dtN) {
        const QByteArray Bytes = Text.toLatin1().left(Width);
        std::memcpy(Field + Width - Bytes.size(), Bytes.constData(), size_t(Bytes.size()));
        return;
    }
    const QByteArray Bytes = Text.toUtf8();
    const QByteArrayView Cut = CutUtf8(Bytes, Width);
    std::memcpy(Field, Cut.data(), size_t(Cut.size()));
}

void PlaceDbfMemoRef(char *Field, int Width, quint32 Block)
{
    const QByteArray Digits = QByteArray::number(Block).rightJustified(Width, '0', true);
    std::memcpy(Field, Digits.constData(), size_t(Width));
}

quint32 AppendDbfMemo(QFileDevice &Memo, QByteArrayView Text)
{
    qint64 End = Memo.size();
    if (End < kDbfMemoBlock)
        End = kDbfMemoBlock; // block 0 is the header, even in a file cut short
    const qint64 Start = (End + kDbfMemoBlock - 1) / kDbfMemoBlock * kDbfMemoBlock;
    if (Start / kDbfMemoBlock > 0xFFFFFFFFLL)
        throw EDatabaseError(QStringLiteral("The memo file \"%1\" is full.").arg(Memo.fileName()));
    QByteArray Bytes(Start - Memo.size(), '\0');
    Bytes.append(Text.data(), Text.size());
    Bytes.append("\x1A\x1A", 2);
    if (!Memo.seek(Memo.size()))
        throw EDatabaseError(DbfFileError(Memo, QStringLiteral("write")));
    WriteAll(Memo, Bytes.constData(), Bytes.size());
    return quint32(Start / kDbfMemoBlock);
}

void UpdateDbfMemoHeader(QFileDevice &Memo)
{
    const qint64 Blocks = (Memo.size() + kDbfMemoBlock - 1) / kDbfMemoBlock;
    char Next[4];
    qToLittleEndian<quint32>(quint32(std::max<qint64>(Blocks, 1)), Next);
    if (!Memo.seek(0))
        throw EDatabaseError(DbfFileError(Memo, QStringLiteral("write")));
    WriteAll(Memo, Next, 4);
}

} // namespace qf::tables
