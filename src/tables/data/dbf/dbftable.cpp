#include "tables/data/dbf/dbftable.h"

#include "store/textcodec.h"
#include "tables/data/dbf/dbfwriter.h"
#include "tables/data/fieldtypes.h"

#include <QDate>
#include <QFileInfo>
#include <QtEndian>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace qf::tables {

namespace {
// Memo text looked at to tell UTF-8 from Windows-1252 in a table that does not say.
constexpr int64_t kMemoSampleBytes = 256 * 1024;

QString Damaged(const QString &FileName, const QString &What)
{
    return QStringLiteral("The table \"%1\" is damaged: %2.").arg(FileName, What);
}

QByteArrayView Trimmed(QByteArrayView Bytes)
{
    qsizetype Begin = 0, End = Bytes.size();
    while (Begin < End && (Bytes[Begin] == ' ' || Bytes[Begin] == '\0'))
        ++Begin;
    while (End > Begin && (Bytes[End - 1] == ' ' || Bytes[End - 1] == '\0'))
        --End;
    return Bytes.sliced(Begin, End - Begin);
}

// Whether no byte of the block is above 0x7F, eight bytes at a time.
bool IsAsciiBlock(const uchar *Bytes, int64_t Size)
{
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    int64_t At = 0;
    for (; At + 64 <= Size; At += 64) {
        uint64_t Words[8];
        std::memcpy(Words, Bytes + At, sizeof Words);
        uint64_t Any = 0;
        for (const uint64_t Word : Words)
            Any |= Word;
        if (Any & kHigh)
            return false;
    }
    for (; At < Size; ++At)
        if (Bytes[At] & 0x80)
            return false;
    return true;
}

QByteArrayView TrimmedRight(QByteArrayView Bytes)
{
    qsizetype End = Bytes.size();
    // Eight bytes at a time from the end: a bit 5 cleared leaves only blanks and NULs zero.
    for (; End >= 8; End -= 8) {
        uint64_t Word;
        std::memcpy(&Word, Bytes.data() + End - 8, sizeof Word);
        if (const uint64_t Other = Word & 0xDFDFDFDFDFDFDFDFull)
            return Bytes.first(End - 8 + (63 - std::countl_zero(Other)) / 8 + 1);
    }
    while (End > 0 && (Bytes[End - 1] == ' ' || Bytes[End - 1] == '\0'))
        --End;
    return Bytes.first(End);
}

// Digits with an optional minus and decimal point, of at most 15 significant digits and 22
// decimals: both parts are exact as doubles, so one division gives the correctly rounded value, as
// the general conversion would. False when the text has another form.
bool ParseSimpleNumber(QByteArrayView Text, double &Value)
{
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char *p = Text.data(), *End = p + Text.size();
    const bool Negative = p < End && *p == '-';
    p += Negative;
    uint64_t Mantissa = 0;
    int Digits = 0, Decimals = 0;
    const char *Start = p;
    for (; p < End && *p >= '0' && *p <= '9'; ++p, ++Digits)
        Mantissa = Mantissa * 10 + uint64_t(*p - '0');
    if (p == Start)
        return false;
    if (p < End && (*p == '.' || *p == ',')) {
        const char *Point = ++p;
        for (; p < End && *p >= '0' && *p <= '9'; ++p, ++Digits)
            Mantissa = Mantissa * 10 + uint64_t(*p - '0');
        Decimals = int(p - Point);
        if (Decimals == 0)
            return false;
    }
    if (p != End || Digits > 15 || Decimals > 22)
        return false;
    const double Number = double(Mantissa) / kPowers[Decimals];
    Value = Negative ? -Number : Number;
    return true;
}

bool ParseNumber(QByteArrayView Bytes, double &Value)
{
    const QByteArrayView Text = Trimmed(Bytes);
    if (Text.isEmpty() || Text.size() > 64)
        return false;
    if (ParseSimpleNumber(Text, Value))
        return true;
    char Buffer[65];
    int n = 0;
    for (char c : Text)
        Buffer[n++] = c == ',' ? '.' : c;
    const char *Begin = Buffer;
    if (*Begin == '+')
        ++Begin;
    const auto [End, Error] = std::from_chars(Begin, Buffer + n, Value);
    return Error == std::errc() && End == Buffer + n && std::isfinite(Value);
}

int Digit(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

// A block number beyond any memo file: a reference with more digits than a block number has.
constexpr int64_t kBeyondAnyMemo = int64_t(1) << 40;

// The block a memo field refers to: 0 for none, -1 for bytes that are no block number.
int64_t MemoBlockOf(QByteArrayView Ref)
{
    const QByteArrayView Digits = Trimmed(Ref);
    if (Digits.isEmpty())
        return 0;
    if (Ref.size() == 4 && Digit(Digits[0]) < 0)
        return qFromLittleEndian<quint32>(Ref.data()); // FoxPro keeps the number in binary
    int64_t Block = 0;
    for (char c : Digits) {
        if (Digit(c) < 0)
            return -1;
        Block = Block * 10 + Digit(c);
        if (Block > 0xFFFFFFFFLL)
            return kBeyondAnyMemo;
    }
    return Block;
}

QDate ParseDate(QByteArrayView Bytes)
{
    if (Bytes.size() < 8)
        return {};
    int Parts[8];
    for (int i = 0; i < 8; ++i)
        if ((Parts[i] = Digit(Bytes[i])) < 0)
            return {};
    const int Year = Parts[0] * 1000 + Parts[1] * 100 + Parts[2] * 10 + Parts[3];
    return QDate(Year, Parts[4] * 10 + Parts[5],
                 Parts[6] * 10 + Parts[7]); // invalid (null) for 00000000
}

// The serial day of a stored date as DateToSerial(ParseDate(Bytes)) gives it, without a QDate:
// the proleptic Gregorian calendar without a year 0, 0 for an empty or impossible date.
double ParseDateSerial(QByteArrayView Bytes)
{
    if (Bytes.size() < 8)
        return 0.0;
    int Parts[8];
    for (int i = 0; i < 8; ++i)
        if ((Parts[i] = Digit(Bytes[i])) < 0)
            return 0.0;
    int Year = Parts[0] * 1000 + Parts[1] * 100 + Parts[2] * 10 + Parts[3];
    const int Month = Parts[4] * 10 + Parts[5], Day = Parts[6] * 10 + Parts[7];
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool Leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
    if (Year < 1 || Month < 1 || Month > 12 || Day < 1 ||
        Day > kDays[Month - 1] + (Month == 2 && Leap))
        return 0.0;
    // Days from 1 March of year 0 (the year starting in March puts the leap day last).
    Year -= Month <= 2;
    const int Era = Year / 400, YearOfEra = Year - Era * 400;
    const int DayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const int DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
    constexpr int kEpoch = 693899; // 30 December 1899 counted so
    return double(Era * 146097 + DayOfEra - kEpoch);
}

QVariant ParseLogical(QByteArrayView Bytes)
{
    if (Bytes.isEmpty())
        return {};
    switch (Bytes[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y': return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n': return false;
    default: return {};
    }
}

TFieldType FieldTypeOf(char Type)
{
    switch (Type) {
    case 'N':
    case 'F': return ftFloat;
    case 'D': return ftDate;
    case 'L': return ftBoolean;
    case 'M': return ftMemo;
    default: return ftString;
    }
}

// A file beside the table (Preferred: its extension in the case of the table's); one whose
// extension is in the other case will do.
QString SideFile(const QString &Preferred)
{
    if (QFileInfo::exists(Preferred))
        return Preferred;
    const qsizetype Dot = Preferred.lastIndexOf(QLatin1Char('.'));
    const QString Extension = Preferred.mid(Dot + 1);
    const QString Other =
        Preferred.left(Dot + 1) +
        (Extension == Extension.toLower() ? Extension.toUpper() : Extension.toLower());
    return QFileInfo::exists(Other) ? Other : Preferred;
}

QString MemoFileName(const QString &FileName) { return SideFile(DbfMemoFileName(FileName)); }

// The ".cpg" file beside the table, empty when there is none.
QString FindCodePageFile(const QString &FileName)
{
    const QString Name = SideFile(DbfCodePageFileName(FileName));
    return QFileInfo::exists(Name) ? Name : QString();
}

} // namespace

TDbfTable::TDbfTable(const QString &FileName) : FFileName(FileName)
{
    MapFiles();
    for (size_t f = 0; f < FLayout.size(); ++f)
        if (FLayout[f].Type == 'M')
            FMemoFields.push_back(int(f));
    FMemoNext = FMemoFields.empty() || FFileRows == 0 ? -1 : 0;
    // The first block past the end of the memo file, in ten digits, for CountMemos. The memo
    // file only grows while the table is open, so a limit taken now never says too much.
    if (FMemoNext == 0) {
        const QByteArray Limit =
            QByteArray::number((FMemoSize + FMemoBlock - 1) / FMemoBlock).rightJustified(10, '0');
        FMemoQuick = Limit.size() == 10;
        FMemoLimitHigh = qFromBigEndian<quint64>(Limit.constData());
        FMemoLimitLow = qFromBigEndian<quint16>(Limit.constData() + 8);
    }
}

QString TDbfTable::Warning() const
{
    while (FMemoNext >= 0)
        CountMemos(FMemoNext);
    // Zeros read where another program cut the file count nothing; the reads say so.
    const int64_t Count = FMemosPastEnd;
    const QString Memos =
        Count == 0   ? QString()
        : Count == 1 ? QStringLiteral("The memo file \"%1\" is damaged: one memo of the table "
                                      "\"%2\" refers to a place past its end and reads as empty.")
                           .arg(FMemoName, FFileName)
                     : QStringLiteral("The memo file \"%1\" is damaged: %2 memos of the table "
                                      "\"%3\" refer to places past its end and read as empty.")
                           .arg(FMemoName)
                           .arg(Count)
                           .arg(FFileName);
    if (Memos.isEmpty() || FWarning.isEmpty())
        return FWarning + Memos;
    return FWarning + QStringLiteral("\n\n") + Memos;
}

bool TDbfTable::MemoPastEnd(QByteArrayView Ref) const
{
    const int64_t Block = MemoBlockOf(Ref);
    return Block > 0 && Block * FMemoBlock >= FMemoSize;
}

bool TDbfTable::MemoPastEnd(int64_t Row, int Field, QString *Reference) const
{
    if (Row < 0 || Row >= FFileRows || Field < 0 || size_t(Field) >= FLayout.size() ||
        FLayout[size_t(Field)].Type != 'M' || PendingValue(Row, Field))
        return false;
    const QByteArrayView Ref = Raw(Row, Field);
    const bool Past = MemoPastEnd(Ref);
    if (Past && Reference) {
        const int64_t Block = MemoBlockOf(Ref);
        *Reference =
            Block == kBeyondAnyMemo ? QString::fromLatin1(Trimmed(Ref)) : QString::number(Block);
    }
    CheckIntact();
    return Past;
}

void TDbfTable::CountMemos(int64_t Row) const
{
    FMemoNext = Row + 1 < FFileRows ? Row + 1 : -1;
    const uchar *Record = FData + FHeaderLength + Row * FRecordLength;
    // Deleted records are not shown, and what they lost matters to no one.
    if (*Record == '*')
        return;
    // Ten bytes are told at once, as two big-endian numbers with the bits of '0' set in each: a
    // reference of digits, blanks and zero bytes then reads as large as its number or larger
    // (the padding of a left-aligned one), so one below the limit cannot point past the end,
    // and bytes that are no reference point nowhere. Every other reference is read the long way.
    constexpr quint64 kZone = 0x3030303030303030ull; // ' ' and '\0' become '0'; digits stay
    for (const int f : FMemoFields) {
        const TLayout &Layout = FLayout[size_t(f)];
        if (FMemoQuick && Layout.Width == 10) {
            const uchar *Ref = Record + Layout.Offset;
            const quint64 High = qFromBigEndian<quint64>(Ref) | kZone;
            const quint16 Low = quint16(qFromBigEndian<quint16>(Ref + 8) | 0x3030);
            if (High < FMemoLimitHigh || (High == FMemoLimitHigh && Low < FMemoLimitLow))
                continue;
        }
        FMemosPastEnd += MemoPastEnd(Raw(Row, f));
    }
}

TDbfTable::~TDbfTable() { Unmap(); }

void TDbfTable::Unmap()
{
    FDataMap.Unmap();
    FMemoMap.Unmap();
    FData = FMemoData = nullptr;
    FFile.reset();
    FMemo.reset();
}

void TDbfTable::MapFiles()
{
    // Until the end nothing is readable: a failure leaves a table without records (and the field
    // list a dataset may still hold), never a map that is gone.
    Unmap();
    FFileRows = 0;
    FMemoSize = 0;
    FFile = std::make_unique<QFile>(FFileName);
    if (!FFile->open(QIODevice::ReadOnly))
        throw EDatabaseError(DbfFileError(*FFile, QStringLiteral("open")));
    FSize = FFile->size();
    if (FSize < 33)
        throw EDatabaseError(
            QStringLiteral("\"%1\" is not a dBASE table: the file is too short.").arg(FFileName));
    FLost = false;
    FData = FDataMap.Map(*FFile, FSize, FLost);
    if (!FData)
        throw EDatabaseError(DbfFileError(*FFile, QStringLiteral("read")));

    FVersion = FData[0];
    if (FVersion == 0x04 || FVersion == 0x8C)
        throw EDatabaseError(
            QStringLiteral("\"%1\" is a dBASE 7 table, which this program cannot read.")
                .arg(FFileName));
    const int64_t HeaderCount = qFromLittleEndian<quint32>(FData + 4);
    const int HeaderLength = qFromLittleEndian<quint16>(FData + 8);
    const int RecordLength = qFromLittleEndian<quint16>(FData + 10);
    if (HeaderLength < 33 || HeaderLength > FSize)
        throw EDatabaseError(Damaged(
            FFileName, QStringLiteral("its header length %1 does not fit the file of %2 bytes")
                           .arg(HeaderLength)
                           .arg(FSize)));

    std::vector<TSourceField> Fields;
    std::vector<TLayout> Layouts;
    std::vector<QByteArray> Names;
    int Offset = 1;
    for (int At = 32; At + 32 <= HeaderLength && FData[At] != 0x0D; At += 32) {
        const uchar *Descriptor = FData + At;
        TLayout Layout;
        Layout.Type = char(Descriptor[11]);
        Layout.Width = Descriptor[16];
        Layout.Decimals = Descriptor[17];
        Layout.Offset = Offset;
        Offset += Layout.Width;
        TSourceField Field;
        const auto *NameBytes = reinterpret_cast<const char *>(Descriptor);
        Names.emplace_back(NameBytes, qsizetype(strnlen(NameBytes, 11)));
        Field.DataType = FieldTypeOf(Layout.Type);
        Field.Size = Layout.Width;
        Field.Decimals = Layout.Type == 'N' || Layout.Type == 'F' ? Layout.Decimals : 0;
        Fields.push_back(Field);
        Layouts.push_back(Layout);
    }
    if (Fields.empty())
        throw EDatabaseError(Damaged(FFileName, QStringLiteral("it describes no fields")));
    if (Offset > RecordLength)
        throw EDatabaseError(
            Damaged(FFileName, QStringLiteral("its fields need %1 bytes but a record has %2")
                                   .arg(Offset)
                                   .arg(RecordLength)));
    if (Offset == 1)
        throw EDatabaseError(
            Damaged(FFileName, QStringLiteral("all its fields have a width of 0")));
    if (!FFields.empty() && Fields.size() != FFields.size())
        throw EDatabaseError(
            QStringLiteral("The fields of the table \"%1\" were changed by another program.")
                .arg(FFileName));

    bool HasMemo = false;
    for (const TLayout &Layout : Layouts)
        HasMemo |= Layout.Type == 'M';
    FMemoName.clear();
    if (HasMemo)
        MapMemo();
    std::memcpy(FCountsSeen, FData + 4, sizeof FCountsSeen);
    CheckIntact();
    FHeaderLength = HeaderLength;
    FRecordLength = RecordLength;
    FFields = std::move(Fields);
    FLayout = std::move(Layouts);
    // A count beyond the file is a lie: only the whole records up to the first one that is no
    // record (a sparse or zeroed tail) are read, and the user is told. The count itself is never
    // trusted for memory or time.
    const int64_t Whole = (FSize - FHeaderLength) / FRecordLength;
    FWarning.clear();
    if (HeaderCount > Whole) {
        int64_t Rows = 0;
        for (const uchar *Flag = FData + FHeaderLength;
             Rows < Whole && (*Flag == ' ' || *Flag == '*'); Flag += FRecordLength)
            ++Rows;
        FFileRows = Rows;
        CheckIntact();
        FWarning = Damaged(
            FFileName, QStringLiteral("its header promises %1 records, but only %2 could be read")
                           .arg(HeaderCount)
                           .arg(Rows));
    } else {
        FFileRows = HeaderCount;
    }

    // The code page stays as first decided, also when the files are read again after a write.
    const QString CodePageFile = FindCodePageFile(FFileName);
    FCodePageFile = !CodePageFile.isEmpty();
    FLanguageDriver = FData[29];
    FCodePageText.clear();
    if (FCodePageFile) {
        QFile Cpg(CodePageFile);
        if (Cpg.open(QIODevice::ReadOnly))
            FCodePageText = Cpg.read(64);
    }
    if (!FCodec) {
        QByteArray CodePage = TDbfCodec::LanguageDriverCodePage(FLanguageDriver);
        if (CodePage.isEmpty() && FCodePageFile)
            CodePage = TDbfCodec::CpgCodePage(FCodePageText);
        FCodecMarked = !CodePage.isEmpty();
        if (FCodecMarked)
            FCodec = TDbfCodec(CodePage);
    }
    // ASCII names need no decision on the code page, which may read the whole table.
    for (size_t f = 0; f < FFields.size(); ++f)
        FFields[f].Name =
            (store::IsAscii(Names[f]) ? QString::fromLatin1(Names[f]) : Codec().Decode(Names[f]))
                .trimmed();
    CheckIntact();
}

const TDbfCodec &TDbfTable::Codec() const
{
    if (FCodecKnown.load(std::memory_order_acquire)) [[likely]]
        return *FCodec;
    std::call_once(FCodecDecided, [this] {
        if (!FCodec)
            FCodec = DetectCodec();
        FCodecKnown.store(true, std::memory_order_release);
    });
    return *FCodec;
}

TDbfEncoding TDbfTable::Encoding() const
{
    TDbfEncoding Encoding;
    Encoding.LanguageDriver = FLanguageDriver;
    Encoding.Codec = Codec();
    if (FCodecMarked)
        Encoding.CodePageFile = FCodePageText;
    else if (Encoding.Codec.IsUtf8())
        Encoding.CodePageFile = "UTF-8";
    else
        Encoding.CodePageFile = "1252"; // the only other code page DetectCodec decides on
    return Encoding;
}

void TDbfTable::PassedRows(int64_t From, int64_t To) const
{
    From = std::clamp<int64_t>(From, 0, FFileRows);
    To = std::clamp<int64_t>(To, From, FFileRows);
    FDataMap.Release(FData + FHeaderLength + From * FRecordLength,
                     FData + FHeaderLength + To * FRecordLength);
}

TDbfCodec TDbfTable::DetectCodec() const
{
    bool Utf8 = true;
    for (int At = 32; Utf8 && At + 32 <= FHeaderLength && FData[At] != 0x0D; At += 32) {
        const auto *Name = reinterpret_cast<const char *>(FData + At);
        Utf8 = store::IsValidUtf8(QByteArrayView(Name, qsizetype(strnlen(Name, 11))));
    }
    // Records without a byte above 0x7F (most tables) hold only ASCII text: one pass over the
    // records decides that, a stretch at a time, whose pages may go once read.
    bool AsciiRecords = true;
    for (int64_t Row = 0; AsciiRecords && Row < FFileRows; Row += kPassStretch) {
        const int64_t End = std::min(FFileRows, Row + kPassStretch);
        AsciiRecords =
            IsAsciiBlock(FData + FHeaderLength + Row * FRecordLength, (End - Row) * FRecordLength);
        PassedRows(Row, End);
    }
    // The memo file may be many times the table's size: only the first memos are looked at.
    int64_t MemoBytesLeft = kMemoSampleBytes;
    for (int64_t Row = 0; Utf8 && Row < FFileRows; ++Row) {
        if (Row % kPassStretch == 0 && Row > 0)
            PassedRows(Row - kPassStretch, Row);
        for (size_t f = 0; Utf8 && f < FLayout.size(); ++f) {
            const char Type = FLayout[f].Type;
            if (Type == 'C' && !AsciiRecords) {
                Utf8 = store::IsValidUtf8(TrimmedRight(Raw(Row, int(f))));
            } else if (Type == 'M' && MemoBytesLeft > 0 && !Trimmed(Raw(Row, int(f))).isEmpty()) {
                const QByteArrayView Memo = MemoBytes(Raw(Row, int(f)));
                Utf8 = store::IsValidUtf8(Memo);
                MemoBytesLeft -= std::max<qsizetype>(Memo.size(), 1);
                FMemosSampled = MemoBytesLeft <= 0;
            }
            if (AsciiRecords && MemoBytesLeft <= 0)
                Row = FFileRows; // nothing more to look at
        }
    }
    if (!Utf8)
        FMemosSampled = false;
    CheckIntact();
    return Utf8 ? TDbfCodec() : TDbfCodec(QByteArrayLiteral("WINDOWS-1252"));
}

void TDbfTable::MapMemo()
{
    FMemoName = MemoFileName(FFileName);
    FMemo = std::make_unique<QFile>(FMemoName);
    if (!FMemo->open(QIODevice::ReadOnly))
        throw EDatabaseError(
            QStringLiteral("The memo file of the table \"%1\" cannot be opened: %2")
                .arg(FFileName, FMemo->errorString()));
    FMemoSize = FMemo->size();
    FMemoData = FMemoSize > 0 ? FMemoMap.Map(*FMemo, FMemoSize, FLost) : nullptr;
    if (FMemoSize > 0 && !FMemoData)
        throw EDatabaseError(DbfFileError(*FMemo, QStringLiteral("read")));
    FMemoDb4 = (FData[0] & 0x08) != 0; // 0x8B, 0x8E, 0xCB: dBASE IV memo blocks
    FMemoBlock = kDbfMemoBlock;
    if (FMemoDb4 && FMemoSize >= 22) {
        const int Block = qFromLittleEndian<quint16>(FMemoData + 20);
        if (Block >= 64 && Block % 64 == 0)
            FMemoBlock = Block;
    }
}

void TDbfTable::ThrowCutShort() const
{
    // Name the file that lost its end: the memo file when only it is shorter than its map.
    const bool MemoCut = !FMemoName.isEmpty() && QFileInfo(FMemoName).size() < FMemoSize &&
                         QFileInfo(FFileName).size() >= FSize;
    throw EDatabaseError(
        QStringLiteral(
            "The %1 \"%2\" was cut short by another program while it was open. Open it again.")
            .arg(MemoCut ? QStringLiteral("memo file") : QStringLiteral("table"),
                 MemoCut ? FMemoName : FFileName));
}

void TDbfTable::CheckRow(int64_t Row) const
{
    if (Row < 0 || Row >= RowCount())
        throw EDatabaseError(
            QStringLiteral("Row %1 is not in the table \"%2\".").arg(Row).arg(FFileName));
}

bool TDbfTable::IsDeleted(int64_t Row) const
{
    if (Row == FMemoNext) // the record is at hand: its memos are counted in the same read
        CountMemos(Row);
    if (!FDeleted.empty() && FDeleted.count(Row))
        return true;
    if (Row < 0 || Row >= FFileRows)
        return false;
    const bool Deleted = FData[FHeaderLength + Row * FRecordLength] == '*';
    CheckIntact();
    return Deleted;
}

QByteArrayView TDbfTable::Raw(int64_t Row, int Field) const
{
    const TLayout &Layout = FLayout[size_t(Field)];
    return QByteArrayView(
        reinterpret_cast<const char *>(FData + FHeaderLength + Row * FRecordLength + Layout.Offset),
        Layout.Width);
}

const QVariant *TDbfTable::PendingValue(int64_t Row, int Field) const
{
    if (FPending.empty())
        return nullptr;
    const auto It = FPending.find(Row);
    if (It == FPending.end() || !It->second.Set[size_t(Field)])
        return nullptr;
    return &It->second.Values[size_t(Field)];
}

QByteArrayView TDbfTable::MemoBytes(QByteArrayView Ref) const
{
    const int64_t Block = MemoBlockOf(Ref);
    if (Block <= 0 || !FMemoData)
        return {};
    const int64_t Start = Block * FMemoBlock;
    if (Start >= FMemoSize) // past the end: the open warned of it, and a copy asks first
        return {};
    const uchar *p = FMemoData + Start;
    const int64_t Available = FMemoSize - Start;
    if (Available >= 8 && p[0] == 0xFF && p[1] == 0xFF && p[2] == 0x08 && p[3] == 0x00) {
        const int64_t Length = qFromLittleEndian<quint32>(p + 4);
        const int64_t End = std::min<int64_t>(std::max<int64_t>(Length, 8), Available);
        return QByteArrayView(reinterpret_cast<const char *>(p + 8), End - 8);
    }
    // dBASE III ends a text with two 0x1A; a single one belongs to the text, unless only padding
    // follows it to the end of its block (as some writers end it).
    const QByteArrayView Rest(reinterpret_cast<const char *>(p), Available);
    for (qsizetype Stop = Rest.indexOf('\x1A'); Stop >= 0; Stop = Rest.indexOf('\x1A', Stop + 1)) {
        const qsizetype BlockEnd =
            std::min<qsizetype>(Rest.size(), (Stop / FMemoBlock + 1) * FMemoBlock);
        qsizetype Next = Stop + 1;
        if (Next < Rest.size() && Rest[Next] == '\x1A')
            return Rest.first(Stop);
        while (Next < BlockEnd && Rest[Next] == '\0')
            ++Next;
        if (Next == BlockEnd)
            return Rest.first(Stop);
    }
    return Rest;
}

QVariant TDbfTable::Decode(int64_t Row, int Field) const
{
    if (Row < 0 || Row >= FFileRows)
        return {};
    QVariant Value = DecodeRaw(Row, Field);
    CheckIntact();
    return Value;
}

QVariant TDbfTable::DecodeRaw(int64_t Row, int Field) const
{
    const QByteArrayView Bytes = Raw(Row, Field);
    switch (FLayout[size_t(Field)].Type) {
    case 'N':
    case 'F': {
        double Number;
        return ParseNumber(Bytes, Number) ? QVariant(Number) : QVariant();
    }
    case 'D': {
        const QDate Date = ParseDate(Bytes);
        return Date.isValid() ? QVariant(Date) : QVariant();
    }
    case 'L': return ParseLogical(Trimmed(Bytes));
    case 'M': {
        if (Trimmed(Bytes).isEmpty())
            return {};
        // An empty or blank text is no value, as in a character field.
        const QByteArrayView Text = MemoBytes(Bytes);
        if (TrimmedRight(Text).isEmpty())
            return {};
        // Deciding the encoding first tells whether only the first memos were looked at.
        const TDbfCodec &Memos = Codec();
        if (FMemosSampled && !store::IsValidUtf8(Text)) {
            static const TDbfCodec Windows1252(QByteArrayLiteral("WINDOWS-1252"));
            return QVariant(Windows1252.Decode(Text));
        }
        return QVariant(Memos.Decode(Text));
    }
    default: {
        const QByteArrayView Text = TrimmedRight(Bytes);
        return Text.isEmpty() ? QVariant() : QVariant(Codec().Decode(Text));
    }
    }
}

QVariant TDbfTable::Value(int64_t Row, int Field) const
{
    if (const QVariant *Pending = PendingValue(Row, Field))
        return *Pending;
    return Decode(Row, Field);
}

bool TDbfTable::IsNull(int64_t Row, int Field) const
{
    if (const QVariant *Pending = PendingValue(Row, Field))
        return !Pending->isValid();
    if (Row < 0 || Row >= FFileRows)
        return true;
    const QByteArrayView Bytes = Raw(Row, Field);
    bool Null;
    switch (FLayout[size_t(Field)].Type) {
    case 'N':
    case 'F': {
        double Number;
        Null = !ParseNumber(Bytes, Number);
        break;
    }
    case 'D': Null = !ParseDate(Bytes).isValid(); break;
    case 'L': Null = !ParseLogical(Trimmed(Bytes)).isValid(); break;
    case 'M': return !Decode(Row, Field).isValid();
    default: Null = TrimmedRight(Bytes).isEmpty();
    }
    CheckIntact();
    return Null;
}

QString TDbfTable::AsString(int64_t Row, int Field) const
{
    if (PendingValue(Row, Field) || Row < 0 || Row >= FFileRows)
        return Value(Row, Field).toString();
    switch (FLayout[size_t(Field)].Type) {
    case 'N':
    case 'F':
    case 'D':
    case 'L':
    case 'M': return Decode(Row, Field).toString();
    default: {
        QString Text = Codec().Decode(TrimmedRight(Raw(Row, Field)));
        CheckIntact();
        return Text;
    }
    }
}

double TDbfTable::AsFloat(int64_t Row, int Field) const
{
    const char Type = FLayout[size_t(Field)].Type;
    if (PendingValue(Row, Field) || Row < 0 || Row >= FFileRows || (Type != 'N' && Type != 'F'))
        return Value(Row, Field).toDouble();
    double Number;
    if (!ParseNumber(Raw(Row, Field), Number))
        Number = 0.0;
    CheckIntact();
    return Number;
}

long double TDbfTable::AsExtended(int64_t Row, int Field) const
{
    const char Type = FLayout[size_t(Field)].Type;
    if (PendingValue(Row, Field) || Row < 0 || Row >= FFileRows || (Type != 'N' && Type != 'F'))
        return expr::DoubleToExtended(AsFloat(Row, Field));
    // The stored digits themselves: a double in between would round them twice.
    const QByteArrayView Text = Trimmed(Raw(Row, Field));
    long double Number = 0;
    bool Ok;
    if (const qsizetype Comma = Text.indexOf(','); Comma >= 0 && Text.size() <= 64) {
        char Buffer[64];
        std::memcpy(Buffer, Text.data(), size_t(Text.size()));
        Buffer[Comma] = '.';
        Ok = expr::DecimalToExtended(Buffer, Buffer + Text.size(), Number);
    } else {
        Ok = Text.size() <= 64 && expr::DecimalToExtended(Text.begin(), Text.end(), Number);
    }
    CheckIntact();
    // Beyond a double's range the field holds no number, as AsFloat and IsNull say.
    return Ok && std::fabs(Number) <= std::numeric_limits<double>::max() ? Number : 0.0L;
}

bool TDbfTable::AsDate(int64_t Row, int Field, double &Serial) const
{
    if (FLayout[size_t(Field)].Type != 'D' || Row < 0 || Row >= FFileRows ||
        PendingValue(Row, Field))
        return false;
    Serial = ParseDateSerial(Raw(Row, Field));
    CheckIntact();
    return true;
}

bool TDbfTable::ReadText(int64_t Row, int Field, QString &Text) const
{
    if (FLayout[size_t(Field)].Type != 'C' || Row < 0 || Row >= FFileRows ||
        PendingValue(Row, Field))
        return false;
    const QByteArrayView Bytes = TrimmedRight(Raw(Row, Field));
    const qsizetype Size = Bytes.size();
    if (Size == 0) {
        Text = QString();
    } else if (store::IsAscii(Bytes)) {
        Text = QLatin1String(Bytes.data(), Size); // into the buffer it holds when that is enough
    } else {
        Text = Codec().Decode(Bytes);
    }
    CheckIntact();
    return true;
}

bool TDbfTable::AsciiText(int64_t Row, int Field, QByteArrayView &Text) const
{
    if (FLayout[size_t(Field)].Type != 'C' || Row < 0 || Row >= FFileRows ||
        PendingValue(Row, Field))
        return false;
    Text = TrimmedRight(Raw(Row, Field));
    const bool Ascii = store::IsAscii(Text);
    CheckIntact();
    return Ascii;
}

QVariant TDbfTable::Normalize(int Field, const QVariant &Value) const
{
    if (!Value.isValid() || Value.isNull())
        return {};
    const TLayout &Layout = FLayout[size_t(Field)];
    const QString &Name = FFields[size_t(Field)].Name;
    switch (Layout.Type) {
    case 'C':
    case 'M': {
        QString Text =
            Value.typeId() == QMetaType::Double ? FloatToStr(Value.toDouble()) : Value.toString();
        if (Layout.Type == 'C') {
            while (Text.endsWith(QLatin1Char(' '))) // the field is blank-filled anyway
                Text.chop(1);
        }
        // Blank text is no value, in a memo as in a character field.
        if (std::all_of(Text.cbegin(), Text.cend(), [](QChar c) { return c == QLatin1Char(' '); }))
            return {};
        const std::optional<QByteArray> Bytes = Codec().Encode(Text);
        if (!Bytes)
            throw EDatabaseError(QStringLiteral("The text for the field \"%1\" holds characters "
                                                "that the table's code page %2 cannot store.")
                                     .arg(Name, QString::fromLatin1(Codec().CodePage())));
        if (Layout.Type == 'M' && !FMemoDb4 && Bytes->contains('\x1A'))
            throw EDatabaseError(
                QStringLiteral("The text for the field \"%1\" holds the character 1A (hex), which "
                               "would end it early in this table's memo file.")
                    .arg(Name));
        if (Layout.Type == 'C' && Bytes->size() > Layout.Width)
            throw EDatabaseError(
                QStringLiteral(
                    "The text \"%1\" is too long for the field \"%2\", which holds %3 bytes.")
                    .arg(Text, Name)
                    .arg(Layout.Width));
        return Text;
    }
    case 'N':
    case 'F': {
        double Number = 0;
        bool Ok = false;
        if (Value.typeId() == QMetaType::QString)
            Ok = TryStrToFloat(Value.toString(), Number);
        else if (Value.typeId() == QMetaType::Bool)
            Number = Value.toBool() ? 1 : 0, Ok = true;
        else
            Number = Value.toDouble(&Ok);
        if (!Ok || !std::isfinite(Number))
            throw EDatabaseError(
                QStringLiteral("\"%1\" is not a valid number for the field \"%2\".")
                    .arg(Value.toString(), Name));
        const QByteArray Text = QByteArray::number(Number, 'f', Layout.Decimals);
        if (Text.size() > Layout.Width)
            throw EDatabaseError(
                QStringLiteral(
                    "The number %1 does not fit the field \"%2\" (%3 characters, %4 decimals).")
                    .arg(QString::fromLatin1(Text), Name)
                    .arg(Layout.Width)
                    .arg(Layout.Decimals));
        return Number;
    }
    case 'D': {
        QDate Date;
        switch (Value.typeId()) {
        case QMetaType::QDate: Date = Value.toDate(); break;
        case QMetaType::QDateTime: Date = Value.toDateTime().date(); break;
        case QMetaType::QString: {
            TDateTime Serial;
            if (TryStrToDateTime(Value.toString(), Serial))
                Date = SerialToDateTime(Serial).date();
            break;
        }
        default: {
            bool Ok = false;
            const double Serial = Value.toDouble(&Ok);
            if (Ok)
                Date = SerialToDateTime(Serial).date();
        }
        }
        if (!Date.isValid() || Date.year() < 1 || Date.year() > 9999)
            throw EDatabaseError(QStringLiteral("\"%1\" is not a valid date for the field \"%2\".")
                                     .arg(Value.toString(), Name));
        return Date;
    }
    case 'L':
        if (Value.typeId() == QMetaType::QString) {
            const QVariant Logical = ParseLogical(Value.toString().trimmed().toLatin1());
            if (!Logical.isValid())
                throw EDatabaseError(
                    QStringLiteral("\"%1\" is not a valid logical value for the field \"%2\".")
                        .arg(Value.toString(), Name));
            return Logical;
        }
        return Value.toBool();
    default:
        throw EDatabaseError(
            QStringLiteral("The field \"%1\" has the type \"%2\", which this program cannot write.")
                .arg(Name, QChar::fromLatin1(Layout.Type)));
    }
}

void TDbfTable::ValidateValue(int Field, const QVariant &Value) const
{
    if (Field < 0 || Field >= int(FFields.size()))
        throw EDatabaseError(
            QStringLiteral("The table \"%1\" has no field number %2.").arg(FFileName).arg(Field));
    (void)Normalize(Field, Value);
}

void TDbfTable::SetValue(int64_t Row, int Field, const QVariant &Value)
{
    CheckRow(Row);
    ValidateValue(Field, Value);
    if (IsDeleted(Row))
        throw EDatabaseError(QStringLiteral("The record was deleted."));
    QVariant Stored = Normalize(Field, Value);
    TPendingRow &Pending = FPending[Row];
    if (Pending.Set.empty()) {
        Pending.Values.resize(FFields.size());
        Pending.Set.resize(FFields.size(), 0);
    }
    Pending.Values[size_t(Field)] = std::move(Stored);
    Pending.Set[size_t(Field)] = 1;
}

int64_t TDbfTable::AppendRow()
{
    const int64_t Row = RowCount();
    if (Row >= 0xFFFFFFFFLL)
        throw EDatabaseError(QStringLiteral("The table \"%1\" is full.").arg(FFileName));
    ++FAppended;
    TPendingRow &Pending = FPending[Row];
    Pending.Values.assign(FFields.size(), QVariant());
    Pending.Set.assign(FFields.size(), 1);
    return Row;
}

void TDbfTable::DeleteRow(int64_t Row)
{
    CheckRow(Row);
    FDeleted.insert(Row);
}

void TDbfTable::CancelUpdates()
{
    FPending.clear();
    FDeleted.clear();
    FAppended = 0;
}

QByteArray TDbfTable::BuildRecord(int64_t Row, std::vector<std::pair<int, QByteArray>> &Memos) const
{
    QByteArray Record;
    if (Row < FFileRows)
        Record =
            QByteArray(reinterpret_cast<const char *>(FData + FHeaderLength + Row * FRecordLength),
                       FRecordLength);
    else
        Record = QByteArray(FRecordLength, ' ');
    if (IsDeleted(Row))
        Record[0] = '*';
    const auto It = FPending.find(Row);
    if (It == FPending.end())
        return Record;
    for (size_t f = 0; f < FFields.size(); ++f) {
        if (!It->second.Set[f])
            continue;
        const TLayout &Layout = FLayout[f];
        char *Field = Record.data() + Layout.Offset;
        std::memset(Field, ' ', size_t(Layout.Width));
        const QVariant &Value = It->second.Values[f];
        if (!Value.isValid())
            continue;
        switch (Layout.Type) {
        case 'N':
        case 'F': {
            const QByteArray Text = QByteArray::number(Value.toDouble(), 'f', Layout.Decimals);
            std::memcpy(Field + Layout.Width - Text.size(), Text.constData(), size_t(Text.size()));
            break;
        }
        case 'D': {
            const QByteArray Text = Value.toDate().toString(QStringLiteral("yyyyMMdd")).toLatin1();
            std::memcpy(Field, Text.constData(),
                        size_t(std::min<qsizetype>(Text.size(), Layout.Width)));
            break;
        }
        case 'L': Field[0] = Value.toBool() ? 'T' : 'F'; break;
        case 'M': Memos.emplace_back(int(f), *Codec().Encode(Value.toString())); break;
        default: {
            const QByteArray Text = *Codec().Encode(Value.toString());
            std::memcpy(Field, Text.constData(), size_t(Text.size()));
        }
        }
    }
    return Record;
}

namespace {
void WriteAt(QFile &File, qint64 Offset, const char *Data, qint64 Size)
{
    if (!File.seek(Offset) || !WriteDbfBytes(File, Data, Size))
        throw EDatabaseError(DbfFileError(File, QStringLiteral("write")));
}

// A dBASE IV memo block: a marker, the length with its 8 header bytes, the text, padded to the
// block size. Two 0x1F after the counted length end the text for readers that ignore the length.
quint32 AppendDb4Memo(QFile &Memo, int BlockSize, QByteArrayView Text)
{
    const qint64 Start = std::max<qint64>((Memo.size() + BlockSize - 1) / BlockSize, 1) * BlockSize;
    QByteArray Bytes(Start - Memo.size(), '\0');
    char Head[8] = {'\xFF', '\xFF', '\x08', '\x00'};
    qToLittleEndian<quint32>(quint32(Text.size() + 8), Head + 4);
    Bytes.append(Head, 8);
    Bytes.append(Text.data(), Text.size());
    Bytes.append("\x1F\x1F", 2);
    Bytes.append(QByteArray((BlockSize - (Text.size() + 10) % BlockSize) % BlockSize, '\0'));
    WriteAt(Memo, Memo.size(), Bytes.constData(), Bytes.size());
    return quint32(Start / BlockSize);
}
} // namespace

void TDbfTable::ApplyUpdates()
{
    if (!HasPendingChanges())
        return;
    // Every record is built before a file is touched, so a value that cannot be written changes
    // nothing.
    std::vector<int64_t> Rows;
    Rows.reserve(FPending.size() + FDeleted.size());
    for (const auto &Entry : FPending)
        Rows.push_back(Entry.first);
    for (int64_t Row : FDeleted)
        if (!FPending.count(Row))
            Rows.push_back(Row);
    std::sort(Rows.begin(), Rows.end());
    struct TBuilt {
        int64_t Row;
        QByteArray Record;
        std::vector<std::pair<int, QByteArray>> Memos;
    };
    std::vector<TBuilt> Built;
    Built.reserve(Rows.size());
    bool NeedsMemo = false;
    for (int64_t Row : Rows) {
        TBuilt Entry{Row, {}, {}};
        Entry.Record = BuildRecord(Row, Entry.Memos);
        NeedsMemo |= !Entry.Memos.empty();
        Built.push_back(std::move(Entry));
    }
    CheckIntact(); // a record read from pages that are gone would write zeros over the table

    QFile Table(FFileName);
    if (!Table.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw EDatabaseError(DbfFileError(Table, QStringLiteral("write to")));
    // Rows are written where they were when the table was read: a file that another program has
    // cut, packed or appended to since then would have other records overwritten.
    char Counts[8];
    if (!Table.seek(4) || Table.read(Counts, 8) != 8 || std::memcmp(Counts, FCountsSeen, 8) != 0 ||
        Table.size() < FHeaderLength + FFileRows * FRecordLength)
        throw EDatabaseError(
            QStringLiteral("The table \"%1\" was changed by another program while it was open; the "
                           "changes were not written. To keep them, save the table under another "
                           "name with Restructure/Save As DBF while it can still be read; opening "
                           "it again drops them.")
                .arg(FFileName));
    // A table that nothing marks, whose text we decided is UTF-8, says so to other programs.
    if (FLanguageDriver == 0 && !FCodePageFile && Codec().IsUtf8() && !FMemosSampled) {
        WriteDbfCodePageFile(FFileName, "UTF-8");
        FCodePageFile = true;
    }
    if (NeedsMemo) {
        QFile Memo(FMemoName);
        if (!Memo.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            throw EDatabaseError(DbfFileError(Memo, QStringLiteral("write to")));
        for (TBuilt &Entry : Built)
            for (const auto &[Field, Text] : Entry.Memos) {
                const quint32 Block =
                    FMemoDb4 ? AppendDb4Memo(Memo, FMemoBlock, Text) : AppendDbfMemo(Memo, Text);
                PlaceDbfMemoRef(Entry.Record.data() + FLayout[size_t(Field)].Offset,
                                FLayout[size_t(Field)].Width, Block);
            }
        if (FMemoDb4) {
            char Next[4];
            qToLittleEndian<quint32>(quint32(Memo.size() / FMemoBlock), Next);
            WriteAt(Memo, 0, Next, 4);
        } else {
            UpdateDbfMemoHeader(Memo);
        }
        if (!Memo.flush())
            throw EDatabaseError(DbfFileError(Memo, QStringLiteral("write to")));
    }
    // New records first and the header last: until the count changes, readers see the old table.
    QByteArray Appended;
    for (const TBuilt &Entry : Built)
        if (Entry.Row >= FFileRows)
            Appended += Entry.Record;
    const int64_t Total = FFileRows + FAppended;
    if (!Appended.isEmpty()) {
        Appended += '\x1A';
        WriteAt(Table, FHeaderLength + FFileRows * FRecordLength, Appended.constData(),
                Appended.size());
    }
    for (const TBuilt &Entry : Built)
        if (Entry.Row < FFileRows)
            WriteAt(Table, FHeaderLength + Entry.Row * FRecordLength, Entry.Record.constData(),
                    FRecordLength);
    char Header[8];
    const QDate Today = QDate::currentDate();
    Header[0] = char(FVersion);
    Header[1] = char(std::clamp(Today.year() - 1900, 0, 255));
    Header[2] = char(Today.month());
    Header[3] = char(Today.day());
    qToLittleEndian<quint32>(quint32(Total), Header + 4);
    WriteAt(Table, 0, Header, 8);
    if (!Table.flush())
        throw EDatabaseError(DbfFileError(Table, QStringLiteral("write to")));
    Table.close();

    CancelUpdates();
    try {
        MapFiles();
    } catch (const EDatabaseError &Error) {
        throw EDatabaseError(
            QStringLiteral("The changes were written, but the table cannot be read again: %1")
                .arg(Error.Message()));
    }
}

} // namespace qf::tables
