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

void GlobalInit() {
  static std::once_flag Once;
  std::call_once(Once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long Seconds(int Ms) { return Ms <= 0 ? 0 : (Ms + 999) / 1000; }

}  // namespace

struct TIdSMTP::TImpl {
  CURL *Curl = nullptr;
  char ErrorBuffer[CURL_ERROR_SIZE] = {};
  // Server replies as they arrive: the unfinished line, the reply being read, and the last
  // refusal (4xx or 5xx). libcurl says QUIT after a refusal, so it need not be the last reply.
  QByteArray Partial;
  QByteArray CurrentReply;
  QByteArray ErrorReply;
  int ErrorCode = 0;
  // The message in upload.
  QByteArray Data;
  qsizetype Offset = 0;

  ~TImpl() { Close(); }

  void Close() {
    if (Curl)
      curl_easy_cleanup(Curl);
    Curl = nullptr;
  }

  void TakeReplyText(const char *P, size_t N) {
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
      if (Last) {
        const int Code = CurrentReply.left(3).toInt();
        if (Code >= 400) {
          ErrorReply = CurrentReply;
          ErrorCode = Code;
        }
        CurrentReply.clear();
      }
    }
  }

  // libcurl hands every server reply line to the header callback.
  static size_t OnHeader(char *P, size_t Size, size_t N, void *User) {
    static_cast<TImpl *>(User)->TakeReplyText(P, Size * N);
    return Size * N;
  }
  static size_t OnWrite(char *, size_t Size, size_t N, void *) { return Size * N; }
  static size_t OnRead(char *Buf, size_t Size, size_t N, void *User) {
    auto *Self = static_cast<TImpl *>(User);
    const size_t Left = static_cast<size_t>(Self->Data.size() - Self->Offset);
    const size_t Count = std::min(Left, Size * N);
    memcpy(Buf, Self->Data.constData() + Self->Offset, Count);
    Self->Offset += static_cast<qsizetype>(Count);
    return Count;
  }

  void Reset() {
    Partial.clear();
    CurrentReply.clear();
    ErrorReply.clear();
    ErrorCode = 0;
    ErrorBuffer[0] = 0;
  }

  // Runs the prepared transfer; a failure becomes an exception with the server's words.
  // libcurl gives up the connection after any failure, and so do we: Connected turns false.
  void Perform() {
    const CURLcode Rc = curl_easy_perform(Curl);
    if (Rc == CURLE_OK)
      return;
    long OsErrno = 0;
    curl_easy_getinfo(Curl, CURLINFO_OS_ERRNO, &OsErrno);
    QString Text = QString::fromUtf8(curl_easy_strerror(Rc));
    if (ErrorBuffer[0])
      Text += QStringLiteral(": ") + QString::fromUtf8(ErrorBuffer);
    if (OsErrno)
      Text += QStringLiteral(" (") + QString::fromLocal8Bit(strerror(static_cast<int>(OsErrno))) + QLatin1Char(')');
    Close();
    if (ErrorCode)
      throw EIdReplyError(ErrorCode, QString::fromUtf8(ErrorReply));
    throw EIdException(Text);
  }
};

TIdSMTP::TIdSMTP() : FImpl(new TImpl) { GlobalInit(); }

TIdSMTP::~TIdSMTP() { delete FImpl; }

bool TIdSMTP::Connected() const {
  if (!FImpl->Curl)
    return false;
  curl_socket_t S = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(FImpl->Curl, CURLINFO_ACTIVESOCKET, &S) != CURLE_OK || S == CURL_SOCKET_BAD)
    return false;
  pollfd P{S, POLLIN | POLLRDHUP, 0};
  if (poll(&P, 1, 0) < 0)
    return false;
  // An idle SMTP connection has nothing to say: anything readable is a close or a
  // "421 closing" on its way.
  return P.revents == 0;
}

void TIdSMTP::Connect(int Timeout) {
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
  const QByteArray UrlText = Url.toEncoded() + '/' + QUrl::toPercentEncoding(QString::fromLatin1(LocalHostName()));
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

void TIdSMTP::Send(const TIdMessage &Message) {
  if (!FImpl->Curl)
    throw EIdException(QStringLiteral("Not connected to the SMTP server"));
  curl_slist *Rcpt = nullptr;
  try {
    for (int I = 0; I < Message.Recipients.Count(); ++I) {
      const QString &A = Message.Recipients[I].Address;
      CheckAddress(A, QStringLiteral("recipient"));
      curl_slist *N = curl_slist_append(Rcpt, ('<' + A.toUtf8() + '>').constData());
      if (!N)
        throw EIdException(QStringLiteral("Out of memory"));
      Rcpt = N;
    }
    if (!Rcpt)
      throw EIdException(QStringLiteral("The message has no recipient"));
    FImpl->Data = Message.Compose(MailAgent);
    FImpl->Offset = 0;
    CURL *C = FImpl->Curl;
    const QByteArray FromAddr = '<' + Message.From.Address.toUtf8() + '>';
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

}  // namespace qf::delivery
