#include "delivery/idmessage.h"

#include "delivery/charsets.h"
#include "delivery/idexception.h"
#include "delivery/mimeencode.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::delivery {

namespace {

// The current local time as RFC 5322 wants it. Made once a second per thread: the local
// time lookup takes a process-wide lock that 15 senders would queue on.
QByteArray RfcDate()
{
    static const char *const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    thread_local time_t Second = -1;
    thread_local QByteArray Text;
    const time_t Now = time(nullptr);
    if (Now == Second)
        return Text;
    tm T{};
    localtime_r(&Now, &T);
    const long Off = T.tm_gmtoff / 60;
    const long AbsOff = Off < 0 ? -Off : Off;
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%s, %02d %s %d %02d:%02d:%02d %c%02ld%02ld", Days[T.tm_wday],
                  T.tm_mday, Months[T.tm_mon], T.tm_year + 1900, T.tm_hour, T.tm_min, T.tm_sec,
                  Off < 0 ? '-' : '+', AbsOff / 60, AbsOff % 60);
    Second = Now;
    Text = Buf;
    return Text;
}

// Per thread, so that senders do not contend for the global generator's lock.
quint64 Random64()
{
    thread_local QRandomGenerator64 Generator(QRandomGenerator::system()->generate());
    return Generator.generate64();
}

// Appends N in base 36, as QByteArray::number(N, 36) writes it.
void AppendBase36(QByteArray &Out, quint64 N)
{
    char Buf[16];
    char *P = Buf + sizeof Buf;
    do {
        *--P = "0123456789abcdefghijklmnopqrstuvwxyz"[N % 36];
        N /= 36;
    } while (N);
    Out.append(P, Buf + sizeof Buf - P);
}

// The domain of a message id: the sender's (as WireAddress gives it), or this machine's name.
QByteArray MessageIdDomain(const QByteArray &FromAddress)
{
    const qsizetype At = FromAddress.lastIndexOf('@');
    QByteArray Domain = FromAddress.mid(At + 1);
    if (At < 0 || Domain.isEmpty() || Domain.contains('>') || Domain.contains(' ') ||
        Domain.contains('<'))
        Domain = LocalHostName();
    return Domain;
}

// The "Message-ID: " header line.
void AppendMessageId(QByteArray &Out, const QByteArray &Domain)
{
    static std::atomic<quint64> Counter{0};
    Out.append("Message-ID: <");
    AppendBase36(Out, quint64(QDateTime::currentMSecsSinceEpoch()));
    Out.append('.');
    AppendBase36(Out, Counter.fetch_add(1) + 1);
    Out.append('.');
    AppendBase36(Out, Random64());
    Out.append('@');
    Out.append(Domain);
    Out.append(">\r\n");
}

// "name <address>" or the bare address.
void AppendMailbox(THeaderTokens &Tokens, const TIdEMailAddressItem &Item, TCharsetEncoder &Encoder,
                   const QString &Role)
{
    const QByteArray Address = WireAddress(Item.Address, Role);
    if (Item.Name.isEmpty()) {
        Tokens.append(Address);
        return;
    }
    Tokens.append(EncodePhrase(Item.Name, Encoder));
    Tokens.append('<' + Address + '>');
}

THeaderTokens AddressListTokens(const TIdEMailAddressList &List, TCharsetEncoder &Encoder,
                                const QString &Role)
{
    THeaderTokens Tokens;
    for (int I = 0; I < List.Count(); ++I) {
        if (List[I].Address.isEmpty())
            continue; // an empty entry says "no address"
        CheckAddress(List[I].Address, Role);
        if (!Tokens.isEmpty())
            Tokens.last().append(',');
        AppendMailbox(Tokens, List[I], Encoder, Role);
    }
    return Tokens;
}

QByteArray NewBoundary()
{
    // "=_" cannot occur in quoted-printable or base64 text, so no part can hold the boundary.
    return "=_QF_" + QByteArray::number(Random64(), 16) + QByteArray::number(Random64(), 16);
}

// The body text with CR LF after every line, also after lines the caller left with breaks inside.
QString CanonicalBody(const QStringList &Lines)
{
    QString Text;
    qsizetype Size = 0;
    for (const QString &L : Lines)
        Size += L.size() + 2;
    Text.reserve(Size + Size / 32);
    for (const QString &L : Lines) {
        const QChar *P = L.constData();
        const qsizetype N = L.size();
        qsizetype From = 0;
        for (qsizetype I = 0; I < N; ++I) {
            // Four characters at a time while none is below CR (no line break among them).
            for (quint64 W; I + 4 <= N; I += 4) {
                memcpy(&W, P + I, sizeof W);
                if ((W - 0x000E000E000E000EULL) & ~W & 0x8000800080008000ULL)
                    break;
            }
            if (I == N)
                break;
            const char16_t C = P[I].unicode();
            if (C != u'\r' && C != u'\n')
                continue;
            Text.append(P + From, I - From);
            Text.append(QLatin1String("\r\n"));
            if (C == u'\r' && I + 1 < N && P[I + 1] == QLatin1Char('\n'))
                ++I;
            From = I + 1;
        }
        Text.append(P + From, N - From);
        Text.append(QLatin1String("\r\n"));
    }
    return Text;
}

void AppendTextPart(QByteArray &Out, const QByteArray &Type, const QByteArray &Charset,
                    const QByteArray &Bytes)
{
    AppendHeader(Out, "Content-Type", {Type + ';', "charset=\"" + Charset + '"'});
    QByteArray Qp;
    if (!EncodeQuotedPrintableIfShorter(Bytes, Qp)) {
        Out.append("Content-Transfer-Encoding: base64\r\n\r\n");
        Out.append(EncodeBase64Lines(Bytes));
    } else {
        Out.append("Content-Transfer-Encoding: quoted-printable\r\n\r\n");
        Out.append(Qp);
        if (!Out.endsWith("\r\n"))
            Out.append("\r\n");
    }
}

// A file's identity as the system gives it; a file whose time stamp lies a few seconds back
// cannot be written again without a new one, whatever the file system's clock grain.
struct TFileStamp {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = -1;
    timespec Modified{}, Changed{};
    bool operator==(const TFileStamp &O) const
    {
        return Device == O.Device && Inode == O.Inode && Size == O.Size &&
               Modified.tv_sec == O.Modified.tv_sec && Modified.tv_nsec == O.Modified.tv_nsec &&
               Changed.tv_sec == O.Changed.tv_sec && Changed.tv_nsec == O.Changed.tv_nsec;
    }
};

// False when the file cannot be looked at or may still change within the same stamp.
bool StampOf(const QString &FileName, TFileStamp &Stamp)
{
    struct stat St {};
    if (::stat(QFile::encodeName(FileName).constData(), &St) != 0 || !S_ISREG(St.st_mode))
        return false;
    Stamp = {St.st_dev, St.st_ino, St.st_size, St.st_mtim, St.st_ctim};
    const time_t Now = time(nullptr);
    return St.st_mtim.tv_sec + 2 < Now && St.st_ctim.tv_sec + 2 < Now;
}

void AppendAttachment(QByteArray &Out, const TIdAttachment &A)
{
    QFile F(A.FileName());
    if (!F.open(QIODevice::ReadOnly))
        throw EIdException(QStringLiteral("The attachment \"%1\" cannot be read: %2")
                               .arg(A.FileName(), F.errorString()));
    const QByteArray Data = F.readAll();
    if (F.error() != QFileDevice::NoError)
        throw EIdException(QStringLiteral("The attachment \"%1\" cannot be read: %2")
                               .arg(A.FileName(), F.errorString()));
    const QString Name = QFileInfo(A.FileName()).fileName();
    AppendHeader(Out, "Content-Type",
                 THeaderTokens{A.ContentType() + ';'} + EncodeParameter("name", Name));
    Out.append("Content-Transfer-Encoding: base64\r\n");
    AppendHeader(Out, "Content-Disposition",
                 THeaderTokens{"attachment;"} + EncodeParameter("filename", Name));
    Out.append("\r\n");
    Out.append(EncodeBase64Lines(Data));
}

// A picture of the HTML body that is a file on this machine, sent inside the message.
struct TInlineImage {
    QString FileName;
    QByteArray ContentId; // without the angle brackets
};

// The value of an attribute as written, its character references resolved.
QString AttributeValue(const QString &Written)
{
    if (!Written.contains(QLatin1Char('&')))
        return Written;
    thread_local const QRegularExpression Reference(
        QStringLiteral("&(?:#(\\d+)|#[xX]([0-9a-fA-F]+)|(amp|lt|gt|quot|apos));"));
    QString Out;
    qsizetype At = 0;
    for (auto It = Reference.globalMatch(Written); It.hasNext();) {
        const QRegularExpressionMatch M = It.next();
        Out += Written.mid(At, M.capturedStart() - At);
        At = M.capturedEnd();
        const QString Name = M.captured(3);
        char32_t Code = Name == QLatin1String("amp")    ? U'&'
                        : Name == QLatin1String("lt")   ? U'<'
                        : Name == QLatin1String("gt")   ? U'>'
                        : Name == QLatin1String("quot") ? U'"'
                        : Name == QLatin1String("apos") ? U'\''
                        : !M.captured(1).isEmpty()      ? M.captured(1).toUInt()
                                                        : M.captured(2).toUInt(nullptr, 16);
        if (Code == 0 || Code > 0x10FFFF)
            Code = 0xFFFD;
        Out += QString::fromUcs4(&Code, 1);
    }
    return Out + Written.mid(At);
}

// The local file an image source names: an absolute path or a file: URL. Anything else
// (http, https, cid, data, a path relative to nothing) is left to the reader's program.
QString LocalImageFile(const QString &Src)
{
    const QString S = Src.trimmed();
    if (S.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(S).toLocalFile();
    if (S.startsWith(QLatin1Char('/')) && !S.startsWith(QLatin1String("//")))
        return S;
    return {};
}

// Points every <img> of Html that shows a local file at an inline part ("cid:"); one part
// per file, however often it is shown.
QString InlineLocalImages(const QString &Html, std::vector<TInlineImage> &Images)
{
    if (!Html.contains(QLatin1String("<img"), Qt::CaseInsensitive))
        return Html;
    thread_local const QRegularExpression Img(
        QStringLiteral("<img\\b[^>]*?\\ssrc\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    QString Out;
    qsizetype At = 0;
    for (auto It = Img.globalMatch(Html); It.hasNext();) {
        const QRegularExpressionMatch M = It.next();
        const int Group = M.capturedStart(1) >= 0 ? 1 : M.capturedStart(2) >= 0 ? 2 : 3;
        const QString File = LocalImageFile(AttributeValue(M.captured(Group)));
        if (File.isEmpty())
            continue;
        auto Found = std::find_if(Images.begin(), Images.end(),
                                  [&](const TInlineImage &I) { return I.FileName == File; });
        if (Found == Images.end()) {
            Images.push_back({File, "img" + QByteArray::number(Images.size() + 1) + '.' +
                                        QByteArray::number(Random64(), 36) + '@' +
                                        LocalHostName()});
            Found = Images.end() - 1;
        }
        Out += Html.mid(At, M.capturedStart(Group) - At);
        Out += QLatin1String("cid:") + QString::fromLatin1(Found->ContentId);
        At = M.capturedEnd(Group);
    }
    return Images.empty() ? Html : Out + Html.mid(At);
}

// Where the charset a META's content names stands in Content ("text/html; charset=UTF-8"),
// found as browsers find it; false when it names none.
bool ContentCharset(const QString &Content, qsizetype &From, qsizetype &To)
{
    const auto Blank = [](QChar C) { return C == u' ' || (C >= u'\t' && C <= u'\r'); };
    for (qsizetype At = 0;
         (At = Content.indexOf(QLatin1String("charset"), At, Qt::CaseInsensitive)) >= 0;) {
        qsizetype I = At + 7;
        At = I;
        while (I < Content.size() && Blank(Content[I]))
            ++I;
        if (I == Content.size() || Content[I] != u'=')
            continue;
        ++I;
        while (I < Content.size() && Blank(Content[I]))
            ++I;
        if (I < Content.size() && (Content[I] == u'"' || Content[I] == u'\'')) {
            To = Content.indexOf(Content[I], I + 1);
            From = I + 1;
            return To > From;
        }
        From = To = I;
        while (To < Content.size() && !Blank(Content[To]) && Content[To] != u';')
            ++To;
        return To > From;
    }
    return false;
}

// The body's own META tags name the charset the message goes out in, so that the page and
// the message header never disagree about how its bytes are read.
QString NameCharsetInMeta(const QString &Html, const QByteArray &Charset)
{
    if (!Html.contains(QLatin1String("<meta"), Qt::CaseInsensitive))
        return Html;
    thread_local const QRegularExpression Meta(
        QStringLiteral("<meta(?=[\\s/>])(?:[^>\"']|\"[^\"]*\"|'[^']*')*>"),
        QRegularExpression::CaseInsensitiveOption);
    thread_local const QRegularExpression Attribute(
        QStringLiteral("([^\\s\"'>/=]+)(?:\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+)))?"));
    const QString Name = QString::fromLatin1(Charset);
    QString Out;
    qsizetype At = 0;
    for (auto It = Meta.globalMatch(Html); It.hasNext();) {
        const QRegularExpressionMatch M = It.next();
        // The place of the charset attribute's value, else of the charset in a Content-Type
        // declaration's content.
        qsizetype From = -1, To = -1, ContentFrom = -1, ContentTo = -1;
        bool ContentType = false;
        for (auto A = Attribute.globalMatch(Html, M.capturedStart() + 5); A.hasNext();) {
            const QRegularExpressionMatch V = A.next();
            if (V.capturedEnd() >= M.capturedEnd())
                break;
            const int Group = V.capturedStart(2) >= 0 ? 2 : V.capturedStart(3) >= 0 ? 3 : 4;
            const QString Attr = V.captured(1).toLower();
            if (Attr == QLatin1String("charset") && From < 0 && V.capturedStart(Group) >= 0) {
                From = V.capturedStart(Group);
                To = V.capturedEnd(Group);
            } else if (Attr == QLatin1String("http-equiv")) {
                ContentType = V.captured(Group).trimmed().compare(QLatin1String("content-type"),
                                                                  Qt::CaseInsensitive) == 0;
            } else if (Attr == QLatin1String("content") && ContentFrom < 0 &&
                       V.capturedStart(Group) >= 0) {
                ContentFrom = V.capturedStart(Group);
                ContentTo = V.capturedEnd(Group);
            }
        }
        if (From < 0 && ContentType && ContentFrom >= 0 &&
            ContentCharset(Html.mid(ContentFrom, ContentTo - ContentFrom), From, To)) {
            From += ContentFrom;
            To += ContentFrom;
        }
        if (From < 0 || QStringView(Html).mid(From, To - From) == Name)
            continue;
        Out += QStringView(Html).mid(At, From - At);
        Out += Name;
        At = To;
    }
    if (At == 0)
        return Html;
    Out += QStringView(Html).mid(At);
    return Out;
}

QByteArray ReadImage(const QString &FileName)
{
    QFile F(FileName);
    QByteArray Data;
    if (F.open(QIODevice::ReadOnly))
        Data = F.readAll();
    if (!F.isOpen() || F.error() != QFileDevice::NoError)
        throw EIdException(QStringLiteral("The picture \"%1\" in the message cannot be read: %2")
                               .arg(FileName, F.errorString()));
    return Data;
}

// Base64: the picture's bytes in base64 lines.
void AppendInlineImage(QByteArray &Out, const TInlineImage &Image, const QByteArray &Base64)
{
    const QString Name = QFileInfo(Image.FileName).fileName();
    AppendHeader(Out, "Content-Type",
                 THeaderTokens{GuessContentType(Image.FileName) + ';'} +
                     EncodeParameter("name", Name));
    Out.append("Content-Transfer-Encoding: base64\r\n");
    Out.append("Content-ID: <" + Image.ContentId + ">\r\n");
    AppendHeader(Out, "Content-Disposition",
                 THeaderTokens{"inline;"} + EncodeParameter("filename", Name));
    Out.append("\r\n");
    Out.append(Base64);
}

bool HasControl(const QString &S)
{
    for (const QChar C : S)
        if (C.unicode() < 0x20 || C.unicode() == 0x7F)
            return true;
    return false;
}

} // namespace

QByteArray LocalHostName()
{
    static const QByteArray Name = [] {
        char H[256] = {};
        if (gethostname(H, sizeof H - 1) != 0 || !H[0])
            return QByteArray("localhost");
        return QByteArray(H);
    }();
    return Name;
}

void CheckAddress(const QString &Address, const QString &Role)
{
    if (Address.trimmed().isEmpty())
        throw EIdException(QStringLiteral("The %1 address is empty").arg(Role));
    // Far past what SMTP allows (256), and it keeps header lines within their limit.
    if (Address.toUtf8().size() > 900)
        throw EIdException(
            QStringLiteral("The %1 address \"%2...\" is too long").arg(Role, Address.left(40)));
    if (HasControl(Address))
        throw EIdException(QStringLiteral("The %1 address \"%2\" holds control characters")
                               .arg(Role, QString(Address)
                                              .replace(QLatin1Char('\r'), QLatin1Char(' '))
                                              .replace(QLatin1Char('\n'), QLatin1Char(' '))));
}

QByteArray WireAddress(const QString &Address, const QString &Role)
{
    const qsizetype At = Address.lastIndexOf(QLatin1Char('@'));
    const QString Domain = Address.mid(At + 1);
    const bool Ascii =
        std::all_of(Domain.begin(), Domain.end(), [](QChar C) { return C.unicode() < 0x80; });
    if (At < 0 || Ascii || Domain.startsWith(QLatin1Char('[')))
        return Address.toUtf8();
    const QByteArray Ace = QUrl::toAce(Domain);
    if (Ace.isEmpty())
        throw EIdException(
            QStringLiteral("The %1 address \"%2\" has a domain name that is not valid")
                .arg(Role, Address));
    return Address.left(At + 1).toUtf8() + Ace;
}

TIdEMailAddressItem &TIdEMailAddressList::Add() { return FItems.emplace_back(); }

QString TIdEMailAddressList::EMailAddresses() const
{
    QString S;
    for (const TIdEMailAddressItem &I : FItems) {
        if (!S.isEmpty())
            S.append(QLatin1String(", "));
        S.append(I.Address);
    }
    return S;
}

TIdAttachment::TIdAttachment(const QString &FileName)
    : FFileName(FileName), FContentType(GuessContentType(FileName))
{}

TIdAttachment &TIdMessageParts::AddAttachment(const QString &FileName)
{
    return *FItems.emplace_back(std::make_unique<TIdAttachment>(FileName));
}

struct TIdMessage::TCache {
    // The sender's headers (From, Reply-To) for this charset, sender and reply list.
    QString SenderCharset, FromAddress, FromName;
    std::vector<TIdEMailAddressItem> ReplyTo;
    QByteArray SenderHeaders, IdDomain;
    // The MIME-Version and X-Mailer lines.
    QString AgentCharset, Agent;
    QByteArray AgentHeaders;
    bool HasSender = false, HasAgent = false;
    // Files in base64, or attachment parts whole.
    struct TFile {
        QString FileName;
        TFileStamp Stamp;
        QByteArray Bytes;
    };
    std::vector<TFile> Images, Attachments;

    bool SameSender(const QString &Charset, const TIdEMailAddressItem &From,
                    const TIdEMailAddressList &List) const
    {
        if (!HasSender || SenderCharset != Charset || FromAddress != From.Address ||
            FromName != From.Name || int(ReplyTo.size()) != List.Count())
            return false;
        for (int I = 0; I < List.Count(); ++I)
            if (ReplyTo[size_t(I)].Address != List[I].Address ||
                ReplyTo[size_t(I)].Name != List[I].Name)
                return false;
        return true;
    }

    // The cached bytes of FileName while the file is unchanged, else Make's, kept when the
    // file has settled.
    template <class F>
    QByteArray Cached(std::vector<TFile> &Files, const QString &FileName, F Make)
    {
        TFileStamp Stamp;
        const bool Settled = StampOf(FileName, Stamp);
        auto It = std::find_if(Files.begin(), Files.end(),
                               [&](const TFile &T) { return T.FileName == FileName; });
        if (Settled && It != Files.end() && It->Stamp == Stamp)
            return It->Bytes;
        QByteArray Bytes = Make();
        if (It != Files.end())
            Files.erase(It);
        if (Settled)
            Files.push_back({FileName, Stamp, Bytes});
        return Bytes;
    }
};

TIdMessage::TIdMessage() = default;
TIdMessage::~TIdMessage() = default;

TCharsetEncoder &TIdMessage::Encoder() const
{
    const QString Name = CharSet.trimmed().isEmpty() ? QStringLiteral("utf-8") : CharSet.trimmed();
    if (!FEncoder || FEncoder->MimeName() != Name)
        FEncoder = std::make_unique<TCharsetEncoder>(Name);
    return *FEncoder;
}

QByteArray TIdMessage::Compose(const QString &MailAgent) const
{
    TCharsetEncoder &Enc = Encoder();
    const QByteArray Charset = Enc.WireName();
    QByteArray Type = ContentType.trimmed().toLatin1();
    if (Type.isEmpty())
        Type = "text/plain";
    if (HasControl(ContentType) || Type.contains(';') || !Type.contains('/'))
        throw EIdException(
            QStringLiteral("The content type \"%1\" is not valid").arg(ContentType.simplified()));
    const bool Html = Type.toLower() == "text/html";

    // Encode the body first: a character the charset lacks stops the message before anything else.
    // Pictures from files of this machine go with the message; the reader has no such files.
    std::vector<TInlineImage> Images;
    QString BodyText = CanonicalBody(Body);
    if (Html) {
        BodyText = InlineLocalImages(BodyText, Images);
        BodyText = NameCharsetInMeta(BodyText, Charset);
    }
    const QByteArray BodyBytes =
        Enc.Encode(BodyText, Html ? TCharsetEncoder::umHtmlReference : TCharsetEncoder::umFail);
    if (!FCache)
        FCache = std::make_unique<TCache>();
    TCache &C = *FCache;
    std::vector<QByteArray> ImageData;
    for (const TInlineImage &I : Images)
        ImageData.push_back(C.Cached(C.Images, I.FileName,
                                     [&] { return EncodeBase64Lines(ReadImage(I.FileName)); }));
    // The body part: the text alone, or the text with its pictures as one related whole.
    const auto AppendBody = [&](QByteArray &Out) {
        if (Images.empty()) {
            AppendTextPart(Out, Type, Charset, BodyBytes);
            return;
        }
        const QByteArray Related = NewBoundary();
        AppendHeader(Out, "Content-Type",
                     {"multipart/related;", "type=\"text/html\";", "boundary=\"" + Related + '"'});
        Out.append("\r\n--" + Related + "\r\n");
        AppendTextPart(Out, Type, Charset, BodyBytes);
        for (std::size_t I = 0; I < Images.size(); ++I) {
            Out.append("\r\n--" + Related + "\r\n");
            AppendInlineImage(Out, Images[I], ImageData[I]);
        }
        Out.append("\r\n--" + Related + "--\r\n");
    };

    if (!C.SameSender(Enc.MimeName(), From, ReplyTo)) {
        C.HasSender = false;
        CheckAddress(From.Address, QStringLiteral("sender"));
        QByteArray Headers;
        THeaderTokens FromTokens;
        AppendMailbox(FromTokens, From, Enc, QStringLiteral("sender"));
        AppendHeader(Headers, "From", FromTokens);
        const THeaderTokens ReplyTokens = AddressListTokens(ReplyTo, Enc, QStringLiteral("reply"));
        if (!ReplyTokens.isEmpty())
            AppendHeader(Headers, "Reply-To", ReplyTokens);
        C.IdDomain = MessageIdDomain(WireAddress(From.Address, QStringLiteral("sender")));
        C.SenderHeaders = Headers;
        C.SenderCharset = Enc.MimeName();
        C.FromAddress = From.Address;
        C.FromName = From.Name;
        C.ReplyTo.clear();
        for (int I = 0; I < ReplyTo.Count(); ++I)
            C.ReplyTo.push_back(ReplyTo[I]);
        C.HasSender = true;
    }
    QByteArray Out;
    Out.reserve(BodyBytes.size() + BodyBytes.size() / 3 + 1024);
    Out.append("Date: ");
    Out.append(RfcDate());
    Out.append("\r\n");
    Out.append(C.SenderHeaders);
    AppendHeader(Out, "Subject", EncodeHeaderText(Subject, Enc));
    const THeaderTokens ToTokens = AddressListTokens(Recipients, Enc, QStringLiteral("recipient"));
    if (ToTokens.isEmpty())
        throw EIdException(QStringLiteral("The message has no recipient"));
    AppendHeader(Out, "To", ToTokens);
    AppendMessageId(Out, C.IdDomain);
    if (!C.HasAgent || C.AgentCharset != Enc.MimeName() || C.Agent != MailAgent) {
        C.HasAgent = false;
        QByteArray Headers = "MIME-Version: 1.0\r\n";
        if (!MailAgent.isEmpty())
            AppendHeader(Headers, "X-Mailer", EncodeHeaderText(MailAgent, Enc));
        C.AgentHeaders = Headers;
        C.AgentCharset = Enc.MimeName();
        C.Agent = MailAgent;
        C.HasAgent = true;
    }
    Out.append(C.AgentHeaders);

    if (MessageParts.Count() == 0) {
        AppendBody(Out);
        return Out;
    }
    const QByteArray Boundary = NewBoundary();
    AppendHeader(Out, "Content-Type", {"multipart/mixed;", "boundary=\"" + Boundary + '"'});
    Out.append("\r\nThis is a multi-part message in MIME format.\r\n");
    Out.append("\r\n--" + Boundary + "\r\n");
    AppendBody(Out);
    for (int I = 0; I < MessageParts.Count(); ++I) {
        Out.append("\r\n--" + Boundary + "\r\n");
        const TIdAttachment &A = MessageParts[I];
        Out.append(C.Cached(C.Attachments, A.FileName(), [&] {
            QByteArray Part;
            AppendAttachment(Part, A);
            return Part;
        }));
    }
    Out.append("\r\n--" + Boundary + "--\r\n");
    return Out;
}

} // namespace qf::delivery
