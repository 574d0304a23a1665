#include "delivery/idsmtp.h"

#include "delivery/idexception.h"
#include "delivery/idmessage.h"

#include <QUrl>
#include <algorithm>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <poll.h>

namespace qf::delivery {

namespace {

void GlobalInit()
{
    static std::once_flag Once;
    std::call_once(Once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long Seconds(int Ms) { return Ms <= 0 ? 0 : (Ms + 999) / 1000; }

} // namespace

struct TIdSMTP::TImpl {
    CURL *Curl = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    // Server replies as they arrive: the unfinished line, the reply being read, and the last
    // complete reply (QUIT's left out).
    QByteArray Partial;
    QByteArray CurrentReply;
    QByteArray LastReply;
    int LastCode = 0;
    bool Uploaded = false; // message bytes went out after the last reply
    bool SmtpUtf8 = false; // the server offers SMTPUTF8
    // The message in upload.
    QByteArray Data;
    qsizetype Offset = 0;

    ~TImpl() { Close(); }

    void Close()
    {
        if (Curl)
            curl_easy_cleanup(Curl);
        Curl = nullptr;
        SmtpUtf8 = false;
    }

    void TakeReplyText(const char *P, size_t N)
    {
        Partial.append(P, static_cast<qsizetype>(N));
        qsizetype Eol;
        while ((Eol = Partial.indexOf('\n')) >= 0) {
            QByteArray Line = Partial.left(Eol).trimmed();
            Partial.remove(0, Eol + 1);
            if (Line.size() < 3)
                continue;
            const bool Last = Line.size() == 3 || Line[3] != '-';
            if (Line.size() > 4)
                Line = Line.left(3) + ' ' + Line.mid(4);
            if (CurrentReply.isEmpty())
                CurrentReply = Line;
            else
                CurrentReply += ' ' + Line.mid(4);
            const int Code = Line.left(3).toInt();
            if (Code == 220)
                SmtpUtf8 = false; // a new connection: its EHLO reply follows
            else if (Code == 250 &&
                     Line.mid(4).trimmed().compare("SMTPUTF8", Qt::CaseInsensitive) == 0)
                SmtpUtf8 = true;
            if (Last) {
                if (Code != 221) {
                    LastReply = CurrentReply;
                    LastCode = Code;
                    Uploaded = false;
                }
                CurrentReply.clear();
            }
        }
    }

    // libcurl hands every server reply line to the header callback.
    static size_t OnHeader(char *P, size_t Size, size_t N, void *User)
    {
        static_cast<TImpl *>(User)->TakeReplyText(P, Size * N);
        return Size * N;
    }
    static size_t OnWrite(char *, size_t Size, size_t N, void *) { return Size * N; }
    static size_t OnRead(char *Buf, size_t Size, size_t N, void *User)
    {
        auto *Self = static_cast<TImpl *>(User);
        const size_t Left = static_cast<size_t>(Self->Data.size() - Self->Offset);
        const size_t Count = std::min(Left, Size * N);
        memcpy(Buf, Self->Data.constData() + Self->Offset, Count);
        Self->Offset += static_cast<qsizetype>(Count);
        Self->Uploaded = Self->Uploaded || Count > 0;
        return Count;
    }

    void Reset()
    {
        Partial.clear();
        CurrentReply.clear();
        LastReply.clear();
        LastCode = 0;
        Uploaded = false;
        ErrorBuffer[0] = 0;
    }

    // True when the server's last reply ended the transfer: libcurl stopped on it, not on the
    // network or a time-out, and nothing was sent after it. A refusal libcurl got over (EHLO,
    // then HELO) is followed by other replies.
    bool EndedByReply(CURLcode Rc) const
    {
        if (!LastCode || Uploaded)
            return false;
        switch (Rc) {
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_COULDNT_CONNECT:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_READ_ERROR:
        case CURLE_ABORTED_BY_CALLBACK:
        case CURLE_OUT_OF_MEMORY: return false;
        case CURLE_WEIRD_SERVER_REPLY:
            return true; // also a reply below 400 that libcurl does not accept there
        default: return LastCode >= 400;
        }
    }

    // Runs the prepared transfer; a failure becomes an exception with the server's words.
    // libcurl gives up the connection after any failure, and so do we: Connected turns false.
    void Perform()
    {
        const CURLcode Rc = curl_easy_perform(Curl);
        if (Rc == CURLE_OK)
            return;
        if (EndedByReply(Rc)) {
            const EIdReplyError E(LastCode, QString::fromUtf8(LastReply));
            Close();
            throw E;
        }
        long OsErrno = 0;
        curl_easy_getinfo(Curl, CURLINFO_OS_ERRNO, &OsErrno);
        QString Text = QString::fromUtf8(curl_easy_strerror(Rc));
        if (ErrorBuffer[0])
            Text += QStringLiteral(": ") + QString::fromUtf8(ErrorBuffer);
        if (OsErrno)
            Text += QStringLiteral(" (") +
                    QString::fromLocal8Bit(strerror(static_cast<int>(OsErrno))) + QLatin1Char(')');
        if (LastCode)
            Text += QStringLiteral(", after the server's reply \"%1\"")
                        .arg(QString::fromUtf8(LastReply));
        Close();
        throw EIdException(Text);
    }
};

TIdSMTP::TIdSMTP() : FImpl(new TImpl) { GlobalInit(); }

TIdSMTP::~TIdSMTP() { delete FImpl; }

bool TIdSMTP::Connected() const
{
    if (!FImpl->Curl)
        return false;
    curl_socket_t S = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(FImpl->Curl, CURLINFO_ACTIVESOCKET, &S) != CURLE_OK ||
        S == CURL_SOCKET_BAD)
        return false;
    pollfd P{S, POLLIN | POLLRDHUP, 0};
    if (poll(&P, 1, 0) < 0)
        return false;
    // An idle SMTP connection has nothing to say: anything readable is a close or a
    // "421 closing" on its way.
    return P.revents == 0;
}

void TIdSMTP::Connect(int Timeout)
{
    if (Timeout <= 0)
        Timeout = IdTimeoutDefault;
    FImpl->Close();
    if (Port < 1 || Port > 65535)
        throw EIdException(QStringLiteral("The SMTP port %1 is not valid (1 to 65535)").arg(Port));
    QUrl Url;
    Url.setScheme(QStringLiteral("smtp"));
    Url.setHost(Host.trimmed());
    Url.setPort(Port);
    if (!Url.isValid() || Host.trimmed().isEmpty())
        throw EIdException(QStringLiteral("The SMTP host \"%1\" is not valid").arg(Host));
    CURL *C = curl_easy_init();
    if (!C)
        throw EIdException(QStringLiteral("The SMTP client cannot be created (out of memory)"));
    FImpl->Curl = C;
    // The path names us in EHLO.
    const QByteArray UrlText =
        Url.toEncoded() + '/' + QUrl::toPercentEncoding(QString::fromLatin1(LocalHostName()));
    curl_easy_setopt(C, CURLOPT_URL, UrlText.constData());
    curl_easy_setopt(C, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(C, CURLOPT_ERRORBUFFER, FImpl->ErrorBuffer);
    curl_easy_setopt(C, CURLOPT_HEADERFUNCTION, &TImpl::OnHeader);
    curl_easy_setopt(C, CURLOPT_HEADERDATA, FImpl);
    curl_easy_setopt(C, CURLOPT_WRITEFUNCTION, &TImpl::OnWrite);
    curl_easy_setopt(C, CURLOPT_READFUNCTION, &TImpl::OnRead);
    curl_easy_setopt(C, CURLOPT_READDATA, FImpl);
    curl_easy_setopt(C, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(C, CURLOPT_SERVER_RESPONSE_TIMEOUT, Seconds(ReadTimeout));
    // The upload stalls when not one byte moves for the read time-out.
    curl_easy_setopt(C, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(C, CURLOPT_LOW_SPEED_TIME, Seconds(ReadTimeout));
    if (!Password.isEmpty()) {
        curl_easy_setopt(C, CURLOPT_USERNAME, Username.toUtf8().constData());
        curl_easy_setopt(C, CURLOPT_PASSWORD, Password.toUtf8().constData());
    }
    // NOOP carries greeting and EHLO; libcurl keeps the connection for the next transfers.
    curl_easy_setopt(C, CURLOPT_CUSTOMREQUEST, "NOOP");
    curl_easy_setopt(C, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Timeout));
    curl_easy_setopt(C, CURLOPT_TIMEOUT_MS, static_cast<long>(Timeout));
    FImpl->Reset();
    FImpl->Perform();
    curl_easy_setopt(C, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(C, CURLOPT_TIMEOUT_MS, 0L);
}

void TIdSMTP::Disconnect() { FImpl->Close(); }

void TIdSMTP::Send(const TIdMessage &Message)
{
    if (!FImpl->Curl)
        throw EIdException(QStringLiteral("Not connected to the SMTP server"));
    // libcurl would send a non-ASCII mailbox name raw to a server that has not said it takes it.
    auto Envelope = [this](const QString &Address, const QString &Role) {
        CheckAddress(Address, Role);
        const QByteArray A = WireAddress(Address, Role);
        for (const char C : A)
            if (static_cast<unsigned char>(C) >= 0x80 && !FImpl->SmtpUtf8)
                throw EIdException(
                    QStringLiteral(
                        "The %1 address \"%2\" has a mailbox name with non-ASCII characters, "
                        "which this SMTP server does not accept (it does not offer SMTPUTF8)")
                        .arg(Role, Address));
        return '<' + A + '>';
    };
    curl_slist *Rcpt = nullptr;
    try {
        const QByteArray FromAddr = Envelope(Message.From.Address, QStringLiteral("sender"));
        for (int I = 0; I < Message.Recipients.Count(); ++I) {
            const QByteArray A =
                Envelope(Message.Recipients[I].Address, QStringLiteral("recipient"));
            curl_slist *N = curl_slist_append(Rcpt, A.constData());
            if (!N)
                throw EIdException(QStringLiteral("Out of memory"));
            Rcpt = N;
        }
        if (!Rcpt)
            throw EIdException(QStringLiteral("The message has no recipient"));
        FImpl->Data = Message.Compose(MailAgent);
        FImpl->Offset = 0;
        CURL *C = FImpl->Curl;
        curl_easy_setopt(C, CURLOPT_MAIL_FROM, FromAddr.constData());
        curl_easy_setopt(C, CURLOPT_MAIL_RCPT, Rcpt);
        curl_easy_setopt(C, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(C, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(FImpl->Data.size()));
        FImpl->Reset();
        FImpl->Perform();
    } catch (...) {
        if (FImpl->Curl)
            curl_easy_setopt(FImpl->Curl, CURLOPT_MAIL_RCPT, nullptr);
        curl_slist_free_all(Rcpt);
        throw;
    }
    curl_easy_setopt(FImpl->Curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_slist_free_all(Rcpt);
}

} // namespace qf::delivery
