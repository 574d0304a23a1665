#include "delivery/mimeencode.h"

#include "delivery/charsets.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace qf::delivery {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr qsizetype MaxLine = 76;
// Tokens are cut well below the 998-byte limit so that "Name: " and folding always fit.
constexpr qsizetype MaxPlainWord = 900;
// The longest run of spaces left as it is in a header: a word, the run and the folding
// together stay within 998 bytes.
constexpr qsizetype MaxPlainGap = 20;

constexpr bool NeedsQpEscape(unsigned char C) { return C == '=' || C < 32 || C > 126; }

// Per byte for quoted-printable: written as it is, white space (written as it is unless it ends
// a line), or escaped or a line break.
enum TQpClass : unsigned char { qcPlain, qcWhite, qcOther };
constexpr auto QpClasses = [] {
    std::array<unsigned char, 256> T{};
    for (int C = 0; C < 256; ++C)
        T[C] = C == ' ' || C == '\t' ? qcWhite : NeedsQpEscape(C) ? qcOther : qcPlain;
    return T;
}();
// Per byte: 1 when it counts as an escape for the choice of base64.
constexpr auto QpEscapes = [] {
    std::array<unsigned char, 256> T{};
    for (int C = 0; C < 256; ++C)
        T[C] = NeedsQpEscape(C) && C != '\r' && C != '\n' && C != '\t';
    return T;
}();

bool IsPrintableAscii(const QString &S)
{
    return std::all_of(S.begin(), S.end(),
                       [](QChar C) { return C.unicode() >= 0x20 && C.unicode() < 0x7F; });
}

// Line breaks and tabs become spaces; other control characters (C0, DEL, C1) go, since a
// reader would show or act on them even inside encoded words.
QString OneLine(const QString &Text)
{
    QString S;
    S.reserve(Text.size());
    for (const QChar C : Text) {
        const char16_t U = C.unicode();
        if (U == '\r' || U == '\n' || U == '\t')
            S.append(QLatin1Char(' '));
        else if (U >= 0x20 && (U < 0x7F || U > 0x9F))
            S.append(C);
    }
    return S;
}

// A quoted string: the caller checks the length, which escaping may double.
QByteArray Quoted(const QByteArray &A)
{
    QByteArray Q = "\"";
    for (const char C : A) {
        if (C == '"' || C == '\\')
            Q.append('\\');
        Q.append(C);
    }
    Q.append('"');
    return Q;
}

// Encoded words of whole characters, short enough that "Subject: " and one word stay
// within 76 characters.
THeaderTokens EncodedWords(const QString &Text, TCharsetEncoder &Encoder)
{
    const QByteArray &Charset = Encoder.WireName();
    const qsizetype MaxRaw = std::max<qsizetype>(3, (66 - 7 - Charset.size()) / 4 * 3);
    THeaderTokens Words;
    auto Emit = [&](const QByteArray &Raw) {
        Words.append("=?" + Charset + "?B?" + Raw.toBase64() + "?=");
    };
    QString Chunk;
    QByteArray ChunkBytes;
    for (qsizetype I = 0; I < Text.size();) {
        const qsizetype N = Text.at(I).isHighSurrogate() && I + 1 < Text.size() ? 2 : 1;
        const QString Candidate = Chunk + Text.mid(I, N);
        QByteArray Bytes = Encoder.Encode(Candidate);
        if (Bytes.size() > MaxRaw && !Chunk.isEmpty()) {
            Emit(ChunkBytes);
            Chunk = Text.mid(I, N);
            ChunkBytes = Encoder.Encode(Chunk);
        } else {
            Chunk = Candidate;
            ChunkBytes = std::move(Bytes);
        }
        I += N;
    }
    if (!Chunk.isEmpty())
        Emit(ChunkBytes);
    return Words;
}

} // namespace

namespace {

// Quoted-printable of Data into Out; false, as soon as it is clear, when more than MaxEscapes
// bytes need an escape (line breaks and tabs not counted; -1: no limit).
bool QuotedPrintable(QByteArrayView Data, QByteArray &Out, qsizetype MaxEscapes)
{
    const qsizetype Size = Data.size();
    // Worst case: every byte escaped, plus a soft break every 25 escapes.
    Out.resize(Size * 3 + Size / 8 + 8);
    char *O = Out.data();
    const char *In = Data.data();
    qsizetype Col = 0;
    qsizetype Escapes = 0;
    for (qsizetype I = 0; I < Size;) {
        // A run of bytes that go as they are, within the room left on the line: white space
        // only where it does not end the line.
        const qsizetype Stop = std::min(Size, I + (MaxLine - 1 - Col));
        qsizetype J = I;
        while (J < Stop) {
            const unsigned char K = QpClasses[static_cast<unsigned char>(In[J])];
            if (K == qcPlain || (K == qcWhite && J + 1 < Size && In[J + 1] != '\r'))
                ++J;
            else
                break;
        }
        if (J > I) {
            memcpy(O, In + I, size_t(J - I));
            O += J - I;
            Col += J - I;
            I = J;
            if (I == Size)
                break;
        }
        const auto C = static_cast<unsigned char>(In[I]);
        Escapes += QpEscapes[C];
        if (MaxEscapes >= 0 && Escapes > MaxEscapes)
            return false;
        if (C == '\r' && I + 1 < Size && In[I + 1] == '\n') {
            *O++ = '\r';
            *O++ = '\n';
            Col = 0;
            I += 2;
            continue;
        }
        const bool AtLineEnd =
            I + 1 == Size || (In[I + 1] == '\r' && I + 2 < Size && In[I + 2] == '\n');
        const bool Escape =
            (NeedsQpEscape(C) && C != '\t') || ((C == ' ' || C == '\t') && AtLineEnd);
        const qsizetype N = Escape ? 3 : 1;
        // Keep room for the soft break "=" within the line.
        if (Col + N > MaxLine - 1) {
            *O++ = '=';
            *O++ = '\r';
            *O++ = '\n';
            Col = 0;
        }
        if (Escape) {
            *O++ = '=';
            *O++ = HexDigits[C >> 4];
            *O++ = HexDigits[C & 15];
        } else {
            *O++ = static_cast<char>(C);
        }
        Col += N;
        ++I;
    }
    Out.truncate(O - Out.data());
    return true;
}

// The most escapes with which quoted-printable stays shorter than base64: it costs 2 more bytes
// per escape, base64 a third more on everything.
qsizetype MaxQpEscapes(qsizetype Size) { return Size / 3 / 2; }

} // namespace

QByteArray EncodeQuotedPrintable(QByteArrayView Data)
{
    QByteArray Out;
    QuotedPrintable(Data, Out, -1);
    return Out;
}

bool EncodeQuotedPrintableIfShorter(QByteArrayView Data, QByteArray &Out)
{
    return QuotedPrintable(Data, Out, MaxQpEscapes(Data.size()));
}

QByteArray EncodeBase64Lines(QByteArrayView Data)
{
    const QByteArray B64 = Data.toByteArray().toBase64();
    QByteArray Out;
    Out.reserve(B64.size() + B64.size() / MaxLine * 2 + 2);
    for (qsizetype I = 0; I < B64.size(); I += MaxLine) {
        Out.append(B64.constData() + I, std::min(MaxLine, B64.size() - I));
        Out.append("\r\n");
    }
    return Out;
}

THeaderTokens EncodeHeaderText(const QString &Text, TCharsetEncoder &Encoder)
{
    // Printable text is its own one line.
    const bool Printable = IsPrintableAscii(Text);
    const QString S = Printable ? Text : OneLine(Text);
    if (Printable || IsPrintableAscii(S)) {
        // Spaces cannot be folded away, so a long run of them would stretch one line past any
        // limit; encoded words carry it in pieces instead.
        static const QByteArray LongGap(MaxPlainGap + 1, ' ');
        const QByteArray A = S.toLatin1();
        if (!A.contains(LongGap)) {
            THeaderTokens Words = A.split(' ');
            // A word that looks like an encoded word would be decoded by the reader.
            if (std::none_of(Words.begin(), Words.end(), [](const QByteArray &W) {
                    return W.size() > MaxPlainWord || W.startsWith("=?");
                }))
                return Words;
        }
    }
    return EncodedWords(S, Encoder);
}

THeaderTokens EncodePhrase(const QString &Name, TCharsetEncoder &Encoder)
{
    const QString S = OneLine(Name);
    if (!IsPrintableAscii(S) || S.contains(QLatin1String("=?")))
        return EncodedWords(S, Encoder);
    static const QByteArray AText = "!#$%&'*+-/=?^_`{|}~";
    const QByteArray A = S.toLatin1();
    const bool Atoms = std::all_of(A.begin(), A.end(), [](char C) {
        return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') ||
               C == ' ' || AText.contains(C);
    });
    if (Atoms && A.size() <= MaxPlainWord && !A.startsWith(' ') && !A.endsWith(' ') &&
        !A.contains("  "))
        return A.split(' ');
    QByteArray Q = Quoted(A);
    if (Q.size() > MaxPlainWord)
        return EncodedWords(S, Encoder);
    return {Q};
}

THeaderTokens EncodeParameter(const QByteArray &Name, const QString &Value)
{
    constexpr qsizetype MaxPiece = 60;
    const QString S = OneLine(Value);
    if (IsPrintableAscii(S) && S.size() <= MaxPiece)
        return {Name + '=' + Quoted(S.toLatin1())};
    // RFC 2231: charset'language'percent-encoded, cut into numbered pieces between characters,
    // since some readers decode each piece by itself.
    QByteArray Piece = "utf-8''";
    THeaderTokens Pieces;
    for (qsizetype I = 0; I < S.size();) {
        const qsizetype N = S.at(I).isHighSurrogate() && I + 1 < S.size() ? 2 : 1;
        const QByteArray Char = S.mid(I, N).toUtf8().toPercentEncoding("!#$&+-.^_`|~", "*'%");
        I += N;
        if (Piece.size() + Char.size() > MaxPiece) {
            Pieces.append(Name + '*' + QByteArray::number(Pieces.size()) + "*=" + Piece);
            Piece.clear();
        }
        Piece.append(Char);
    }
    if (Pieces.isEmpty())
        return {Name + "*=" + Piece};
    Pieces.append(Name + '*' + QByteArray::number(Pieces.size()) + "*=" + Piece);
    for (qsizetype I = 0; I + 1 < Pieces.size(); ++I)
        Pieces[I].append(';');
    return Pieces;
}

void AppendHeader(QByteArray &Out, const char *Name, const THeaderTokens &Tokens)
{
    Out.append(Name);
    Out.append(':');
    qsizetype Col = qstrlen(Name) + 1;
    bool First = true;
    for (const QByteArray &T : Tokens) {
        // Never fold before an empty token: a line of white space alone is not allowed.
        if (!First && !T.isEmpty() && Col + 1 + T.size() > MaxLine) {
            Out.append("\r\n ");
            Col = 1;
        } else {
            Out.append(' ');
            ++Col;
        }
        Out.append(T);
        Col += T.size();
        First = false;
    }
    Out.append("\r\n");
}

QByteArray GuessContentType(const QString &FileName)
{
    static const std::pair<const char *, const char *> Types[] = {
        {"7z", "application/x-7z-compressed"},
        {"avi", "video/x-msvideo"},
        {"bmp", "image/bmp"},
        {"csv", "text/csv"},
        {"doc", "application/msword"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"eml", "message/rfc822"},
        {"gif", "image/gif"},
        {"gz", "application/gzip"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"ico", "image/vnd.microsoft.icon"},
        {"jpeg", "image/jpeg"},
        {"jpg", "image/jpeg"},
        {"js", "text/javascript"},
        {"json", "application/json"},
        {"mp3", "audio/mpeg"},
        {"mp4", "video/mp4"},
        {"mpeg", "video/mpeg"},
        {"mpg", "video/mpeg"},
        {"odp", "application/vnd.oasis.opendocument.presentation"},
        {"ods", "application/vnd.oasis.opendocument.spreadsheet"},
        {"odt", "application/vnd.oasis.opendocument.text"},
        {"pdf", "application/pdf"},
        {"png", "image/png"},
        {"ppt", "application/vnd.ms-powerpoint"},
        {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"rar", "application/vnd.rar"},
        {"rtf", "application/rtf"},
        {"svg", "image/svg+xml"},
        {"tar", "application/x-tar"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"txt", "text/plain"},
        {"wav", "audio/wav"},
        {"webp", "image/webp"},
        {"xls", "application/vnd.ms-excel"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"xml", "application/xml"},
        {"zip", "application/zip"},
    };
    const QString Ext = QFileInfo(FileName).suffix().toLower();
    for (const auto &[E, T] : Types)
        if (Ext == QLatin1String(E))
            return T;
    return "application/octet-stream";
}

} // namespace qf::delivery
