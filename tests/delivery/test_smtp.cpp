// The client and the message against a real SMTP server on 127.0.0.1, read back
// by Python's email package.

#include "delivery/idexception.h"
#include "delivery/idmessage.h"
#include "delivery/idsmtp.h"
#include "testserver.h"

#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <gtest/gtest.h>

using namespace qf::delivery;

namespace {

QString Nfc(const QString &S) { return S.normalized(QString::NormalizationForm_C); }

// One charset of each converter: a single-byte table, iconv's stateful ones
// (UTF-7, and the pages that compose accents), UTF-8, and the platform's own
// bytes sent as UTF-8.
struct TSample {
    const char *Charset, *Subject, *FromName, *ToName, *Line;
};

const TSample Samples[] = {
    {"windows-1251", "Привет, мир! «Ёлка» №1", "Иван Петров", "Мария",
     "Съешь же ещё этих мягких французских булок — €"},
    {"windows-1255", "שלום עולם", "דוד כהן", "רחל", "דג סקרן שט בים מאוכזב ולפתע מצא חברה ₪"},
    {"utf-7", "Grüße aus 世界 😀 +plus-", "Zoë 李", "Ünal", "UTF-7 text: +1 - ~ \\ 世界 😀"},
    {"utf-8", "Grüße aus 世界 😀", "Zoë 李", "Ünal", "Emoji 😀 and 世界 and ⅓"},
    {"x-user-defined", "Grüße aus 世界", "Zoë 李", "Ünal", "The platform's own bytes: Ωμέγα 世界"},
    {"windows-1258", "Xin chào thế giới", "Nguyễn Văn An", "Trần Thị Bích",
     "Tiếng Việt có dấu: ắ ằ ẳ ẵ ặ"},
};

void Fill(TIdMessage &M, const TSample &S, const QString &To)
{
    M.CharSet = QString::fromLatin1(S.Charset);
    M.ContentType = QStringLiteral("text/plain");
    M.From.Address = QStringLiteral("sender@example.com");
    M.From.Name = QString::fromUtf8(S.FromName);
    M.Recipients.Clear();
    TIdEMailAddressItem &R = M.Recipients.Add();
    R.Address = To;
    R.Name = QString::fromUtf8(S.ToName);
    M.Subject = QString::fromUtf8(S.Subject);
    M.Body = QStringList{QString::fromUtf8(S.Line), QString(),
                         QStringLiteral(".a line with a leading dot"), QStringLiteral("."),
                         QStringLiteral("trailing space ")};
}

class DeliveryClient : public ::testing::Test {
protected:
    TTestServer Server;
    TIdSMTP Smtp;
    void SetUp() override
    {
        Smtp.Host = QStringLiteral("127.0.0.1");
        Smtp.Port = Server.Port();
        Smtp.Username = QStringLiteral("user");
        Smtp.MailAgent = QStringLiteral("Quillfast v2.0");
        Smtp.ReadTimeout = 10000;
    }
    // Sends one plain message to To.
    void SendSimple(const QString &To = QStringLiteral("rcpt@example.com"))
    {
        TIdMessage M;
        M.From.Address = QStringLiteral("sender@example.com");
        M.Recipients.Add().Address = To;
        M.Subject = QStringLiteral("simple");
        M.Body = QStringList{QStringLiteral("hello")};
        Smtp.Send(M);
    }
    // The message of the exception that F throws ("" when none).
    template <class F>
    static QString Failure(F &&Fn)
    {
        try {
            Fn();
        } catch (const EIdException &E) {
            EXPECT_FALSE(E.Message().isEmpty());
            return E.Message();
        }
        return {};
    }
};

TEST_F(DeliveryClient, CharsetsRoundTripOverOneConnection)
{
    Smtp.Connect();
    ASSERT_TRUE(Smtp.Connected());
    TIdMessage M;
    const qsizetype N = std::size(Samples);
    for (qsizetype I = 0; I < N; ++I) {
        Fill(M, Samples[I], QStringLiteral("rcpt%1@example.com").arg(I));
        ASSERT_NO_THROW(Smtp.Send(M)) << Samples[I].Charset;
    }
    const QStringList Files = Server.MessageFiles();
    ASSERT_EQ(Files.size(), N);
    const QJsonArray Parsed = ParseMail(Files);
    QSet<QString> Peers;
    for (qsizetype I = 0; I < N; ++I) {
        const TSample &S = Samples[I];
        SCOPED_TRACE(S.Charset);
        const QJsonObject P = Parsed.at(I).toObject();
        EXPECT_EQ(Str(P["charset"]), I == 4 ? "utf-8" : S.Charset);
        EXPECT_EQ(P["subject"].toString(), Nfc(QString::fromUtf8(S.Subject)));
        EXPECT_EQ(P["from"][0]["name"].toString(), Nfc(QString::fromUtf8(S.FromName)));
        EXPECT_EQ(P["to"][0]["name"].toString(), Nfc(QString::fromUtf8(S.ToName)));
        EXPECT_EQ(P["body"].toString(),
                  Nfc(QString::fromUtf8(S.Line)) +
                      "\r\n\r\n.a line with a leading dot\r\n.\r\ntrailing space \r\n");
        EXPECT_EQ(P["bare_line_feeds"].toInt(), 0);
        EXPECT_TRUE(P["defects"].toArray().isEmpty());
        const QJsonObject Env = Server.Envelope(Files[I]);
        EXPECT_EQ(Env["rcpt_tos"][0].toString(), QStringLiteral("rcpt%1@example.com").arg(I));
        Peers.insert(Env["peer"].toString());
    }
    EXPECT_EQ(Peers.size(), 1) << "every message should use the connection Connect made";
}

TEST_F(DeliveryClient, EmptyPasswordNeverAuthenticates)
{
    Server.SetControl({{"auth", true}});
    Smtp.Connect();
    SendSimple();
    ASSERT_EQ(Server.MessageFiles().size(), 1);
    EXPECT_FALSE(Server.Envelope(Server.MessageFiles()[0])["authenticated"].toBool());

    Smtp.Password = QStringLiteral("secret");
    Smtp.Connect();
    SendSimple();
    ASSERT_EQ(Server.MessageFiles().size(), 2);
    EXPECT_TRUE(Server.Envelope(Server.MessageFiles()[1])["authenticated"].toBool());

    Smtp.Password = QStringLiteral("wrong");
    EXPECT_TRUE(Failure([&] { Smtp.Connect(); }).startsWith(QLatin1String("535")))
        << "the server's refusal";
    EXPECT_FALSE(Smtp.Connected());
}

TEST_F(DeliveryClient, ConnectFailuresCarryTheReason)
{
    EXPECT_FALSE(Smtp.Connected());
    EXPECT_FALSE(Failure([&] { SendSimple(); }).isEmpty()) << "Send before Connect";

    Server.SetControl({{"refuse", true}});
    const QString Refused = Failure([&] { Smtp.Connect(); });
    EXPECT_TRUE(Refused.contains(QLatin1String("554")) &&
                Refused.contains(QLatin1String("Service refused")))
        << Refused.toStdString();
    EXPECT_FALSE(Smtp.Connected());

    Server.SetControl({{"silent", true}});
    const QString Silent = Failure([&] { Smtp.Connect(1000); });
    EXPECT_TRUE(Silent.contains(QLatin1String("imeout"))) << Silent.toStdString();
    // EHLO refused: HELO, and the message goes all the same.
    Server.SetControl({{"no_ehlo", true}});
    Smtp.Connect(1000);
    SendSimple();
    EXPECT_EQ(Server.MessageFiles().size(), 1);

    Server.Stop();
    const QString Closed = Failure([&] { Smtp.Connect(); });
    EXPECT_TRUE(Closed.contains(QLatin1String("Connection refused"))) << Closed.toStdString();
    // A port out of range is named as such, not blamed on the host.
    for (int Bad : {0, 70000}) {
        Smtp.Port = Bad;
        const QString Port = Failure([&] { Smtp.Connect(); });
        EXPECT_TRUE(Port.contains(QStringLiteral("port %1").arg(Bad)) && !Port.contains("onnect"))
            << Port.toStdString();
    }
}

// Each fault of the server fails the one message with its reason and gives up
// the connection; the next message goes through on a new one.
TEST_F(DeliveryClient, ServerFaultsFailOneMessageAndTheNextGoesThrough)
{
    const struct {
        QJsonObject Control;
        const char *Reason;
        int Code; // of the server's refusal
    } Faults[] = {
        {{{"reject", QJsonArray{"*"}}}, "Recipient address rejected", 550},
        {{{"drop_after_data", true}}, "before the server confirmed it", 0},
        {{{"data_reply", "554 5.7.1 Refused after all"}}, "554 5.7.1 Refused after all", 554},
        {{{"data_reply", "451 4.3.0 Try again later"}}, "451 4.3.0 Try again later", 451},
    };
    Smtp.ReadTimeout = 2000;
    Server.SetControl({{"delay", 0.3}}); // slow, but within the time-out
    Smtp.Connect();
    SendSimple();
    int Sent = 1;
    Smtp.ReadTimeout = 1000;
    for (const auto &F : Faults) {
        SCOPED_TRACE(F.Control.keys().first().toStdString());
        Server.SetControl(F.Control);
        try {
            SendSimple();
            ADD_FAILURE() << "the message went through";
        } catch (const EIdException &E) {
            EXPECT_FALSE(E.Message().isEmpty());
            EXPECT_TRUE(E.Message().contains(QLatin1String(F.Reason))) << E.Message().toStdString();
            const auto *Reply = dynamic_cast<const EIdReplyError *>(&E);
            EXPECT_EQ(Reply ? Reply->ReplyCode() : 0, F.Code);
        }
        EXPECT_FALSE(Smtp.Connected());
        Server.SetControl({});
        Smtp.Connect();
        SendSimple(QStringLiteral("after@example.com"));
        const QStringList Files = Server.MessageFiles();
        ASSERT_EQ(Files.size(), ++Sent);
        EXPECT_EQ(Str(Server.Envelope(Files.last())["rcpt_tos"][0]), "after@example.com");
    }
    // Any positive reply to the data takes the message: sending it again would double it.
    Server.SetControl({{"data_reply", "251 2.1.5 Forwarded elsewhere"}});
    SendSimple();
    EXPECT_TRUE(Smtp.Connected());
}

// International domains go out in their ASCII form in the envelope and the
// headers alike; a non-ASCII mailbox name needs a server that takes it
// (SMTPUTF8).
TEST_F(DeliveryClient, InternationalAddresses)
{
    TIdMessage M;
    M.From.Address = QStringLiteral("sender@bücher.example");
    M.From.Name = QStringLiteral("Zoë");
    M.Recipients.Add().Address = QStringLiteral("rcpt@MÜLLER.example");
    M.Subject = QStringLiteral("idn");
    Smtp.Connect();
    Smtp.Send(M);
    ASSERT_EQ(Server.MessageFiles().size(), 1);
    const QJsonObject P = ParseMail(Server.MessageFiles()).at(0).toObject();
    EXPECT_EQ(Str(P["from"][0]["address"]), "sender@xn--bcher-kva.example");
    EXPECT_EQ(Str(P["to"][0]["address"]), "rcpt@xn--mller-kva.example");
    EXPECT_TRUE(P["message_id"].toString().endsWith(QLatin1String("@xn--bcher-kva.example>")));
    const QJsonObject Env = Server.Envelope(Server.MessageFiles().at(0));
    EXPECT_EQ(Str(Env["mail_from"]), "sender@xn--bcher-kva.example");
    EXPECT_EQ(Str(Env["rcpt_tos"][0]), "rcpt@xn--mller-kva.example");

    M.Recipients[0].Address = QStringLiteral("jörg@example.com");
    const QString Refused = Failure([&] { Smtp.Send(M); });
    EXPECT_TRUE(Refused.contains(QStringLiteral("jörg@example.com")) &&
                Refused.contains(QLatin1String("SMTPUTF8")))
        << Refused.toStdString();
    EXPECT_EQ(Server.MessageFiles().size(), 1);
    EXPECT_TRUE(Smtp.Connected());
    M.Recipients[0].Address = QStringLiteral("rcpt@bü..example");
    EXPECT_TRUE(Failure([&] { Smtp.Send(M); }).contains(QStringLiteral("rcpt@bü..example")));

    Server.SetControl({{"smtputf8", true}});
    Smtp.Connect();
    M.Recipients[0].Address = QStringLiteral("jörg@example.com");
    Smtp.Send(M);
    ASSERT_EQ(Server.MessageFiles().size(), 2);
    EXPECT_EQ(Server.Envelope(Server.MessageFiles().at(1))["rcpt_tos"][0].toString(),
              M.Recipients[0].Address);
}

// Against a server of ours that misbehaves on cue, with a read time-out of 1 s:
// every message is stored exactly once, in 2 round trips with PIPELINING and in
// lock-step without it. Only the sends the row names fail; a failed one is sent
// once more, as the mailing would.
TEST(DeliveryScriptedServer, EveryMessageOnce)
{
    const struct {
        const char *Name;
        QJsonObject Control;
        int FirstFails; // bit I: the first send of message I fails
        int Refused;    // bit I: every send of message I fails
        int Turns;      // the server's answers per message
    } Rows[] = {
        {"pipelined, replies byte by byte", {{"split", true}}, 0, 0, 2},
        {"lock-step", {{"pipelining", false}, {"split", true}}, 0, 0, 4},
        {"late 250 after 1.5 s", {{"delay", 1.5}, {"delay_at", QJsonArray{2}}}, 0, 0, 2},
        {"late 250 after 3 s", {{"delay", 3}, {"delay_at", QJsonArray{2}}}, 0, 0, 2},
        {"drop before the final reply", {{"drop_before", QJsonArray{2}}}, 0b010, 0, 2},
        {"drop after the final 250", {{"drop_after", QJsonArray{1, 2}}}, 0, 0, 2},
        {"final 250 without CRLF, then close", {{"bare_final", QJsonArray{1, 2}}}, 0, 0, 2},
        {"421 on the idle connection", {{"idle_421", QJsonArray{1}}}, 0, 0, 2},
        {"421 at MAIL", {{"mail_421", QJsonArray{2}}}, 0, 0, 2},
        {"421 at the next greeting",
         {{"drop_after", QJsonArray{1}}, {"greeting_421", QJsonArray{2}}},
         0b010,
         0,
         2},
        {"one recipient refused", {{"reject", QJsonArray{"r1@example.com"}}}, 0, 0b010, 2},
    };
    for (const auto &Row : Rows) {
        SCOPED_TRACE(Row.Name);
        TTestServer Server("scriptserver.py");
        Server.SetControl(Row.Control);
        TIdSMTP Smtp;
        Smtp.Host = QStringLiteral("127.0.0.1");
        Smtp.Port = Server.Port();
        Smtp.ReadTimeout = 1000;
        Smtp.Connect(1000);
        QStringList Want;
        for (int I = 0; I < 3; ++I) {
            TIdMessage M;
            M.From.Address = QStringLiteral("sender@example.com");
            M.Recipients.Add().Address = QStringLiteral("r%1@example.com").arg(I);
            M.Body = QStringList{QStringLiteral(".dot"), QStringLiteral("text")};
            for (int Try = 0; Try < 2; ++Try) {
                const bool MayFail = ((Try == 0 ? Row.FirstFails : 0) | Row.Refused) >> I & 1;
                try {
                    Smtp.Send(M);
                    EXPECT_FALSE(MayFail) << I;
                    Want << M.Recipients[0].Address;
                    break;
                } catch (const EIdException &E) {
                    EXPECT_TRUE(MayFail) << I << E.Message().toStdString();
                    if (!Smtp.Connected())
                        Smtp.Connect(1000);
                }
            }
        }
        QStringList Got;
        for (const QString &F : Server.MessageFiles()) {
            const QJsonObject Env = Server.Envelope(F);
            Got << Str(Env["rcpt_tos"][0]).c_str();
            EXPECT_EQ(Env["turns"].toInt(), Row.Turns);
            EXPECT_EQ(Env["early"].toInt(), 0) << "a command before the reply to the last";
            QFile Eml(F);
            ASSERT_TRUE(Eml.open(QIODevice::ReadOnly));
            EXPECT_TRUE(Eml.readAll().contains("\r\n.dot\r\ntext\r\n"));
        }
        EXPECT_EQ(Got, Want);
    }
}

// A server that refuses MAIL with 421 and closes: with or without PIPELINING the refusal is
// the error, with its code and text, not the close that follows it.
TEST(DeliveryScriptedServer, RefusalAtMailKeepsItsReply)
{
    for (const bool Pipelining : {true, false}) {
        SCOPED_TRACE(Pipelining ? "pipelined" : "lock-step");
        TTestServer Server("scriptserver.py");
        // The first try and the one on a new connection.
        Server.SetControl({{"pipelining", Pipelining}, {"mail_421", QJsonArray{1, 2}}});
        TIdSMTP Smtp;
        Smtp.Host = QStringLiteral("127.0.0.1");
        Smtp.Port = Server.Port();
        Smtp.ReadTimeout = 10000;
        Smtp.Connect(10000);
        TIdMessage M;
        M.From.Address = QStringLiteral("sender@example.com");
        M.Recipients.Add().Address = QStringLiteral("r0@example.com");
        try {
            Smtp.Send(M);
            ADD_FAILURE() << "the message went through";
        } catch (const EIdReplyError &E) {
            EXPECT_EQ(E.ReplyCode(), 421);
            EXPECT_EQ(E.Message(), QStringLiteral("421 4.3.2 Shutting down"));
        } catch (const EIdException &E) {
            ADD_FAILURE() << E.Message().toStdString();
        }
        EXPECT_TRUE(Server.MessageFiles().isEmpty());
    }
}

} // namespace
