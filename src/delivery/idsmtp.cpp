#include "delivery/idsmtp.h"

#include "delivery/idexception.h"
#include "delivery/idmessage.h"

#include <QList>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qf::delivery {

namespace {

using TClock = std::chrono::steady_clock;

TClock::time_point After(int Ms) { return TClock::now() + std::chrono::milliseconds(Ms); }

QString ErrnoText(int Error) { return QString::fromLocal8Bit(strerror(Error)); }

QString SecondsText(int Ms) { return QString::number((Ms + 999) / 1000); }

// The connection went away under us: the server closed or reset it, or said 421 (closing).
class EClosed : public EIdReplyError {
public:
    explicit EClosed(const QString &Message, int Code = 0) : EIdReplyError(Code, Message) {}
};

// The interrupt was raised while waiting.
class ECancelled : public EIdException {
public:
    ECancelled() : EIdException(QStringLiteral("Cancelled")) {}
};

struct TReply {
    int Code = 0;
    QByteArray Text; // the lines joined by blanks, codes left out after the first
    QList<QByteArray> Lines;
    bool Positive() const { return Code >= 200 && Code < 300; }
};

// The offset of the first line break followed by a dot, from From on; -1 if none.
qsizetype DotLine(const QByteArray &Message, qsizetype From)
{
    const char *const Begin = Message.constData();
    const char *const End = Begin + Message.size();
    for (const char *P = Begin + From; P < End;) {
        const auto *Eol = static_cast<const char *>(memchr(P, '\n', size_t(End - P)));
        if (!Eol || Eol + 1 == End)
            return -1;
        if (Eol[1] == '.')
            return Eol - Begin;
        P = Eol + 1;
    }
    return -1;
}

// The message as the DATA command carries it: lines starting with a dot get another one, and
// a line with a lone dot ends it. A message without such lines is taken over as it is.
QByteArray DataBlock(QByteArray Message)
{
    if (!Message.startsWith('.') && DotLine(Message, 0) < 0) {
        if (!Message.isEmpty() && !Message.endsWith("\r\n"))
            Message.append("\r\n");
        Message.append(".\r\n");
        return Message;
    }
    QByteArray Out;
    Out.reserve(Message.size() + Message.size() / 64 + 8);
    qsizetype From = 0;
    if (Message.startsWith('.'))
        Out.append('.');
    for (;;) {
        const qsizetype Dot = DotLine(Message, From);
        if (Dot < 0)
            break;
        Out.append(Message.constData() + From, Dot + 2 - From);
        Out.append('.');
        From = Dot + 2;
    }
    Out.append(Message.constData() + From, Message.size() - From);
    if (!Out.isEmpty() && !Out.endsWith("\r\n"))
        Out.append("\r\n");
    Out.append(".\r\n");
    return Out;
}

bool HasHighBytes(const QByteArray &A)
{
    const char *P = A.constData();
    const qsizetype N = A.size();
    qsizetype I = 0;
    for (; I + 8 <= N; I += 8) {
        quint64 W;
        memcpy(&W, P + I, sizeof W);
        if (W & 0x8080808080808080ULL)
            return true;
    }
    for (; I < N; ++I)
        if ((unsigned char)P[I] >= 0x80)
            return true;
    return false;
}

} // namespace

TIdInterrupt::TIdInterrupt() : FHandle(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TIdInterrupt::~TIdInterrupt()
{
    if (FHandle >= 0)
        close(FHandle);
}

void TIdInterrupt::Raise()
{
    FRaised = true;
    const uint64_t One = 1;
    if (FHandle >= 0)
        (void)!write(FHandle, &One, sizeof One);
}

void TIdInterrupt::Clear()
{
    FRaised = false;
    uint64_t Count;
    if (FHandle >= 0)
        (void)!read(FHandle, &Count, sizeof Count);
}

struct TIdSMTP::TImpl {
    TIdSMTP &Owner;
    int Fd = -1;
    std::shared_ptr<TIdInterrupt> Interrupt; // the one of the last Connect
    QByteArray In;                           // received, from InPos on not yet taken
    qsizetype InPos = 0;
    int ConnectTimeout = IdTimeoutDefault;
    // What the server offers, from its EHLO reply.
    bool Pipelining = false;
    bool EightBitMime = false;
    bool SmtpUtf8 = false;
    qint64 SizeLimit = 0;
    QList<QByteArray> AuthMechanisms;
    // Connected said yes and nothing was sent or read since: Send need not ask again.
    bool Checked = false;

    explicit TImpl(TIdSMTP &O) : Owner(O) {}
    ~TImpl() { Close(true); }

    QString ServerName() const { return QStringLiteral("%1:%2").arg(Owner.Host).arg(Owner.Port); }

    void Close(bool Quit = false)
    {
        Checked = false;
        if (Fd < 0)
            return;
        if (Quit)
            (void)!send(Fd, "QUIT\r\n", 6, MSG_NOSIGNAL | MSG_DONTWAIT);
        close(Fd);
        Fd = -1;
        In.clear();
        InPos = 0;
        Pipelining = EightBitMime = SmtpUtf8 = false;
        SizeLimit = 0;
        AuthMechanisms.clear();
    }

    [[noreturn]] void Cancelled()
    {
        Close();
        throw ECancelled();
    }

    // Waits until the socket is ready for Events; false when Deadline passed first. A raised
    // interrupt fails with "Cancelled", or, given Interrupted, sets it and returns false.
    bool Wait(short Events, TClock::time_point Deadline, bool Interruptible,
              bool *Interrupted = nullptr)
    {
        const int Wake = Interruptible && Interrupt ? Interrupt->Handle() : -1;
        for (;;) {
            pollfd P[2] = {{Fd, Events, 0}, {Wake, POLLIN, 0}};
            const auto Left =
                std::chrono::ceil<std::chrono::milliseconds>(Deadline - TClock::now()).count();
            const int Rc = poll(P, Wake >= 0 ? 2 : 1, int(std::clamp<long long>(Left, 0, 1 << 30)));
            if (Rc < 0) {
                if (errno == EINTR)
                    continue;
                throw EIdException(QStringLiteral("Waiting for the SMTP server failed: ") +
                                   ErrnoText(errno));
            }
            if (P[0].revents) // what has arrived counts, even with the interrupt raised
                return true;
            if (Wake >= 0 && P[1].revents) {
                if (!Interrupted)
                    Cancelled();
                *Interrupted = true;
                return false;
            }
            if (Rc == 0 && TClock::now() >= Deadline)
                return false;
        }
    }

    // Takes one complete reply from the received bytes; false when it is not all in yet. At
    // the end of the stream (AtEnd) a last line without its line break is complete too: a
    // server may close straight after writing it.
    bool TakeReply(TReply &R, bool AtEnd = false)
    {
        qsizetype Pos = InPos;
        TReply Out;
        for (;;) {
            qsizetype Eol = In.indexOf('\n', Pos);
            if (Eol < 0 && AtEnd && Pos < In.size() && FinalLine(Pos))
                Eol = In.size();
            if (Eol < 0) {
                if (In.size() - InPos > 65536)
                    Fail(QStringLiteral("The SMTP server's reply is too long"));
                return false;
            }
            QByteArrayView Line(In.constData() + Pos, Eol - Pos);
            Pos = std::min(Eol + 1, In.size());
            if (Line.endsWith('\r'))
                Line.chop(1);
            const bool Digits =
                Line.size() >= 3 && std::all_of(Line.begin(), Line.begin() + 3,
                                                [](char C) { return C >= '0' && C <= '9'; });
            if (!Digits || (Line.size() > 3 && Line[3] != ' ' && Line[3] != '-'))
                Fail(
                    QStringLiteral("The SMTP server's reply \"%1\" is not SMTP")
                        .arg(QString::fromUtf8(Line.first(std::min<qsizetype>(200, Line.size())))));
            const QByteArrayView Rest = Line.size() > 4 ? Line.sliced(4) : QByteArrayView();
            if (Out.Lines.isEmpty()) {
                Out.Code = (Line[0] - '0') * 100 + (Line[1] - '0') * 10 + (Line[2] - '0');
                Out.Text.reserve(Line.size());
                Out.Text.append(Line.first(3));
            }
            if (!Rest.isEmpty()) {
                Out.Text.append(' ');
                Out.Text.append(Rest);
            }
            Out.Lines.append(Rest.toByteArray());
            if (Line.size() == 3 || Line[3] == ' ')
                break;
        }
        InPos = Pos;
        if (InPos == In.size()) {
            In.resize(0); // keeps the buffer for the next reply
            InPos = 0;
        }
        R = std::move(Out);
        return true;
    }

    // The bytes from Pos to the end are the last line of a reply: a code, then nothing or a
    // blank and text.
    bool FinalLine(qsizetype Pos) const
    {
        QByteArrayView Line(In.constData() + Pos, In.size() - Pos);
        if (Line.endsWith('\r'))
            Line.chop(1);
        return Line.size() >= 3 &&
               std::all_of(Line.begin(), Line.begin() + 3,
                           [](char C) { return C >= '0' && C <= '9'; }) &&
               (Line.size() == 3 || Line[3] == ' ');
    }

    [[noreturn]] void Fail(const QString &Text)
    {
        Close();
        throw EIdException(Text);
    }

    // Reads what the socket holds without waiting; false when the server closed it.
    bool Receive()
    {
        constexpr qsizetype Chunk = 4096;
        for (;;) {
            // Straight into the buffer, which keeps its room from reply to reply.
            const qsizetype Old = In.size();
            In.resize(Old + Chunk);
            const ssize_t N = recv(Fd, In.data() + Old, Chunk, 0);
            In.resize(Old + std::max<ssize_t>(N, 0));
            if (N > 0) {
                if (N < Chunk)
                    return true;
                continue;
            }
            if (N == 0)
                return false;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            if (errno == ECONNRESET)
                return false;
            Fail(QStringLiteral("Reading from the SMTP server %1 failed: %2")
                     .arg(ServerName(), ErrnoText(errno)));
        }
    }

    // Reads one reply within TimeoutMs. An interrupt fails it at once, or after GraceMs when
    // the reply has not come by then.
    TReply Read(const QString &What, int TimeoutMs, int GraceMs = 0)
    {
        Checked = false;
        auto Deadline = After(TimeoutMs);
        bool Interrupted = false;
        TReply R;
        while (!TakeReply(R)) {
            if (!Wait(POLLIN, Deadline, !Interrupted, GraceMs > 0 ? &Interrupted : nullptr)) {
                if (Interrupted) {
                    if (GraceMs <= 0)
                        Cancelled();
                    Deadline = std::min(Deadline, After(GraceMs));
                    GraceMs = 0; // the next time the grace is over
                    continue;
                }
                Close();
                throw EIdException(
                    QStringLiteral("Timeout: the SMTP server %1 did not answer %2 within %3 s")
                        .arg(ServerName(), What, SecondsText(TimeoutMs)));
            }
            if (!Receive() && !TakeReply(R, true)) {
                Close();
                throw EClosed(QStringLiteral("The SMTP server %1 closed the connection (%2)")
                                  .arg(ServerName(), What));
            }
            if (R.Code)
                break;
        }
        return R;
    }

    // Writes all of Data; the time-out runs while not one byte moves.
    void Write(const QByteArray &Data, int TimeoutMs)
    {
        Checked = false;
        qsizetype Off = 0;
        auto Deadline = After(TimeoutMs);
        while (Off < Data.size()) {
            const ssize_t N =
                send(Fd, Data.constData() + Off, size_t(Data.size() - Off), MSG_NOSIGNAL);
            if (N > 0) {
                Off += N;
                Deadline = After(TimeoutMs);
                continue;
            }
            if (N < 0 && errno == EINTR)
                continue;
            if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!Wait(POLLOUT, Deadline, true))
                    Fail(QStringLiteral("Timeout: the SMTP server %1 took nothing for %2 s")
                             .arg(ServerName(), SecondsText(TimeoutMs)));
                continue;
            }
            const int Error = errno;
            // The server may have said why before it closed.
            Receive();
            TReply R;
            if (TakeReply(R))
                Expect(R, 0);
            Close();
            throw EClosed(QStringLiteral("Writing to the SMTP server %1 failed: %2")
                              .arg(ServerName(), ErrnoText(Error)));
        }
    }

    // The reply must be positive (or Code's class); otherwise the connection goes, with it.
    void Expect(const TReply &R, int Class = 2)
    {
        if (R.Code / 100 == Class)
            return;
        Close();
        if (R.Code == 421)
            throw EClosed(QString::fromUtf8(R.Text), R.Code);
        throw EIdReplyError(R.Code, QString::fromUtf8(R.Text));
    }

    TReply Command(const QByteArray &Line, int TimeoutMs)
    {
        Write(Line + "\r\n", TimeoutMs);
        return Read(QStringLiteral("to ") + QString::fromLatin1(Line.left(Line.indexOf(' '))),
                    TimeoutMs);
    }

    void ReadExtensions(const TReply &R)
    {
        for (qsizetype I = 1; I < R.Lines.size(); ++I) {
            const QList<QByteArray> Words = R.Lines[I].simplified().toUpper().split(' ');
            const QByteArray &Key = Words.first();
            if (Key == "PIPELINING")
                Pipelining = true;
            else if (Key == "8BITMIME")
                EightBitMime = true;
            else if (Key == "SMTPUTF8")
                SmtpUtf8 = true;
            else if (Key == "SIZE")
                SizeLimit = Words.value(1).toLongLong();
            else if (Key == "AUTH" || Key.startsWith("AUTH="))
                for (qsizetype W = 0; W < Words.size(); ++W)
                    AuthMechanisms.append(W == 0 ? Words[0].mid(5) : Words[W]);
        }
    }

    void Authenticate(int TimeoutMs)
    {
        const QByteArray User = Owner.Username.toUtf8();
        const QByteArray Pass = Owner.Password.toUtf8();
        if (AuthMechanisms.contains("PLAIN")) {
            const QByteArray Token = (QByteArray(1, '\0') + User + '\0' + Pass).toBase64();
            Expect(Command("AUTH PLAIN " + Token, TimeoutMs));
        } else if (AuthMechanisms.contains("LOGIN")) {
            Expect(Command("AUTH LOGIN", TimeoutMs), 3);
            Expect(Command(User.toBase64(), TimeoutMs), 3);
            Expect(Command(Pass.toBase64(), TimeoutMs));
        } else if (!AuthMechanisms.isEmpty()) {
            Fail(QStringLiteral("The SMTP server %1 offers no sign-in this program can do (%2)")
                     .arg(ServerName(), QString::fromLatin1(AuthMechanisms.join(' '))));
        }
        // A server that offers no AUTH at all is used without signing in.
    }

    void Open(int Timeout)
    {
        const QString HostName = Owner.Host.trimmed();
        if (Owner.Port < 1 || Owner.Port > 65535)
            throw EIdException(
                QStringLiteral("The SMTP port %1 is not valid (1 to 65535)").arg(Owner.Port));
        const QByteArray Ace = QUrl::toAce(HostName);
        if (HostName.isEmpty() || Ace.isEmpty() || Ace.contains(' '))
            throw EIdException(QStringLiteral("The SMTP host \"%1\" is not valid").arg(Owner.Host));
        if (Interrupt && Interrupt->Raised())
            Cancelled();
        addrinfo Hints{};
        Hints.ai_family = AF_UNSPEC;
        Hints.ai_socktype = SOCK_STREAM;
        addrinfo *List = nullptr;
        const int Gai =
            getaddrinfo(Ace.constData(), QByteArray::number(Owner.Port).constData(), &Hints, &List);
        if (Gai != 0)
            throw EIdException(QStringLiteral("The SMTP host \"%1\" cannot be found: %2")
                                   .arg(HostName, QString::fromLocal8Bit(gai_strerror(Gai))));
        const auto Deadline = After(Timeout);
        int Error = 0;
        bool TimedOut = false;
        try {
            for (addrinfo *A = List; A && Fd < 0; A = A->ai_next) {
                Fd = socket(A->ai_family, A->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            A->ai_protocol);
                if (Fd < 0) {
                    Error = errno;
                    continue;
                }
                if (connect(Fd, A->ai_addr, A->ai_addrlen) != 0 && errno != EINPROGRESS) {
                    Error = errno;
                } else if (!Wait(POLLOUT, Deadline, true)) {
                    TimedOut = true;
                    Error = ETIMEDOUT;
                } else {
                    socklen_t Len = sizeof Error;
                    if (getsockopt(Fd, SOL_SOCKET, SO_ERROR, &Error, &Len) != 0)
                        Error = errno;
                }
                if (Error) {
                    close(Fd);
                    Fd = -1;
                    if (TimedOut)
                        break;
                }
            }
        } catch (...) {
            freeaddrinfo(List);
            throw;
        }
        freeaddrinfo(List);
        if (Fd < 0) {
            if (TimedOut)
                throw EIdException(
                    QStringLiteral("Timeout: no connection to the SMTP server %1 within %2 s")
                        .arg(ServerName(), SecondsText(Timeout)));
            throw EIdException(QStringLiteral("Cannot connect to the SMTP server %1: %2")
                                   .arg(ServerName(), ErrnoText(Error)));
        }
        const int On = 1;
        setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
        setsockopt(Fd, SOL_SOCKET, SO_KEEPALIVE, &On, sizeof On);
    }
};

TIdSMTP::TIdSMTP() : FImpl(new TImpl(*this)) {}

TIdSMTP::~TIdSMTP() { delete FImpl; }

bool TIdSMTP::Connected() const
{
    if (FImpl->Fd < 0)
        return false;
    pollfd P{FImpl->Fd, POLLIN | POLLRDHUP, 0};
    if (poll(&P, 1, 0) < 0)
        return false;
    // An idle SMTP connection has nothing to say: anything readable is a close or a
    // "421 closing" on its way.
    FImpl->Checked = P.revents == 0 && FImpl->InPos == FImpl->In.size();
    return FImpl->Checked;
}

void TIdSMTP::Connect(int Timeout)
{
    if (Timeout <= 0)
        Timeout = IdTimeoutDefault;
    TImpl &I = *FImpl;
    I.Close(true);
    I.ConnectTimeout = Timeout;
    I.Interrupt = Interrupt;
    I.Open(Timeout);
    try {
        I.Expect(I.Read(QStringLiteral("with its greeting"), Timeout));
        const QByteArray Me = LocalHostName();
        TReply R = I.Command("EHLO " + Me, Timeout);
        if (R.Code >= 500 && R.Code < 600) // an old server: plain SMTP
            R = I.Command("HELO " + Me, Timeout);
        I.Expect(R);
        I.ReadExtensions(R);
        if (!Password.isEmpty())
            I.Authenticate(Timeout);
    } catch (...) {
        I.Close();
        throw;
    }
}

void TIdSMTP::Disconnect() { FImpl->Close(true); }

void TIdSMTP::Send(const TIdMessage &Message)
{
    TImpl &I = *FImpl;
    // A non-ASCII mailbox name goes only to a server that said it takes one.
    auto Envelope = [&I](const QString &Address, const QString &Role) {
        CheckAddress(Address, Role);
        const QByteArray A = WireAddress(Address, Role);
        if (HasHighBytes(A) && !I.SmtpUtf8)
            throw EIdException(
                QStringLiteral(
                    "The %1 address \"%2\" has a mailbox name with non-ASCII characters, "
                    "which this SMTP server does not accept (it does not offer SMTPUTF8)")
                    .arg(Role, Address));
        return A;
    };
    if (I.Fd < 0)
        throw EIdException(QStringLiteral("Not connected to the SMTP server"));
    const QByteArray From = Envelope(Message.From.Address, QStringLiteral("sender"));
    QList<QByteArray> To;
    bool Utf8 = HasHighBytes(From);
    for (int N = 0; N < Message.Recipients.Count(); ++N) {
        To.append(Envelope(Message.Recipients[N].Address, QStringLiteral("recipient")));
        Utf8 = Utf8 || HasHighBytes(To.last());
    }
    if (To.isEmpty())
        throw EIdException(QStringLiteral("The message has no recipient"));
    const QByteArray Data = DataBlock(Message.Compose(MailAgent));
    if (I.SizeLimit > 0 && Data.size() > I.SizeLimit)
        throw EIdException(
            QStringLiteral("The message is %1 bytes long, more than the SMTP server takes (%2)")
                .arg(Data.size())
                .arg(I.SizeLimit));

    // A connection the server closed while idle is made again; so is one it closes in answer
    // to the first command, as long as this Send did not make it.
    bool Reused = true;
    // A close in the short while since the caller asked is met by the first reply below.
    if (!I.Checked && !Connected()) {
        Connect(I.ConnectTimeout);
        Reused = false;
    }
    for (;;) {
        bool DataSent = false;
        try {
            QByteArray Mail = "MAIL FROM:<" + From + '>';
            if (I.SizeLimit > 0)
                Mail += " SIZE=" + QByteArray::number(Data.size());
            if (Utf8 && I.SmtpUtf8)
                Mail += " SMTPUTF8";
            if (I.EightBitMime && HasHighBytes(Data))
                Mail += " BODY=8BITMIME";
            Mail += "\r\n";
            if (I.Pipelining) {
                QByteArray Group = Mail;
                for (const QByteArray &A : To)
                    Group += "RCPT TO:<" + A + ">\r\n";
                Group += "DATA\r\n";
                I.Write(Group, ReadTimeout);
                // Every reply is read, so that a refusal is the first one given. A server that
                // refused and closed (421) leaves the rest unanswered: its refusal is the error.
                TReply Refusal;
                TReply D;
                try {
                    const TReply M = I.Read(QStringLiteral("to MAIL"), ReadTimeout);
                    if (!M.Positive())
                        Refusal = M;
                    for (qsizetype N = 0; N < To.size(); ++N) {
                        const TReply R = I.Read(QStringLiteral("to RCPT"), ReadTimeout);
                        if (!R.Positive() && !Refusal.Code)
                            Refusal = R;
                    }
                    D = I.Read(QStringLiteral("to DATA"), ReadTimeout);
                } catch (const ECancelled &) {
                    throw;
                } catch (const EIdException &) {
                    if (!Refusal.Code)
                        throw;
                }
                if (Refusal.Code)
                    I.Expect(Refusal);
                I.Expect(D, 3);
            } else {
                I.Write(Mail, ReadTimeout);
                I.Expect(I.Read(QStringLiteral("to MAIL"), ReadTimeout));
                for (const QByteArray &A : To)
                    I.Expect(I.Command("RCPT TO:<" + A + '>', ReadTimeout));
                I.Expect(I.Command("DATA", ReadTimeout), 3);
            }
            I.Write(Data, ReadTimeout);
            DataSent = true;
            // From here the message may be taken: a late reply still counts, and an interrupt
            // leaves it unconfirmed unless the reply follows within the grace.
            const TReply R = I.Read(QStringLiteral("to the message"),
                                    std::max(ReadTimeout, IdDataReplyTimeout), IdInterruptGrace);
            I.Expect(R);
            return;
        } catch (const ECancelled &) {
            if (DataSent)
                throw EIdException(
                    QStringLiteral("Cancelled after the message was sent, before the SMTP "
                                   "server %1 confirmed it")
                        .arg(I.ServerName()));
            throw EIdException(
                QStringLiteral("Cancelled before the message was sent to the SMTP server %1")
                    .arg(I.ServerName()));
        } catch (const EClosed &E) {
            if (DataSent)
                throw EIdReplyError(E.ReplyCode(),
                                    E.Message() + QStringLiteral(" after the message was sent, "
                                                                 "before the server confirmed it"));
            if (!Reused)
                throw;
            Reused = false;
            Connect(I.ConnectTimeout);
        }
    }
}

} // namespace qf::delivery
