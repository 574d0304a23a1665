#include "tables/data/dbf/dbfcodec.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace qf::tables {

namespace {
struct TCodePage {
    uint8_t Id;
    const char *Name;
};

// Language-driver ids as dBASE, FoxPro and the ODBC drivers write them, in iconv's names.
constexpr TCodePage kCodePages[] = {
    {0x01, "IBM437"},       {0x02, "IBM850"},
    {0x03, "WINDOWS-1252"}, {0x04, "MACINTOSH"},
    {0x08, "IBM865"},       {0x09, "IBM437"},
    {0x0A, "IBM850"},       {0x0B, "IBM437"},
    {0x0D, "IBM437"},       {0x0E, "IBM850"},
    {0x0F, "IBM437"},       {0x10, "IBM850"},
    {0x11, "IBM437"},       {0x12, "IBM850"},
    {0x13, "SHIFT_JIS"},    {0x14, "IBM850"},
    {0x15, "IBM437"},       {0x16, "IBM850"},
    {0x17, "IBM865"},       {0x18, "IBM437"},
    {0x19, "IBM437"},       {0x1A, "IBM850"},
    {0x1B, "IBM437"},       {0x1C, "IBM863"},
    {0x1D, "IBM850"},       {0x1F, "IBM852"},
    {0x22, "IBM852"},       {0x23, "IBM852"},
    {0x24, "IBM860"},       {0x25, "IBM850"},
    {0x26, "IBM866"},       {0x37, "IBM850"},
    {0x40, "IBM852"},       {0x4D, "GBK"},
    {0x4E, "CP949"},        {0x4F, "BIG5"},
    {0x50, "WINDOWS-874"},  {0x57, "WINDOWS-1252"},
    {0x58, "WINDOWS-1252"}, {0x59, "WINDOWS-1252"},
    {0x64, "IBM852"},       {0x65, "IBM866"},
    {0x66, "IBM865"},       {0x67, "IBM861"},
    {0x6A, "CP737"},        {0x6B, "IBM857"},
    {0x6C, "IBM863"},       {0x78, "BIG5"},
    {0x79, "CP949"},        {0x7A, "GBK"},
    {0x7B, "SHIFT_JIS"},    {0x7C, "WINDOWS-874"},
    {0x7D, "WINDOWS-1255"}, {0x7E, "WINDOWS-1256"},
    {0x87, "IBM852"},       {0x88, "IBM857"},
    {0x96, "MAC-CYRILLIC"}, {0x97, "MAC-CENTRALEUROPE"},
    {0xC8, "WINDOWS-1250"}, {0xC9, "WINDOWS-1251"},
    {0xCA, "WINDOWS-1254"}, {0xCB, "WINDOWS-1253"},
    {0xCC, "WINDOWS-1257"},
};

constexpr char kUnicode[] = "UTF-32LE";

class TIconv {
public:
    TIconv(const char *To, const char *From) : FCd(iconv_open(To, From)) {}
    ~TIconv()
    {
        if (Valid())
            iconv_close(FCd);
    }
    TIconv(const TIconv &) = delete;
    TIconv &operator=(const TIconv &) = delete;
    bool Valid() const { return FCd != iconv_t(-1); }
    void Reset() { iconv(FCd, nullptr, nullptr, nullptr, nullptr); }
    // iconv(3) over the whole input; In and Out move on.
    size_t Convert(const char *&In, size_t &InLeft, char *&Out, size_t &OutLeft)
    {
        return iconv(FCd, const_cast<char **>(&In), &InLeft, &Out, &OutLeft);
    }

private:
    iconv_t FCd;
};

bool IsAscii(QByteArrayView Bytes)
{
    for (char c : Bytes)
        if (uint8_t(c) >= 0x80)
            return false;
    return true;
}

bool Known(const QByteArray &Name)
{
    return !Name.isEmpty() && TIconv(kUnicode, Name.constData()).Valid();
}
} // namespace

// A single-byte code page, both ways, so that reading needs no converter.
struct TDbfCodec::TTable {
    char16_t Chars[256];
    QHash<char16_t, uint8_t> Bytes;
};

QByteArrayView CutUtf8(QByteArrayView Bytes, qsizetype Width)
{
    if (Bytes.size() <= Width)
        return Bytes;
    qsizetype End = Width;
    while (End > 0 &&
           (uint8_t(Bytes[End]) & 0xC0) == 0x80) // Bytes[End] starts the part that is cut off
        --End;
    return Bytes.first(End);
}

TDbfCodec::TDbfCodec() = default;

TDbfCodec::TDbfCodec(const QByteArray &CodePage) : FName(CodePage.toUpper())
{
    if (FName == "UTF-8" || FName == "UTF8") {
        FName = "UTF-8";
        return;
    }
    FUtf8 = false;
    TIconv Decoder(kUnicode, FName.constData());
    FValid = Decoder.Valid();
    if (!FValid)
        return;
    auto Table = std::make_shared<TTable>();
    const bool Cp1252 = FName == "WINDOWS-1252" || FName == "CP1252";
    for (int b = 0; b < 256; ++b) {
        const char Byte = char(b);
        const char *In = &Byte;
        size_t InLeft = 1;
        char32_t Code = 0;
        char *Out = reinterpret_cast<char *>(&Code);
        size_t OutLeft = sizeof Code;
        const size_t Done = Decoder.Convert(In, InLeft, Out, OutLeft);
        if (Done == size_t(-1) && errno == EILSEQ) {
            // Windows reads the five bytes Windows-1252 leaves undefined as the C1 controls.
            Table->Chars[b] = Cp1252 && b >= 0x80 && b < 0xA0 ? char16_t(b) : u'\uFFFD';
        } else if (Done != size_t(-1) && OutLeft == 0 && Code <= 0xFFFF) {
            Table->Chars[b] = char16_t(Code);
        } else {
            return; // a byte that starts a longer sequence (or a stateful code page): iconv reads
                    // it
        }
        Decoder.Reset();
    }
    for (int b = 255; b >= 0; --b)
        if (Table->Chars[b] != u'\uFFFD')
            Table->Bytes.insert(Table->Chars[b], uint8_t(b));
    FTable = std::move(Table);
}

QString TDbfCodec::Decode(QByteArrayView Bytes) const
{
    if (IsAscii(Bytes))
        return QString::fromLatin1(Bytes);
    if (FUtf8)
        return QString::fromUtf8(Bytes);
    if (!FValid)
        return QString(Bytes.size(), QChar::ReplacementCharacter);
    if (FTable) {
        QString Text(Bytes.size(), Qt::Uninitialized);
        QChar *Out = Text.data();
        for (qsizetype i = 0; i < Bytes.size(); ++i)
            Out[i] = QChar(FTable->Chars[uint8_t(Bytes[i])]);
        return Text;
    }
    TIconv Decoder(kUnicode, FName.constData());
    std::u32string Codes(size_t(Bytes.size()) + 1, U'\0');
    const char *In = Bytes.data();
    size_t InLeft = size_t(Bytes.size());
    char *Out = reinterpret_cast<char *>(Codes.data());
    size_t OutLeft = Codes.size() * sizeof(char32_t);
    while (InLeft > 0 && Decoder.Convert(In, InLeft, Out, OutLeft) == size_t(-1)) {
        if (OutLeft < sizeof(char32_t))
            break;
        // A byte the code page does not define, or a sequence cut off at the end.
        const char32_t Replacement = U'\uFFFD';
        std::memcpy(Out, &Replacement, sizeof Replacement);
        Out += sizeof Replacement;
        OutLeft -= sizeof Replacement;
        if (errno == EINVAL)
            break;
        ++In;
        --InLeft;
        Decoder.Reset();
    }
    // Code pages that compose (1255, 1258) hold the last letter back for a mark that may follow.
    const char *NoIn = nullptr;
    size_t NoLeft = 0;
    Decoder.Convert(NoIn, NoLeft, Out, OutLeft);
    const auto *Begin = reinterpret_cast<const char32_t *>(Codes.data());
    return QString::fromUcs4(Begin, reinterpret_cast<const char32_t *>(Out) - Begin);
}

std::optional<QByteArray> TDbfCodec::Encode(const QString &Text) const
{
    if (FUtf8)
        return Text.toUtf8();
    if (!FValid)
        return std::nullopt;
    if (FTable) {
        QByteArray Bytes(Text.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < Text.size(); ++i) {
            const auto It = FTable->Bytes.constFind(Text[i].unicode());
            if (It == FTable->Bytes.constEnd())
                return std::nullopt;
            Bytes[i] = char(*It);
        }
        return Bytes;
    }
    TIconv Encoder(FName.constData(), kUnicode);
    const std::u32string Codes = Text.toStdU32String();
    QByteArray Bytes(qsizetype(Codes.size()) * 4 + 16, Qt::Uninitialized);
    const char *In = reinterpret_cast<const char *>(Codes.data());
    size_t InLeft = Codes.size() * sizeof(char32_t);
    char *Out = Bytes.data();
    size_t OutLeft = size_t(Bytes.size());
    if (!Encoder.Valid() || Encoder.Convert(In, InLeft, Out, OutLeft) == size_t(-1))
        return std::nullopt;
    const char *NoIn = nullptr; // the closing shift sequence of a stateful code page
    size_t NoLeft = 0;
    if (Encoder.Convert(NoIn, NoLeft, Out, OutLeft) == size_t(-1))
        return std::nullopt;
    Bytes.truncate(Out - Bytes.data());
    // Only the way back proves that nothing was changed on the way.
    if (Decode(Bytes) != Text)
        return std::nullopt;
    return Bytes;
}

TDbfEncoding DbfLocaleEncoding(const QLocale &Locale)
{
    struct TAnsi {
        int CodePage;
        uint8_t Id; // the byte dbfread, GDAL and LibreOffice read as that code page; none for 1258
    };
    TAnsi Ansi{0, 0};
    switch (Locale.script()) {
    case QLocale::AnyScript:
    case QLocale::LatinScript:
        switch (Locale.language()) {
        case QLocale::Albanian:
        case QLocale::Bosnian:
        case QLocale::Croatian:
        case QLocale::Czech:
        case QLocale::Hungarian:
        case QLocale::Polish:
        case QLocale::Romanian:
        case QLocale::Serbian:
        case QLocale::Slovak:
        case QLocale::Slovenian:
        case QLocale::Turkmen: Ansi = {1250, 0xC8}; break;
        case QLocale::Turkish:
        case QLocale::Azerbaijani:
        case QLocale::Uzbek: Ansi = {1254, 0xCA}; break;
        case QLocale::Estonian:
        case QLocale::Latvian:
        case QLocale::Lithuanian: Ansi = {1257, 0xCC}; break;
        case QLocale::Vietnamese: Ansi = {1258, 0x00}; break;
        default: Ansi = {1252, 0x03};
        }
        break;
    case QLocale::CyrillicScript: Ansi = {1251, 0xC9}; break;
    case QLocale::GreekScript: Ansi = {1253, 0xCB}; break;
    case QLocale::HebrewScript: Ansi = {1255, 0x7D}; break;
    case QLocale::ArabicScript: Ansi = {1256, 0x7E}; break;
    case QLocale::ThaiScript: Ansi = {874, 0x7C}; break;
    default: break; // no single-byte ANSI code page (CJK, Indic, Armenian, Georgian...)
    }
    TDbfEncoding Encoding;
    if (Ansi.CodePage == 0) {
        Encoding.CodePageFile = "UTF-8";
        return Encoding;
    }
    Encoding.LanguageDriver = Ansi.Id;
    Encoding.CodePageFile = QByteArray::number(Ansi.CodePage);
    Encoding.Codec = TDbfCodec("WINDOWS-" + Encoding.CodePageFile);
    return Encoding;
}

std::optional<QByteArray> EncodeDbfText(const TDbfCodec &Codec, const QString &Text, int Width,
                                        bool &Cut)
{
    Cut = false;
    std::optional<QByteArray> Bytes = Codec.Encode(Text);
    if (!Bytes || Bytes->size() <= Width)
        return Bytes;
    Cut = true;
    if (Codec.IsUtf8())
        return CutUtf8(*Bytes, Width).toByteArray();
    if (Bytes->size() == Text.size()) // one byte a character
        return Bytes->left(Width);
    // Every character takes a byte at least: fewer characters until they fit.
    for (qsizetype n = std::min<qsizetype>(Text.size(), Width); n > 0; --n) {
        if (n < Text.size() && Text[n].isLowSurrogate())
            continue;
        const std::optional<QByteArray> Part = Codec.Encode(Text.left(n));
        if (Part && Part->size() <= Width)
            return Part;
    }
    return QByteArray();
}

QByteArray TDbfCodec::LanguageDriverCodePage(uint8_t Id)
{
    for (const TCodePage &Page : kCodePages)
        if (Page.Id == Id)
            return Known(Page.Name) ? QByteArray(Page.Name) : QByteArray();
    return {};
}

QByteArray TDbfCodec::CpgCodePage(QByteArrayView Text)
{
    QByteArray Name = Text.toByteArray();
    if (Name.startsWith("\xEF\xBB\xBF"))
        Name.remove(0, 3);
    Name = Name.trimmed().toUpper();
    if (Name == "UTF8" || Name == "UTF-8")
        return "UTF-8";
    // "ANSI 1251" and "OEM 866" as some programs write them.
    for (const char *Prefix : {"ANSI ", "OEM "})
        if (Name.startsWith(Prefix))
            Name = Name.mid(qsizetype(std::strlen(Prefix))).trimmed();
    static const QRegularExpression Iso(QStringLiteral("^(?:ISO)?[-_ ]?8859[-_ ]?(\\d{1,2})$"));
    const QRegularExpressionMatch Match = Iso.match(QString::fromLatin1(Name));
    if (Match.hasMatch())
        Name = "ISO-8859-" + Match.captured(1).toLatin1();
    else if (!Name.isEmpty() &&
             std::all_of(Name.begin(), Name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        Name = "CP" + Name; // "1251", "866"
    return Known(Name) ? Name : QByteArray();
}

} // namespace qf::tables
