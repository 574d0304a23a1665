// The mailing's threads and dispatcher without a window, against the test SMTP server: every
// message handed out once, a give-up answered by the user, and a mailing torn down while its
// senders run (also built under ThreadSanitizer).

#include "delivery/mailing.h"
#include "testserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

using namespace qf::delivery;

namespace {

// The dialog's part, played by the test: a dispatcher timer and scripted answers.
class TTestView : public TMailingView {
public:
    explicit TTestView(TMailing &M) : FMailing(M)
    {
        M.View = this;
        Timer.setInterval(20);
        Timer.setSingleShot(true);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (FMailing.Dispatch())
                Timer.start();
        });
    }
    void ShowStatus(const QString &Text) override { Statuses << Text; }
    void ShowProgress(int) override {}
    void ShowCounts(const QString &) override {}
    void ShowConnectError(const QString &Text) override { ConnectErrors << Text; }
    void ResetAfterError() override { Reset = true; }
    void StartDispatcher() override { Timer.start(); }
    void FlushLogNow() override {}
    bool AskRetry(const QString &Text) override
    {
        Prompts << Text;
        if (OnAsk)
            OnAsk(int(Prompts.size()));
        const bool Retry = !Answers.empty() && Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return Retry;
    }
    void Finished(bool C) override
    {
        Done = true;
        Completed = C;
    }

    TMailing &FMailing;
    QTimer Timer;
    QStringList Statuses, ConnectErrors, Prompts;
    std::deque<bool> Answers;
    std::function<void(int Prompt)> OnAsk; // before the answer
    bool Reset = false, Done = false, Completed = false;
};

// Message I goes to Addresses[I] when given, else to rI@example.com; it is record I + 1.
void Prepare(TMailing &M, int Port, int Count, int Threads, const QStringList &Addresses = {})
{
    M.Settings.Host = QStringLiteral("127.0.0.1");
    M.Settings.Port = Port;
    M.Settings.User = QStringLiteral("user");
    M.Settings.SenderAddress = QStringLiteral("sender@example.com");
    M.Settings.SenderName = QStringLiteral("Sender");
    M.Settings.ThreadLimit = Threads;
    M.ConnectTimeout = 10000;
    M.MailCount = Count;
    M.MergeMail = [Addresses](int I, TMailItem &Item, QString &) {
        Item = {Addresses.value(I, QStringLiteral("r%1@example.com").arg(I)),
                QStringLiteral("S%1").arg(I), QStringLiteral("Body %1").arg(I), I + 1};
        return true;
    };
    M.SetSlots(Count);
}

class DeliveryMailing : public ::testing::Test {
protected:
    void Run(const QString &When = QStringLiteral("now"))
    {
        M.Start(When);
        ASSERT_TRUE(WaitUntil([&] { return View.Done; }));
    }
    TTestServer Server;
    TMailing M;
    TTestView View{M};
};

} // namespace

TEST_F(DeliveryMailing, EveryMessageOnceThenCompleted)
{
    Prepare(M, Server.Port(), 200, 2);
    // Merged in the user interface thread, never far ahead of the senders.
    int Lead = 0;
    bool OtherThread = false;
    const auto Merge = M.MergeMail;
    M.MergeMail = [&](int I, TMailItem &Item, QString &Error) {
        OtherThread |= QThread::currentThread() != qApp->thread();
        Lead = std::max(Lead, I - M.SentCount());
        const bool Merged = Merge(I, Item, Error);
        // A lone CR breaks a line; a break at the end ends the last line, no empty one after.
        if (I == 0)
            Item.Body += QStringLiteral("\rline two\n");
        return Merged;
    };
    Run(QStringLiteral("today"));
    EXPECT_TRUE(View.Completed);
    EXPECT_TRUE(View.Statuses.contains(QStringLiteral("1 threads of 2 connected")));
    EXPECT_TRUE(View.Statuses.contains(QStringLiteral("2 threads of 2 connected")));
    QStringList Got = Server.Recipients();
    Got.sort();
    QStringList Want;
    for (int I = 0; I < 200; ++I)
        Want << QStringLiteral("r%1@example.com").arg(I);
    Want.sort();
    EXPECT_EQ(Got, Want);
    for (const QString &F : Server.MessageFiles()) {
        if (Server.Envelope(F).value(QStringLiteral("rcpt_tos")).toArray().at(0) ==
            QStringLiteral("r0@example.com")) {
            QFile Raw(F);
            ASSERT_TRUE(Raw.open(QIODevice::ReadOnly));
            EXPECT_TRUE(Raw.readAll().endsWith("\r\n\r\nBody 0\r\nline two\r\n"));
        }
    }
    EXPECT_FALSE(OtherThread);
    EXPECT_LE(Lead, M.MergeAhead() + 2);
    const QStringList Log = M.LogLines();
    ASSERT_EQ(Log.size(), 205);
    EXPECT_EQ(Log[1], QStringLiteral("Mailing started today. Connecting..."));
    EXPECT_EQ(Log[203], QStringLiteral("Mailing Completed"));
    EXPECT_EQ(Log[204], QStringLiteral("200 Sent of 200"));
}

// A message retried until it goes is never logged " Failed: "; the one answered with Abort is,
// once. The box and the log line are the error, the tag and the address, nothing more.
TEST_F(DeliveryMailing, GiveUpRetriedThenAborted)
{
    Server.SetControl({{"reject", QJsonArray{"r3@example.com", "r5@example.com"}}});
    View.Answers = {true, true, false};
    // The second prompt's Retry finds r3 taken.
    View.OnAsk = [&](int Prompt) {
        if (Prompt == 2)
            Server.SetControl({{"reject", QJsonArray{"r5@example.com"}}});
    };
    Prepare(M, Server.Port(), 8, 1);
    Run();
    EXPECT_FALSE(View.Completed);
    const QString Refused =
        QStringLiteral("550 5.1.1 <%1>: Recipient address rejected: User unknown");
    const QString R3 = Refused.arg(QStringLiteral("r3@example.com"));
    const QString R5 = Refused.arg(QStringLiteral("r5@example.com"));
    EXPECT_EQ(View.Prompts, (QStringList{R3 + QStringLiteral(" Recipient: r3@example.com"),
                                         R3 + QStringLiteral(" Recipient: r3@example.com"),
                                         R5 + QStringLiteral(" Recipient: r5@example.com")}));
    // One sender goes in order: r0 to r4, none after the abort.
    EXPECT_EQ(Server.Recipients().size(), 5);
    const QStringList Log = M.LogLines();
    EXPECT_EQ(Log.filter(QStringLiteral("Success: ")).size(), 5);
    EXPECT_TRUE(Log.contains(QStringLiteral("Success: r3@example.com")));
    EXPECT_EQ(Log.filter(QStringLiteral(" Failed: ")),
              QStringList{R5 + QStringLiteral(" Failed: r5@example.com")});
    EXPECT_EQ(Log.at(Log.size() - 3), R5 + QStringLiteral(" Failed: r5@example.com"));
    EXPECT_EQ(Log.at(Log.size() - 2), QStringLiteral("Mailing Aborted"));
    EXPECT_EQ(Log.last(), QStringLiteral("5 Sent of 8"));
}

// Refused by the server, a line break in the field, no address at all: each gives up, and each
// is logged " Failed: " once, on one line, also those that gave up after the abort.
TEST_F(DeliveryMailing, EveryFailureLoggedWithItsRecord)
{
    Server.SetControl({{"reject", QJsonArray{"r0@example.com"}}});
    View.Answers = {false};
    Prepare(M, Server.Port(), 3, 3,
            {QStringLiteral("r0@example.com"), QStringLiteral("r1@ex\na\r\nmple.com"), QString()});
    Run();
    EXPECT_FALSE(View.Completed);
    ASSERT_EQ(View.Prompts.size(), 1);
    QStringList Ends;
    for (const QString &Line : M.LogLines().filter(QStringLiteral(" Failed: ")))
        Ends << Line.mid(Line.indexOf(QStringLiteral(" Failed: ")));
    Ends.sort();
    EXPECT_EQ(Ends,
              (QStringList{QStringLiteral(" Failed: "), QStringLiteral(" Failed: r0@example.com"),
                           QStringLiteral(" Failed: r1@ex a mple.com")}));
    for (const QString &Line : M.LogLines())
        EXPECT_FALSE(Line.contains(QLatin1Char('\n')) || Line.contains(QLatin1Char('\r')));
    EXPECT_TRUE(Server.Recipients().isEmpty());
}

// Stopped while the server holds its reply to the final dot: the wait ends at once, and the
// message is neither counted nor logged as sent, but as unconfirmed.
TEST_F(DeliveryMailing, AbortCutsTheWaitForAHeldReply)
{
    Server.SetControl({{"hold", QJsonArray{"r1@example.com"}}});
    Prepare(M, Server.Port(), 3, 1);
    M.Start(QStringLiteral("now"));
    ASSERT_TRUE(WaitUntil(
        [&] { return QFile::exists(Server.FilePath(QStringLiteral("hold.r1@example.com"))); }));
    M.Abort();
    // Far within the 10 minutes the reply is otherwise waited for.
    ASSERT_TRUE(WaitUntil([&] { return View.Done; }, 20000));
    EXPECT_FALSE(View.Completed);
    const QStringList Log = M.LogLines();
    EXPECT_EQ(Log.filter(QStringLiteral("Success: ")),
              QStringList{QStringLiteral("Success: r0@example.com")});
    const QStringList Failed = Log.filter(QStringLiteral(" Failed: "));
    ASSERT_EQ(Failed.size(), 1);
    EXPECT_TRUE(Failed[0].startsWith(QStringLiteral("Cancelled after the message was sent")));
    EXPECT_TRUE(Failed[0].endsWith(QStringLiteral(" confirmed it Failed: r1@example.com")));
    EXPECT_EQ(Log.last(), QStringLiteral("1 Sent of 3"));
}

TEST_F(DeliveryMailing, LogWithoutAFileKeepsItsLastLines)
{
    TMailLog Log;
    Log.Unwritten = true;
    const int Max = TMailLog::MaxUnwrittenLines;
    for (int I = 0; I < 3 * Max; ++I)
        Log.AddLog(QString::number(I));
    const QStringList Lines = Log.Lines();
    ASSERT_EQ(Lines.size(), Max);
    EXPECT_EQ(Lines.first(), QString::number(2 * Max));
    EXPECT_EQ(Lines.last(), QString::number(3 * Max - 1));
}

TEST_F(DeliveryMailing, TornDownWhileSending)
{
    Server.SetControl({{"delay", 0.02}});
    auto Torn = std::make_unique<TMailing>();
    TTestView TornView(*Torn);
    Prepare(*Torn, Server.Port(), 400, 8);
    Torn->Start(QStringLiteral("now"));
    ASSERT_TRUE(WaitUntil([&] { return Server.MessageFiles().size() >= 20; }));
    Torn->Shutdown();
    TornView.Timer.stop();
    const int Logged = int(Torn->LogLines().filter(QStringLiteral("Success: ")).size());
    Torn.reset();
    // Messages in flight were finished, and each one the server took is logged once.
    const QStringList Got = Server.Recipients();
    EXPECT_LT(Got.size(), 400);
    EXPECT_EQ(Logged, Got.size());
    EXPECT_EQ(QSet<QString>(Got.begin(), Got.end()).size(), Got.size());
    QCoreApplication::processEvents(); // calls queued by the senders find the mailing gone
}
