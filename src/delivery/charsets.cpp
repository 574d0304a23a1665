#include "delivery/charsets.h"

#include "delivery/idexception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <iterator>

namespace qf::delivery {

namespace {

iconv_t AsIconv(void *P) { return static_cast<iconv_t>(P); }

// How many characters from P on are ASCII, four at a time where it can.
qsizetype AsciiRun(const char16_t *P, const char16_t *End)
{
    const char16_t *Q = P;
    for (; End - Q >= 4; Q += 4) {
        quint64 W;
        memcpy(&W, Q, sizeof W);
        if (W & 0xFF80FF80FF80FF80ULL)
            break;
    }
    while (Q != End && *Q < 0x80)
        ++Q;
    return Q - P;
}

// Code point of the UTF-8 sequence at P (at most Left bytes); Len gets its length.
char32_t DecodeUtf8At(const char *P, size_t Left, size_t &Len)
{
    const auto B = static_cast<unsigned char>(P[0]);
    size_t N = B < 0x80 ? 1 : B < 0xE0 ? 2 : B < 0xF0 ? 3 : 4;
    if (N > Left)
        N = Left;
    char32_t C = N == 1 ? B : B & (0x3F >> (N - 1));
    for (size_t I = 1; I < N; ++I)
        C = (C << 6) | (static_cast<unsigned char>(P[I]) & 0x3F);
    Len = N;
    return C;
}

constexpr qint16 kUnknown = -1;
constexpr qint16 kIconv = -2;

// One byte per character and no state kept between characters, so that a character converts
// the same alone as within any text. UTF-7 and the pages that compose accents (1255, 1258) do not.
bool OneBytePerCharacter(const QString &Lower)
{
    static const char *const Names[] = {
        "iso-8859-1",   "iso-8859-2",   "iso-8859-5",   "iso-8859-7",   "windows-1250",
        "windows-1251", "windows-1252", "windows-1253", "windows-1254", "windows-1256",
        "windows-1257", "windows-874",  "koi8-r",       "koi8-u"};
    return std::any_of(std::begin(Names), std::end(Names),
                       [&](const char *N) { return Lower == QLatin1String(N); });
}

} // namespace

TCharsetEncoder::TCharsetEncoder(const QString &MimeName) : FMimeName(MimeName)
{
    const QString Lower = MimeName.trimmed().toLower();
    if (Lower == QLatin1String("utf-8") || Lower == QLatin1String("x-user-defined")) {
        FPassUtf8 = true;
        FWireName = "utf-8";
        return;
    }
    FWireName = MimeName.trimmed().toLatin1();
    iconv_t Cd = iconv_open(Lower.toLatin1().constData(), "UTF-8");
    if (Cd == reinterpret_cast<iconv_t>(-1))
        throw EIdException(
            QStringLiteral("The charset \"%1\" is not known on this system").arg(MimeName));
    FIconv = Cd;
    if (OneBytePerCharacter(Lower)) {
        FTable.assign(0x10000, kUnknown);
        FAsciiSame = true;
        for (char16_t C = 0; C < 0x80; ++C) {
            char Byte;
            FAsciiSame = TableByte(C, Byte) && Byte == char(C) && FAsciiSame;
        }
    }
}

TCharsetEncoder::~TCharsetEncoder()
{
    if (FIconv)
        iconv_close(AsIconv(FIconv));
}

bool TCharsetEncoder::TableByte(char16_t C, char &Byte)
{
    qint16 &Entry = FTable[C];
    if (Entry == kUnknown) {
        Entry = kIconv;
        if (!QChar::isSurrogate(C)) {
            iconv_t Cd = AsIconv(FIconv);
            const QByteArray In = QString(QChar(C)).toUtf8();
            char *InP = const_cast<char *>(In.constData());
            size_t InLeft = size_t(In.size());
            char Out[8];
            char *OutP = Out;
            size_t OutLeft = sizeof Out;
            iconv(Cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(Cd, &InP, &InLeft, &OutP, &OutLeft) != size_t(-1) &&
                iconv(Cd, nullptr, nullptr, &OutP, &OutLeft) != size_t(-1) && InLeft == 0 &&
                OutP - Out == 1)
                Entry = qint16(static_cast<unsigned char>(Out[0]));
        }
    }
    Byte = char(Entry);
    return Entry >= 0;
}

QByteArray TCharsetEncoder::Encode(const QString &Text, TUnmappable Mode)
{
    if (FPassUtf8)
        return Text.toUtf8();
    if (!FTable.empty()) {
        QByteArray Out(Text.size(), Qt::Uninitialized);
        char *O = Out.data();
        const char16_t *P = QStringView(Text).utf16();
        const char16_t *const End = P + Text.size();
        while (P != End) {
            if (FAsciiSame) {
                const qsizetype N = AsciiRun(P, End);
                for (qsizetype I = 0; I < N; ++I)
                    O[I] = char(P[I]);
                P += N;
                O += N;
                if (P == End)
                    break;
            }
            if (!TableByte(*P, *O))
                return EncodeWithIconv(Text, Mode); // it says what is wrong, or writes references
            ++P;
            ++O;
        }
        return Out;
    }
    return EncodeWithIconv(Text, Mode);
}

void TCharsetEncoder::Check(const QString &Text)
{
    if (FPassUtf8)
        return;
    if (!FTable.empty()) {
        const char16_t *P = QStringView(Text).utf16();
        const char16_t *const End = P + Text.size();
        char Byte;
        while (P != End) {
            if (FAsciiSame) {
                P += AsciiRun(P, End);
                if (P == End)
                    break;
            }
            if (!TableByte(*P, Byte)) {
                EncodeWithIconv(Text, umFail); // throws, naming the character
                return;
            }
            ++P;
        }
        return;
    }
    EncodeWithIconv(Text, umFail);
}

QByteArray TCharsetEncoder::EncodeWithIconv(const QString &Text, TUnmappable Mode)
{
    QByteArray In = Text.toUtf8();
    iconv_t Cd = AsIconv(FIconv);
    iconv(Cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    QByteArray Out;
    Out.resize(In.size() + In.size() / 2 + 16);
    char *InP = In.data();
    size_t InLeft = static_cast<size_t>(In.size());
    size_t Used = 0;
    auto Grow = [&] { Out.resize(Out.size() * 2); };
    for (;;) {
        char *OutP = Out.data() + Used;
        size_t OutLeft = static_cast<size_t>(Out.size()) - Used;
        // A null input flushes what a stateful converter still holds (UTF-7, the combining pages).
        const size_t R = InLeft ? iconv(Cd, &InP, &InLeft, &OutP, &OutLeft)
                                : iconv(Cd, nullptr, nullptr, &OutP, &OutLeft);
        Used = static_cast<size_t>(OutP - Out.data());
        if (R != static_cast<size_t>(-1)) {
            if (InLeft == 0 && InP != nullptr) {
                InP = nullptr; // now flush
                continue;
            }
            break;
        }
        if (errno == E2BIG) {
            Grow();
            continue;
        }
        // EILSEQ (a character the charset lacks) or EINVAL (cut sequence, cannot happen from
        // toUtf8).
        size_t Len = 1;
        const char32_t C = DecodeUtf8At(InP, InLeft, Len);
        if (Mode != umHtmlReference || errno != EILSEQ) {
            const QString Hex = QString::number(static_cast<uint>(C), 16)
                                    .toUpper()
                                    .rightJustified(4, QLatin1Char('0'));
            throw EIdException(
                QStringLiteral("The character \"%1\" (U+%2) cannot be written in the charset %3")
                    .arg(QString::fromUcs4(&C, 1), Hex, FMimeName));
        }
        const QByteArray Ref = "&#" + QByteArray::number(static_cast<uint>(C)) + ';';
        // The reference itself is ASCII, which every table charset holds; convert it so that
        // a stateful converter sees it in order.
        char *RefP = const_cast<char *>(Ref.constData());
        size_t RefLeft = static_cast<size_t>(Ref.size());
        while (RefLeft) {
            char *O = Out.data() + Used;
            size_t OL = static_cast<size_t>(Out.size()) - Used;
            const size_t R2 = iconv(Cd, &RefP, &RefLeft, &O, &OL);
            Used = static_cast<size_t>(O - Out.data());
            if (R2 == static_cast<size_t>(-1)) {
                if (errno != E2BIG)
                    throw EIdException(
                        QStringLiteral("Text cannot be written in the charset %1").arg(FMimeName));
                Grow();
            }
        }
        InP += Len;
        InLeft -= Len;
    }
    Out.truncate(static_cast<qsizetype>(Used));
    return Out;
}

} // namespace qf::delivery
