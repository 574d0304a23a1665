// Sends N messages of about 2 KB over C connections, as the mailing's senders do: each
// thread owns a client connected once and a message it refills, takes the next index under
// a lock and sends. Prints "messages=N seconds=S rate=R".

#include "delivery/idexception.h"
#include "delivery/idmessage.h"
#include "delivery/idsmtp.h"
#include "delivery/idthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

using namespace qf::delivery;

namespace {

struct TShared {
    std::mutex Lock;
    int Next = 0;
    int Count = 0;
    int Sent = 0;
    int Failed = 0;
    QString Body;
};

class TSender : public TIdThread {
public:
    TSender(TShared &S, const QString &Host, int Port) : FShared(S)
    {
        FSmtp.Host = Host;
        FSmtp.Port = Port;
        FSmtp.Username = QStringLiteral("bench");
        FSmtp.MailAgent = QStringLiteral("Quillfast v2.0");
        FMessage.ContentType = QStringLiteral("text/plain");
        FMessage.CharSet = QStringLiteral("windows-1252");
        FMessage.From.Address = QStringLiteral("sender@example.com");
        FMessage.From.Name = QStringLiteral("Bench Sender");
        FMessage.ReplyTo.Add().Address = QStringLiteral("reply@example.com");
    }
    ~TSender() override { TerminateAndWaitFor(); }
    void Connect() { FSmtp.Connect(); }

protected:
    void Run() override
    {
        int I;
        {
            std::lock_guard<std::mutex> L(FShared.Lock);
            I = FShared.Next < FShared.Count ? FShared.Next++ : -1;
        }
        if (I < 0) {
            Stop();
            return;
        }
        FMessage.Recipients.Clear();
        FMessage.Recipients.Add().Address = QStringLiteral("rcpt%1@example.com").arg(I);
        FMessage.Subject = QStringLiteral("Offer number %1 for you").arg(I);
        FMessage.Body = QStringList{QStringLiteral("Dear customer %1,").arg(I), FShared.Body};
        try {
            if (!FSmtp.Connected())
                FSmtp.Connect();
            FSmtp.Send(FMessage);
            std::lock_guard<std::mutex> L(FShared.Lock);
            ++FShared.Sent;
        } catch (const EIdException &E) {
            std::lock_guard<std::mutex> L(FShared.Lock);
            if (++FShared.Failed <= 5)
                std::fprintf(stderr, "send failed: %s\n", E.what());
        }
    }

private:
    TShared &FShared;
    TIdSMTP FSmtp;
    TIdMessage FMessage;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s host port [messages] [connections]\n", argv[0]);
        return 2;
    }
    const QString Host = QString::fromLocal8Bit(argv[1]);
    const int Port = std::atoi(argv[2]);
    TShared S;
    S.Count = argc > 3 ? std::atoi(argv[3]) : 10000;
    const int Connections = argc > 4 ? std::atoi(argv[4]) : 15;
    // About 2 KB of ordinary text, with a few accented letters.
    const QString Line = QStringLiteral("We are glad to tell you about our new prices for the "
                                        "coming season, café and crème included.");
    QStringList Lines;
    for (int I = 0; I < 21; ++I)
        Lines << Line;
    S.Body = Lines.join(QStringLiteral("\r\n"));

    std::vector<std::unique_ptr<TSender>> Senders;
    try {
        for (int I = 0; I < Connections; ++I) {
            Senders.push_back(std::make_unique<TSender>(S, Host, Port));
            Senders.back()->Connect();
        }
    } catch (const EIdException &E) {
        std::fprintf(stderr, "connect failed: %s\n", E.what());
        return 1;
    }
    QElapsedTimer T;
    T.start();
    for (auto &Sd : Senders)
        Sd->Start();
    for (auto &Sd : Senders)
        while (!Sd->Stopped())
            QThread::msleep(1);
    const double Seconds = static_cast<double>(T.nsecsElapsed()) / 1e9;
    std::printf("messages=%d failed=%d seconds=%.3f rate=%.0f\n", S.Sent, S.Failed, Seconds,
                S.Sent / Seconds);
    return S.Failed ? 1 : 0;
}
