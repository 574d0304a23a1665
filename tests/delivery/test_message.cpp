// Message composition read back by Python's email package, without a server.

#include "delivery/charsets.h"
#include "delivery/idexception.h"
#include "delivery/idmessage.h"
#include "delivery/mimeencode.h"
#include "testserver.h"

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

} // namespace
