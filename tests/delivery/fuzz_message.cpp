// Random texts, names and bytes through the message composer and the transfer encodings.
// Whatever goes in, the output keeps CR LF line ends, lines within 998 bytes and header
// lines that cannot start a new header, and quoted-printable and base64 decode back.

#include "delivery/charsets.h"
#include "delivery/idexception.h"
#include "delivery/idmessage.h"
#include "delivery/mimeencode.h"

#include <QRandomGenerator>
#include <cstdio>

using namespace qf::delivery;

namespace {

int Failures = 0;

void Fail(const char *What, int Round)
{
    if (++Failures <= 20)
        std::fprintf(stderr, "round %d: %s\n", Round, What);
}

QString RandomText(QRandomGenerator &R, int MaxLen)
{
    static const char32_t Pool[] = {
        U'a', U' ',  U'\r', U'\n',     U'\t',     U'=',      U'?',      U'"',    U'\\',
        U'.', U'<',  U'>',  U',',      U';',      U'\x01',   U'\x7f',   U'é',    U'Ж',
        U'€', U'中', U'😀',  U'\u0301', U'\u05D0', U'\u0E01', U'\u1EBF', U'\xA0', U'\xFF'};
    QString S;
    const int N = static_cast<int>(R.bounded(MaxLen + 1));
    for (int I = 0; I < N; ++I) {
        const int K = static_cast<int>(R.bounded(10));
        if (K < 5)
            S += QChar(static_cast<char16_t>(0x21 + R.bounded(94)));
        else if (K < 9)
            S += QString::fromUcs4(&Pool[R.bounded(static_cast<quint32>(std::size(Pool)))], 1);
        else
            S += QChar(static_cast<char16_t>(R.bounded(0x10000))); // lone surrogates too
    }
    return S;
}

QByteArray DecodeQp(const QByteArray &In)
{
    QByteArray Out;
    for (qsizetype I = 0; I < In.size(); ++I) {
        if (In[I] != '=') {
            Out += In[I];
        } else if (I + 2 < In.size() && In[I + 1] == '\r' && In[I + 2] == '\n') {
            I += 2;
        } else if (I + 2 < In.size()) {
            Out += static_cast<char>(QByteArray::fromHex(In.mid(I + 1, 2)).at(0));
            I += 2;
        }
    }
    return Out;
}

bool LinesSound(const QByteArray &M, bool Headers)
{
    qsizetype Start = 0;
    bool InHeaders = Headers;
    while (Start < M.size()) {
        const qsizetype Lf = M.indexOf('\n', Start);
        if (Lf < 0 || Lf == Start || M[Lf - 1] != '\r')
            return false;
        const QByteArray Line = M.mid(Start, Lf - 1 - Start);
        if (Line.size() > 998 || Line.contains('\r'))
            return false;
        if (InHeaders) {
            if (Line.isEmpty())
                InHeaders = false;
            else if (Line[0] != ' ' && Line[0] != '\t' && !Line.contains(':'))
                return false;
            // A folded line that only holds white space would end the header early for some
            // readers.
            if (!Line.isEmpty() && Line.trimmed().isEmpty())
                return false;
        }
        Start = Lf + 1;
    }
    return true;
}

} // namespace

int main()
{
    QRandomGenerator R(20261206);
    for (int Round = 0; Round < 1500; ++Round) {
        QByteArray Bytes(static_cast<qsizetype>(R.bounded(3000)), Qt::Uninitialized);
        for (char &C : Bytes)
            C = static_cast<char>(R.bounded(8) == 0 ? "\r\n \t="[R.bounded(5)] : R.bounded(256));
        const QByteArray Qp = EncodeQuotedPrintable(Bytes);
        if (DecodeQp(Qp) != Bytes)
            Fail("quoted-printable does not decode back", Round);
        for (const QByteArray &L : Qp.split('\n'))
            if (L.size() > 77)
                Fail("quoted-printable line too long", Round);
        if (QByteArray::fromBase64(EncodeBase64Lines(Bytes)) != Bytes)
            Fail("base64 does not decode back", Round);

        TIdMessage M;
        M.CharSet = QString::fromLatin1(
            CharsetTable[R.bounded(static_cast<quint32>(CharsetTable.size()))].MimeName);
        M.ContentType = R.bounded(2) ? QStringLiteral("text/html") : QStringLiteral("text/plain");
        M.From.Address = QStringLiteral("s@example.com");
        M.From.Name = RandomText(R, 120);
        M.ReplyTo.Add().Address = R.bounded(2) ? QStringLiteral("r@example.com") : QString();
        M.ReplyTo[0].Name = RandomText(R, 40);
        TIdEMailAddressItem &To = M.Recipients.Add();
        To.Address = R.bounded(10) ? QStringLiteral("t@example.com") : RandomText(R, 30);
        To.Name = RandomText(R, 60);
        M.Subject = RandomText(R, R.bounded(4) ? 100 : 2500);
        if (R.bounded(8) == 0) // plain words around a run of spaces, which cannot be folded
            M.Subject = QStringLiteral("x") +
                        QString(static_cast<qsizetype>(R.bounded(1500)), QLatin1Char(' ')) +
                        M.Subject.toLatin1().toBase64();
        const int Lines = static_cast<int>(R.bounded(6));
        for (int I = 0; I < Lines; ++I)
            M.Body << RandomText(R, R.bounded(5) ? 80 : 3000);
        try {
            const QByteArray Out = M.Compose(QStringLiteral("Quillfast v2.0"));
            if (!LinesSound(Out, true))
                Fail("unsound message lines", Round);
        } catch (const EIdException &E) {
            if (E.Message().isEmpty())
                Fail("exception without a message", Round);
        }
    }
    std::fprintf(stderr, "%d failures\n", Failures);
    return Failures ? 1 : 0;
}
