// Message composition read back by Python's email package, without a server.

#include "delivery/charsets.h"
#include "delivery/idexception.h"
#include "delivery/idmessage.h"
#include "delivery/mimeencode.h"
#include "testserver.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace qf::delivery;

namespace {

void Basic(TIdMessage &M)
{
    M.From.Address = QStringLiteral("sender@example.com");
    M.Recipients.Add().Address = QStringLiteral("rcpt@example.com");
}

TEST(DeliveryMessage, LongHeadersFoldAndReadBackWhole)
{
    TIdMessage M;
    Basic(M);
    QString Ascii;
    for (int I = 0; I < 60; ++I)
        Ascii += QStringLiteral("word%1 ").arg(I);
    Ascii += QStringLiteral("x  double  spaces");
    const QString NoSpaces(1500, QLatin1Char('q'));
    const QString Greek = QStringLiteral("Καλημέρα κόσμε, ").repeated(12);
    // Names that escaping doubles: their length counts once escaped.
    const QString Names[] = {QStringLiteral("Smith, John \"JJ\" (Boss) \\ back"),
                             QString(800, QLatin1Char('"')),
                             QString(600, QLatin1Char('\\')) + QStringLiteral(", x")};
    M.CharSet = QStringLiteral("iso-8859-7");
    const QString Gap = QStringLiteral("x") + QString(1200, QLatin1Char(' ')) + QStringLiteral("y");
    const QString Subjects[] = {Ascii, NoSpaces, Greek,
                                QStringLiteral("=?utf-8?B?SGk=?= looks encoded"), Gap};
    for (int I = 0; I < 5; ++I) {
        const QString &Subject = Subjects[I];
        SCOPED_TRACE(Subject.left(20).toStdString());
        M.Subject = Subject;
        M.From.Name = Names[I % 3];
        const QByteArray Raw = M.Compose(QStringLiteral("Quillfast v2.0"));
        for (const QByteArray &Line : Raw.left(Raw.indexOf("\r\n\r\n") + 2).split('\n'))
            EXPECT_LE(Line.size(), 78 + 1) << Line.left(40).toStdString();
        const QJsonObject P = ParseComposed(Raw);
        EXPECT_EQ(P["subject"].toString(), Subject);
        EXPECT_EQ(P["from"][0]["name"].toString(), M.From.Name);
        EXPECT_TRUE(P["defects"].toArray().isEmpty());
    }
}

TEST(DeliveryMessage, LineBreaksCannotAddHeadersAndBadInputIsRefused)
{
    TIdMessage M;
    Basic(M);
    M.Subject = QStringLiteral("Hello\r\nBcc: victim@example.com");
    M.From.Name = QStringLiteral("Eve\nX-Injected: yes");
    const QByteArray Raw = M.Compose({});
    EXPECT_FALSE(Raw.contains("\r\nBcc:"));
    EXPECT_FALSE(Raw.contains("\nX-Injected"));
    EXPECT_EQ(Str(ParseComposed(Raw)["subject"]), "Hello  Bcc: victim@example.com");
    // Other control characters are dropped, also from encoded words; a tab is
    // white space.
    M.Subject = QStringLiteral("a\x01"
                               "b\x1B[31mc\x7F\u0085d\te \u00e9");
    M.From.Name = QStringLiteral("Bell\aName");
    const QJsonObject P = ParseComposed(M.Compose({}));
    EXPECT_EQ(P["subject"].toString(), QStringLiteral("ab[31mcd e \u00e9"));
    EXPECT_EQ(Str(P["from"][0]["name"]), "BellName");

    for (const QString &Bad :
         {QStringLiteral("a@example.com\r\nRCPT TO:<b@example.com>"), QString(),
          QStringLiteral("x").repeated(1000) + QStringLiteral("@example.com")}) {
        TIdMessage R;
        R.From.Address = QStringLiteral("sender@example.com");
        R.Recipients.Add().Address = Bad;
        EXPECT_THROW(R.Compose({}), EIdException);
    }
    M.CharSet = QStringLiteral("no-such-charset");
    try {
        M.Compose({});
        ADD_FAILURE();
    } catch (const EIdException &E) {
        EXPECT_TRUE(E.Message().contains(QLatin1String("no-such-charset")));
    }
}

TEST(DeliveryMessage, BodyEncodingFollowsTheContent)
{
    TIdMessage M;
    Basic(M);
    const QString Long = QStringLiteral("x").repeated(2500) + QStringLiteral(" end");
    struct TCase {
        const char *Charset;
        QString Line;
        const char *Encoding;
    } Cases[] = {
        {"windows-1252", QStringLiteral("Mostly ASCII with one ü and = sign"), "quoted-printable"},
        {"windows-1252", QStringLiteral("aaü").repeated(100), "base64"},
        {"windows-1251", QStringLiteral("Съешь же ещё этих мягких французских булок"), "base64"},
        {"utf-8", Long, "quoted-printable"},
        {"utf-8", QStringLiteral("世界").repeated(700), "base64"},
    };
    for (const TCase &C : Cases) {
        SCOPED_TRACE(C.Charset);
        M.CharSet = QString::fromLatin1(C.Charset);
        M.Body = QStringList{C.Line, QStringLiteral("second\r\nthird\nfourth")};
        const QJsonObject P = ParseComposed(M.Compose({}));
        EXPECT_EQ(Str(P["transfer_encoding"]), C.Encoding);
        EXPECT_EQ(P["body"].toString(),
                  C.Line + QStringLiteral("\r\nsecond\r\nthird\r\nfourth\r\n"));
        EXPECT_LE(P["longest_line"].toInt(), 78);
        EXPECT_EQ(P["bare_line_feeds"].toInt(), 0);
    }
}

// Byte for byte where Python's decoders forgive: spaces before a line end are
// escaped, and characters the charset lacks become references to their code
// points.
TEST(DeliveryMessage, QuotedPrintableAndCharacterReferences)
{
    EXPECT_EQ(EncodeQuotedPrintable("a \r\nb\t"), "a=20\r\nb=09");
    TCharsetEncoder Latin1(QStringLiteral("windows-1252"));
    EXPECT_EQ(Latin1.Encode(QStringLiteral("\u00E9\u0416\u884C"), TCharsetEncoder::umHtmlReference),
              "\xE9&#1046;&#34892;");
}

TEST(DeliveryMessage, LocalPicturesTravelInsideTheMessage)
{
    QTemporaryDir Dir;
    auto Write = [&](const QString &Name, const QByteArray &Bytes) {
        QFile F(Dir.filePath(Name));
        EXPECT_TRUE(F.open(QIODevice::WriteOnly) && F.write(Bytes) == Bytes.size());
        return F.fileName();
    };
    QByteArray Every;
    for (int I = 0; I < 3000; ++I)
        Every.append(char(I * 7 % 256));
    const QString Logo = Write(QStringLiteral("logo.png"), "\x89PNG\r\n" + Every);
    const QString Odd = Write(QStringLiteral("a b&c.gif"), "GIF89a\r\n\x1A" + Every.left(100));
    // Attachments: binary, empty, a long name split over continuations, a name to
    // quote.
    const std::pair<QString, QByteArray> Files[] = {
        {QStringLiteral("report.PDF"), Every},
        {QStringLiteral("empty.bin"), QByteArray()},
        {QStringLiteral("Годовой отчёт за 2026 год — очень длинное имя файла для "
                        "проверки.txt"),
         "line one\r\n.line two\nno end"},
        {QStringLiteral("a \"quoted\"; name, with=signs.csv"), "a;b\r\n1;2\r\n"}};
    auto Sha = [](const QString &File) {
        QFile F(File);
        F.open(QIODevice::ReadOnly);
        return QString::fromLatin1(
            QCryptographicHash::hash(F.readAll(), QCryptographicHash::Sha256).toHex());
    };
    const QString Remote = QStringLiteral("<img src=\"https://example.com/r.png\">");
    const QString Body =
        QStringLiteral("<p><img src=\"%1\"><IMG alt=x SRC='%2'>%3<img src=%1> "
                       "Grüße – 中</p>")
            .arg(Logo, QUrl::fromLocalFile(Odd).toString().replace('&', "&amp;"), Remote);

    // With and without attachments: the text and its pictures are one related
    // part.
    const std::pair<bool, QStringList> Cases[] = {
        {false, {"multipart/related", "text/html", "image/png", "image/gif"}},
        {true,
         {"multipart/mixed", "multipart/related", "text/html", "image/png", "image/gif",
          "application/pdf", "application/octet-stream", "text/plain", "text/csv"}}};
    for (const auto &[Attach, Structure] : Cases) {
        SCOPED_TRACE(Attach);
        TIdMessage M;
        Basic(M);
        M.ContentType = QStringLiteral("text/html");
        M.CharSet = QStringLiteral("iso-8859-1");
        M.Body = QStringList{Body};
        for (const auto &[Name, Data] : Files)
            if (Attach)
                M.MessageParts.AddAttachment(Write(Name, Data));
        const QByteArray Raw = M.Compose({});
        const QJsonObject P = ParseComposed(Raw);
        EXPECT_EQ(P["structure"].toVariant().toStringList(), Structure);
        EXPECT_TRUE(P["defects"].toArray().isEmpty());
        const QString Html = P["body"].toString();
        const QJsonArray Inline = P["inline"].toArray();
        ASSERT_EQ(Inline.size(), 2);
        QMap<QString, QString> Parts;
        for (int I = 0; I < 2; ++I) {
            const QString Id = Inline[I]["content_id"].toString();
            Parts.insert(Id, Inline[I]["sha256"].toString());
            EXPECT_EQ(Inline[I]["disposition"].toString(), "inline");
            EXPECT_EQ(Html.count("cid:" + Id), I == 0 ? 2 : 1) << Html.toStdString();
        }
        EXPECT_EQ(Inline[0]["sha256"].toString(), Sha(Logo));
        EXPECT_EQ(Inline[1]["sha256"].toString(), Sha(Odd));
        EXPECT_EQ(Inline[1]["filename"].toString(), "a b&c.gif");
        EXPECT_TRUE(Html.contains(Remote));
        // Characters Latin-1 lacks go as references in HTML.
        EXPECT_TRUE(Html.contains(QStringLiteral("Grüße &#8211; &#20013;</p>")));
        const QJsonArray A = P["attachments"].toArray();
        ASSERT_EQ(A.size(), Attach ? 4 : 0);
        for (qsizetype I = 0; I < A.size(); ++I) {
            EXPECT_EQ(A[I]["filename"].toString(), Files[I].first);
            EXPECT_EQ(A[I]["sha256"].toString(), Sha(Dir.filePath(Files[I].first)));
        }
        // Some readers decode each continuation of a long name alone: none may end
        // inside a character.
        int Pieces = 0;
        for (auto It = QRegularExpression(QStringLiteral("name\\*\\d+\\*=(?:utf-8'')?([^;\\s]*)"))
                           .globalMatch(QString::fromLatin1(Raw));
             It.hasNext(); ++Pieces) {
            QStringDecoder Utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            (void)Utf8.decode(QByteArray::fromPercentEncoding(It.next().captured(1).toLatin1()));
            EXPECT_FALSE(Utf8.hasError());
        }
        EXPECT_EQ(Pieces > 4, Attach);
        EXPECT_FALSE(Html.contains(Dir.path()));
        EXPECT_EQ(InlinePartsByPerl(Raw), Parts);
        EXPECT_EQ(InlinePartsByReformime(Raw), Parts);
    }

    // A plain text is sent as written; a picture that cannot be read stops the
    // message.
    TIdMessage M;
    Basic(M);
    M.Body = QStringList{Body};
    EXPECT_FALSE(M.Compose({}).contains("multipart"));
    M.ContentType = QStringLiteral("text/html");
    QFile::remove(Logo);
    try {
        M.Compose({});
        ADD_FAILURE();
    } catch (const EIdException &E) {
        EXPECT_TRUE(E.Message().contains(Logo)) << E.Message().toStdString();
    }
}

// A page's own META names the charset its bytes are sent in, as the header does.
TEST(DeliveryMessage, TheBodysMetaNamesTheMessageCharset)
{
    TIdMessage M;
    Basic(M);
    M.ContentType = QStringLiteral("text/html");
    // %1 the charset each META names; the rest names none and stays as written.
    const QString Head = QStringLiteral(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=%1\">\r\n"
        "<META HTTP-EQUIV=content-type CONTENT='text/html;charset=\"%1\"'><meta charset=%1 />"
        "<!--[if mso]><meta charset=\"%1\"><![endif]-->");
    const QString Rest =
        QStringLiteral("<meta name=\"x\" content=\"charset=utf-8\"><meta http-equiv=\"Content-"
                       "Type\" content=\"text/html\"></head><body><p>%1</p><p>&lt;meta "
                       "charset=utf-8&gt;</p></body></html>");
    const struct {
        const char *Charset, *Label;
        QString Text;
    } Cases[] = {{"iso-8859-2", "iso-8859-2", QStringLiteral("Zażółć gęślą jaźń")},
                 {"koi8-r", "koi8-r", QStringLiteral("Съешь же ещё")},
                 {"x-user-defined", "utf-8", QStringLiteral("Zażółć Съешь")},
                 {"utf-8", "utf-8", QStringLiteral("世界")}};
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Charset);
        M.CharSet = QString::fromLatin1(C.Charset);
        M.Body = QStringList{Head.arg(QStringLiteral("UTF-8")) + Rest.arg(C.Text)};
        const QByteArray Raw = M.Compose({});
        EXPECT_TRUE(
            Raw.contains(QByteArray("Content-Type: text/html; charset=\"") + C.Label + "\"\r\n"));
        EXPECT_EQ(
            ParseComposed(Raw)["body"].toString().toStdString(),
            (Head.arg(QString::fromLatin1(C.Label)) + Rest.arg(C.Text) + QStringLiteral("\r\n"))
                .toStdString());
    }
    // Plain text is no page: a META in it is text as typed.
    M.ContentType = QStringLiteral("text/plain");
    M.CharSet = QStringLiteral("koi8-r");
    M.Body = QStringList{QStringLiteral("<meta charset=utf-8>")};
    EXPECT_EQ(ParseComposed(M.Compose({}))["body"].toString(),
              QStringLiteral("<meta charset=utf-8>\r\n"));
}

TEST(DeliveryMessage, ReplyToAndContentType)
{
    TIdMessage M;
    Basic(M);
    M.ReplyTo.Add().Address = QString(); // the mailing adds one entry even for no address
    const QByteArray Raw = M.Compose({});
    EXPECT_FALSE(Raw.contains("Reply-To:"));
    EXPECT_TRUE(Raw.contains("Content-Type: text/plain; charset=\"utf-8\"\r\n"));
    EXPECT_FALSE(Raw.contains("multipart"));
    EXPECT_FALSE(Raw.contains("X-Mailer"));

    M.ContentType = QStringLiteral("text/html\r\nBcc: x@example.com");
    EXPECT_THROW(M.Compose({}), EIdException);
}

} // namespace
