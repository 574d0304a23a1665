// The mailing dialog offscreen, through its real buttons, against the test SMTP server; every
// message read back by Python's email package.

#include "delivery/maillog.h"
#include "delivery/ui/sendform.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "testserver.h"
#include "uitest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace qf::delivery;
using namespace qf::tables;

namespace {

QString Email(int I) { return QStringLiteral("person%1@example.com").arg(I); }
QString Name(int I) { return QStringLiteral("Zoë Nr%1").arg(I); }
QString City(int I) { return I % 3 == 0 ? QStringLiteral("Oslo") : QStringLiteral("Bergen"); }

class DeliverySendForm : public ::testing::Test {
protected:
    void Open(int Records)
    {
        std::vector<QStringList> Rows;
        // Record 4's address has a blank before it, which the envelope must not get.
        for (int I = 0; I < Records; ++I)
            Rows.push_back({QString::number(I),
                            (I == 3 ? QStringLiteral(" ") : QString()) + Email(I), Name(I),
                            City(I)});
        WriteDbf(Dir.filePath(QStringLiteral("contacts.dbf")),
                 {{"ID", 6}, {"EMAIL", 40}, {"NAME", 30}, {"CITY", 12}}, Rows);
        Connection.ConnectionString = FormatConnectionString(Dir.path(), Dir.path(), kDbaseDriver);
        Query.SQL = QStringLiteral("SELECT * FROM contacts");
        Query.Open();
        Form = std::make_unique<TSendForm>();
        Form->DataSet = &Query;
        Form->WriteLog = [this] { return WriteLog; };
        Form->CaptureSettings = [this](TMailSource &Source, TMailSettings &Settings,
                                       QString &PortText) {
            // The merge as the main window gives it: fields by name, "%" placeholders.
            Source.Merge.EvaluateName = [this](const QString &N, QString &Value) {
                const TField *F = Query.FindField(N);
                if (F)
                    Value = F->AsString();
                return F != nullptr;
            };
            Source.Merge.ExpandPlaceholders = [this](const QString &Text) {
                QString Out = Text;
                static const QRegularExpression Ph(QStringLiteral("%([A-Za-z]+)"));
                auto M = Ph.globalMatch(Text);
                while (M.hasNext()) {
                    const auto Hit = M.next();
                    if (const TField *F = Query.FindField(Hit.captured(1)))
                        Out.replace(Hit.captured(0), F->AsString().trimmed());
                }
                return Out;
            };
            Source.RecipientField = Recipient;
            Source.Subject = Subject;
            Source.Body =
                QStringLiteral("Dear %NAME,\nyour number is %ID and you live in %CITY.\n");
            Settings.Host = QStringLiteral("127.0.0.1");
            Settings.User = QStringLiteral("user");
            Settings.SenderName = QStringLiteral("Sender");
            Settings.SenderAddress = QStringLiteral("sender@example.com");
            Settings.ReplyAddress = QStringLiteral("reply@example.com");
            Settings.Attachments = Attachments;
            Settings.CharSet = CharSet;
            Settings.ContentType = ContentType;
            Settings.ThreadLimit = Threads;
            PortText = Port.isEmpty() ? QString::number(Server.Port()) : Port;
        };
        Form->FMailing.ConnectTimeout = 10000;
    }

    // Shows the dialog and waits for the prepared list.
    void ShowPrepared(const QString &Count)
    {
        Form->show();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return Form->Panel1->text() == QStringLiteral("The list is prepared"); }, 30000));
        EXPECT_EQ(Form->Panel2->text(), Count);
    }

    // Start, then wait for the dialog to close by itself.
    void StartAndWaitForEnd()
    {
        QSignalSpy Finished(Form.get(), &QDialog::finished);
        ASSERT_TRUE(Form->Button2->isEnabled());
        QTest::mouseClick(Form->Button2, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Finished.count() > 0; }, 120000));
    }

    QStringList LogFileLines() const
    {
        QString Text = QString::fromUtf8(ReadAll(DefaultLogFileName()));
        EXPECT_TRUE(Text.isEmpty() || Text.endsWith(QStringLiteral("\r\n")));
        Text.chop(2);
        return Text.split(QStringLiteral("\r\n"));
    }

    void TearDown() override
    {
        Form.reset();
        QFile::remove(DefaultLogFileName());
    }

    QTemporaryDir Dir;
    TTestServer Server;
    TADOConnection Connection;
    TADOQuery Query{&Connection};
    std::unique_ptr<TSendForm> Form;
    TBoxAnswerer Boxes;
    QStringList Attachments;
    int Threads = 15;
    bool WriteLog = true;
    QString Recipient = QStringLiteral("EMAIL");
    QString Subject = QStringLiteral("Hello %NAME");
    QString CharSet = QStringLiteral("utf-8");
    QString ContentType = QStringLiteral("text/plain");
    QString Port; // the server's when empty
};

} // namespace

TEST_F(DeliverySendForm, FiveHundredRecordsOverEightConnections)
{
    const QString Attachment = Dir.filePath(QStringLiteral("price list.pdf"));
    QFile A(Attachment);
    ASSERT_TRUE(A.open(QIODevice::WriteOnly));
    const QByteArray Content = QByteArray("%PDF-1.4 ") + QByteArray(3000, 'x');
    A.write(Content);
    A.close();
    Attachments = {Attachment};
    Threads = 8;
    Open(500);
    ShowPrepared(QStringLiteral("500 Records"));
    EXPECT_TRUE(Query.ControlsDisabled());
    StartAndWaitForEnd();
    EXPECT_EQ(Boxes.Texts, QStringList{QStringLiteral("Mailing is Completed Successfully")});
    EXPECT_FALSE(Query.ControlsDisabled());
    EXPECT_EQ(Query.RecNo(), 1);

    const QStringList Files = Server.MessageFiles();
    ASSERT_EQ(Files.size(), 500);
    QSet<QString> Seen;
    const QByteArray Hash = QCryptographicHash::hash(Content, QCryptographicHash::Sha256).toHex();
    for (const QJsonValue &V : ParseMail(Files)) {
        const QJsonObject M = V.toObject();
        const QString To = M["to"][0]["address"].toString();
        const int I = To.mid(6, To.indexOf(QLatin1Char('@')) - 6).toInt();
        ASSERT_EQ(To, Email(I));
        Seen << To;
        EXPECT_EQ(M["subject"].toString(), QStringLiteral("Hello ") + Name(I));
        EXPECT_EQ(M["body"].toString(),
                  QStringLiteral("Dear %1,\r\nyour number is %2 and you live in %3.\r\n")
                      .arg(Name(I))
                      .arg(I)
                      .arg(City(I)));
        EXPECT_EQ(M["attachments"][0]["sha256"].toString().toLatin1(), Hash);
        EXPECT_EQ(M["reply_to"][0]["address"].toString(), QStringLiteral("reply@example.com"));
    }
    EXPECT_EQ(Seen.size(), 500);

    // The log file, flushed while sending and once more after the close.
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogFileLines().size() == 505; }, 5000));
    const QStringList Log = LogFileLines();
    EXPECT_EQ(Log[2], QStringLiteral("Connected"));
    EXPECT_EQ(QSet<QString>(Log.begin() + 3, Log.begin() + 503).size(), 500);
    EXPECT_EQ(Log.filter(QStringLiteral("Success: person")).size(), 500);
    EXPECT_EQ(Log[504], QStringLiteral("500 Sent of 500"));
}

TEST_F(DeliverySendForm, FilterAndStartRecordRespected)
{
    WriteLog = false;
    Open(12);
    Query.OnFilterRecord = [](TADOQuery &Q, bool &Accept) {
        Accept =
            Q.FieldByName(QStringLiteral("CITY")).AsString().trimmed() == QStringLiteral("Oslo");
    };
    Query.SetFiltered(true); // records 0, 3, 6, 9
    Query.SetRecNo(2);
    ShowPrepared(QStringLiteral("3 Records"));
    EXPECT_EQ(Query.RecNo(), 2);
    StartAndWaitForEnd();
    QStringList Got = Server.Recipients();
    Got.sort();
    EXPECT_EQ(Got, (QStringList{Email(3), Email(6), Email(9)}));
    EXPECT_EQ(Query.RecNo(), 2);
    EXPECT_FALSE(QFile::exists(DefaultLogFileName()));

    // On the last record: one message; Cancel closes the prepared dialog without sending.
    Query.SetRecNo(4);
    ShowPrepared(QStringLiteral("1 Records"));
    QSignalSpy Finished(Form.get(), &QDialog::finished);
    QTest::mouseClick(Form->CancelBtn, Qt::LeftButton);
    EXPECT_EQ(Finished.count(), 1);
    EXPECT_EQ(Server.MessageFiles().size(), 3);
}

TEST_F(DeliverySendForm, SecondConnectionRefusedThenStartAgain)
{
    Server.SetControl({{"max_connections", 1}});
    Threads = 3;
    Open(5);
    ShowPrepared(QStringLiteral("5 Records"));
    QTest::mouseClick(Form->Button2, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes.Texts.size() == 1; }, 30000));
    EXPECT_TRUE(Boxes.Texts[0].contains(QStringLiteral("554")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Button2->isEnabled(); }, 10000));
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Server.MessageFiles().isEmpty());

    // The failure's lines wait in memory and are written first by the next Start.
    EXPECT_FALSE(QFile::exists(DefaultLogFileName()));
    Server.SetControl({});
    StartAndWaitForEnd();
    EXPECT_EQ(Server.Recipients().size(), 5);
    (void)QTest::qWaitFor([&] { return LogFileLines().size() == 14; }, 5000);
    const QStringList Log = LogFileLines();
    ASSERT_EQ(Log.size(), 14) << Log.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Log[2].contains(QStringLiteral("554")));
    EXPECT_EQ(Log[3], QStringLiteral("Aborted"));
    EXPECT_EQ(Log[6], QStringLiteral("Connected"));
    EXPECT_EQ(Log[13], QStringLiteral("5 Sent of 5"));
}

// Refused recipients and a log file that cannot be written, each answered Retry once the fault
// is gone, and dropped connections: every message goes once and the mailing completes.
TEST_F(DeliverySendForm, FaultsRetriedAndEveryMessageSentOnce)
{
    const struct {
        QJsonObject Control;
        bool BlockLog;
        const char *Prompt; // the box answered Retry, a pattern
    } Rows[] = {
        // The box is the server's reply, " Recipient: " and the address, as they stand.
        {{{"reject", QJsonArray{Email(4), Email(13)}}},
         false,
         "^550 5\\.1\\.1 <(person\\d+@example\\.com)>: Recipient address rejected: User unknown "
         "Recipient: \\1$"},
        {{{"drop_data", QJsonArray{5, 17, 18}}}, false, nullptr},
        {{}, true, "^Error of writing log file with description:\n\""},
    };
    Threads = 4;
    Open(20);
    for (const auto &Row : Rows) {
        const qsizetype Before = Server.Recipients().size();
        const QString LogPath = Dir.filePath(QStringLiteral("log%1").arg(Before));
        Form->FMailing.Log.FileName = LogPath;
        // A folder where the file should be: not even root can write it.
        if (Row.BlockLog) {
            ASSERT_TRUE(QDir().mkpath(LogPath));
        }
        Server.SetControl(Row.Control);
        Server.Restart(); // numbers the messages from 1 again
        int Prompts = 0;
        Boxes.Answer = [&](const QString &Text) {
            if (!Row.Prompt ||
                !QRegularExpression(QString::fromUtf8(Row.Prompt)).match(Text).hasMatch())
                return QMessageBox::NoButton;
            ++Prompts;
            Server.SetControl({});
            QDir(LogPath).removeRecursively();
            return QMessageBox::Retry;
        };
        ShowPrepared(QStringLiteral("20 Records"));
        StartAndWaitForEnd();
        EXPECT_EQ(Boxes.Texts.last(), QStringLiteral("Mailing is Completed Successfully"));
        EXPECT_EQ(Prompts > 0, Row.Prompt != nullptr);
        const QStringList Got = Server.Recipients().mid(Before);
        EXPECT_EQ(Got.size(), 20);
        EXPECT_EQ(QSet<QString>(Got.begin(), Got.end()).size(), 20);
        QStringList Log;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                Log = QString::fromUtf8(ReadAll(LogPath)).split(QStringLiteral("\r\n"));
                return Log.size() > 2 && Log[Log.size() - 2] == QStringLiteral("20 Sent of 20");
            },
            5000));
        EXPECT_EQ(Log.filter(QStringLiteral("Success: ")).size(), 20);
        // Retried and then sent: never logged as failed.
        EXPECT_TRUE(Log.filter(QStringLiteral(" Failed: ")).isEmpty())
            << Log.join(QLatin1Char('|')).toStdString();
        // The lines of a failed flush are written by the next one.
        EXPECT_TRUE(Log.value(1).startsWith(QStringLiteral("Mailing started ")));
        EXPECT_EQ(Log.last(), QString()); // the file ends with CR LF
    }
}

TEST_F(DeliverySendForm, CancelAsksWhileSendingAndClosingStopsTheThreads)
{
    Server.SetControl({{"delay", 0.02}});
    Threads = 2;
    Open(300);
    Boxes.Answer = [&](const QString &Text) {
        if (Text == QStringLiteral("Are You sure to cancel this operation?"))
            return Boxes.Texts.size() == 1 ? QMessageBox::No : QMessageBox::Yes;
        return QMessageBox::NoButton;
    };
    ShowPrepared(QStringLiteral("300 Records"));
    QSignalSpy Finished(Form.get(), &QDialog::finished);
    QTest::mouseClick(Form->Button2, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Server.MessageFiles().size() >= 5; }, 30000));
    QTest::mouseClick(Form->CancelBtn, Qt::LeftButton); // No: goes on
    ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes.Texts.size() == 1; }, 5000));
    EXPECT_TRUE(Form->isVisible());
    QTest::mouseClick(Form->CancelBtn, Qt::LeftButton); // Yes: aborts
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished.count() > 0; }, 30000));
    EXPECT_EQ(Boxes.Texts.last(), QStringLiteral("Mailing Aborted"));
    const int Sent = int(Server.Recipients().size());
    EXPECT_LT(Sent, 300);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return LogFileLines().last().endsWith(QStringLiteral(" Sent of 300")); }, 5000));
    EXPECT_EQ(LogFileLines().last(), QStringLiteral("%1 Sent of 300").arg(Sent));

    // A program that closes during a mailing stops and waits for its threads first.
    QFile::remove(DefaultLogFileName());
    ShowPrepared(QStringLiteral("300 Records"));
    QTest::mouseClick(Form->Button2, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Server.MessageFiles().size() >= Sent + 5; }, 30000));
    Form.reset();
}

// Closing the dialog while the connector waits on a server that never speaks: it closes at
// once, not after the time-out, and no box follows for the mailing the user closed.
TEST_F(DeliverySendForm, CancelWhileConnectingClosesAtOnceWithoutABox)
{
    Server.SetControl({{"silent", true}});
    Threads = 2;
    Open(3);
    const int TimeOut = 60000;
    Form->FMailing.ConnectTimeout = TimeOut;
    ShowPrepared(QStringLiteral("3 Records"));
    QSignalSpy Finished(Form.get(), &QDialog::finished);
    QTest::mouseClick(Form->Button2, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFile::exists(Server.FilePath(QStringLiteral("silent.1"))); }, 10000));
    QElapsedTimer T;
    T.start();
    QTest::mouseClick(Form->CancelBtn, Qt::LeftButton);
    EXPECT_EQ(Finished.count(), 1);
    EXPECT_LT(T.elapsed(), TimeOut / 2) << "the connector waited for its time-out";
    EXPECT_TRUE(Boxes.Texts.isEmpty()) << Boxes.Texts.join(QLatin1Char('|')).toStdString();
    // Written lines leave the memory; the ones not yet written follow them.
    const QStringList Log = LogFileLines() + Form->FMailing.LogLines();
    ASSERT_FALSE(Log.isEmpty());
    EXPECT_EQ(Log.last(), QStringLiteral("Aborted"));
}

TEST_F(DeliverySendForm, BadPortRecipientFieldAndCharsetStopThePreparation)
{
    Open(4);
    Port = QStringLiteral("2x5");
    Form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes.Texts.size() == 1; }, 10000));
    EXPECT_EQ(Boxes.Texts[0], QStringLiteral("'2x5' is not a valid integer value"));
    QTest::keyClick(Form.get(), Qt::Key_F4, Qt::AltModifier); // swallowed
    EXPECT_TRUE(Form->isVisible());
    QTest::mouseClick(Form->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());

    Port.clear();
    Recipient = QStringLiteral("NOFIELD");
    Query.SetRecNo(2);
    QSignalSpy Finished(Form.get(), &QDialog::finished);
    Form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished.count() > 0; }, 10000));
    EXPECT_EQ(Boxes.Texts.last(), QStringLiteral("Invalid E-mail Address"));
    EXPECT_EQ(Query.RecNo(), 2);
    EXPECT_FALSE(Query.ControlsDisabled());

    // A name the charset cannot hold is found before anything is sent, naming its record;
    // an HTML body writes it as a character reference instead.
    Recipient = QStringLiteral("EMAIL");
    CharSet = QStringLiteral("iso-8859-5");
    Form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished.count() > 1; }, 10000));
    EXPECT_EQ(Boxes.Texts.last(),
              QStringLiteral("The character \"ë\" (U+00EB) cannot be written in the charset "
                             "iso-8859-5 (record 2)"));
    EXPECT_EQ(Query.RecNo(), 2);
    ContentType = QStringLiteral("text/html");
    Subject = QStringLiteral("Hello");
    ShowPrepared(QStringLiteral("3 Records"));
    QTest::mouseClick(Form->CancelBtn, Qt::LeftButton);
    EXPECT_TRUE(Server.MessageFiles().isEmpty());
}

// A server that closes with 421 at every MAIL, over PIPELINING: the box shows its reply, Retry
// logs nothing, Abort logs the one failure, in the texts as they stand.
TEST_F(DeliverySendForm, RefusalShownWithItsReplyAndLoggedOnceWhenGivenUp)
{
    TTestServer Script("scriptserver.py");
    QJsonArray Every;
    for (int I = 1; I <= 200; ++I)
        Every << I;
    Script.SetControl({{"mail_421", Every}});
    Port = QString::number(Script.Port());
    Threads = 1;
    Open(3);
    int Prompts = 0;
    Boxes.Answer = [&](const QString &Text) {
        if (!Text.endsWith(QStringLiteral(" Recipient: person0@example.com")))
            return QMessageBox::NoButton;
        return ++Prompts == 1 ? QMessageBox::Retry : QMessageBox::Abort;
    };
    ShowPrepared(QStringLiteral("3 Records"));
    StartAndWaitForEnd();
    const QString Refusal = QStringLiteral("421 4.3.2 Shutting down");
    EXPECT_EQ(Boxes.Texts, (QStringList{Refusal + QStringLiteral(" Recipient: person0@example.com"),
                                        Refusal + QStringLiteral(" Recipient: person0@example.com"),
                                        QStringLiteral("Mailing Aborted")}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return LogFileLines().last() == QStringLiteral("0 Sent of 3"); }, 5000));
    const QStringList Log = LogFileLines();
    EXPECT_EQ(Log.filter(QStringLiteral("Failed")),
              QStringList{Refusal + QStringLiteral(" Failed: person0@example.com")});
    EXPECT_EQ(Log.at(Log.size() - 2), QStringLiteral("Mailing Aborted"));
    EXPECT_TRUE(Script.MessageFiles().isEmpty());
}

// Cancel, or the close box, while one server stalls before DATA and another holds its reply to
// the final dot: the dialog closes within moments, not after the read time-out (60 s) or the
// wait for the final reply (10 min). The held message is not counted as sent, and the log says
// it went unconfirmed.
TEST_F(DeliverySendForm, CancelCutsEveryWaitShort)
{
    Threads = 2;
    Open(6);
    Form->FMailing.ConnectTimeout = 60000;
    Boxes.Answer = [](const QString &Text) {
        return Text == QStringLiteral("Are You sure to cancel this operation?")
                   ? QMessageBox::Yes
                   : QMessageBox::NoButton;
    };
    for (const bool CloseBox : {false, true}) {
        SCOPED_TRACE(CloseBox ? "close box" : "Cancel");
        QFile::remove(DefaultLogFileName());
        const int Stored = int(Server.MessageFiles().size());
        // One sender stalls at RCPT of message 1; the other sends message 0 and waits for the
        // final reply to message 2.
        Server.SetControl({{"stall_rcpt", QJsonArray{Email(1)}}, {"hold", QJsonArray{Email(2)}}});
        Server.Restart();
        ShowPrepared(QStringLiteral("6 Records"));
        QSignalSpy Finished(Form.get(), &QDialog::finished);
        QTest::mouseClick(Form->Button2, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return QFile::exists(Server.FilePath(QStringLiteral("stall.") + Email(1))) &&
                       QFile::exists(Server.FilePath(QStringLiteral("hold.") + Email(2)));
            },
            30000));
        QFile::remove(Server.FilePath(QStringLiteral("stall.") + Email(1)));
        QFile::remove(Server.FilePath(QStringLiteral("hold.") + Email(2)));
        if (CloseBox)
            Form->close();
        else
            QTest::mouseClick(Form->CancelBtn, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Finished.count() > 0; }, 20000))
            << "a sender still waits on its server";
        EXPECT_EQ(Boxes.Texts.last(), QStringLiteral("Mailing Aborted"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return LogFileLines().last() == QStringLiteral("1 Sent of 6"); }, 5000));
        const QStringList Log = LogFileLines();
        EXPECT_EQ(Log.filter(QStringLiteral("Success: ")),
                  QStringList{QStringLiteral("Success: ") + Email(0)});
        const QStringList Failed = Log.filter(QStringLiteral(" Failed: "));
        ASSERT_EQ(Failed.size(), 2) << Log.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(Failed
                      .filter(QRegularExpression(
                          QStringLiteral("^Cancelled before the message was sent to the "
                                         "SMTP server \\S+ Failed: ") +
                          QRegularExpression::escape(Email(1)) + QLatin1Char('$')))
                      .size(),
                  1);
        EXPECT_EQ(Failed
                      .filter(QRegularExpression(
                          QStringLiteral("^Cancelled after the message was sent, before "
                                         "the SMTP server \\S+ confirmed it Failed: ") +
                          QRegularExpression::escape(Email(2)) + QLatin1Char('$')))
                      .size(),
                  1);
        EXPECT_EQ(int(Server.MessageFiles().size()), Stored + 1);
    }
}

// A server that writes its final "250" without the line break and closes has taken the
// message: it is counted once and never sent again.
TEST_F(DeliverySendForm, FinalReplyCutOffByTheCloseCountsAsSent)
{
    TTestServer Script("scriptserver.py");
    Script.SetControl({{"bare_final", QJsonArray{1, 2, 3, 4, 5, 6}}});
    Port = QString::number(Script.Port());
    Threads = 2;
    Open(6);
    ShowPrepared(QStringLiteral("6 Records"));
    StartAndWaitForEnd();
    EXPECT_EQ(Boxes.Texts, QStringList{QStringLiteral("Mailing is Completed Successfully")});
    QStringList Got;
    for (const QString &F : Script.MessageFiles())
        Got << Script.Envelope(F).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString();
    Got.sort();
    EXPECT_EQ(Got, (QStringList{Email(0), Email(1), Email(2), Email(3), Email(4), Email(5)}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return LogFileLines().last() == QStringLiteral("6 Sent of 6"); }, 5000));
    EXPECT_EQ(LogFileLines().filter(QStringLiteral("Success: ")).size(), 6);
}
