// The profile store and its file: the bytes as the format gives them, a round trip byte for
// byte, a damaged file loaded as far as it is whole, a file that cannot be written.

#include "delivery/profiles.h"
#include "testserver.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace qf::delivery;

namespace {

QByteArray Int32(int V)
{
    QByteArray B(4, '\0');
    qToLittleEndian<qint32>(V, B.data());
    return B;
}

QByteArray Entry(const QByteArray &Key, const QByteArray &Value)
{
    return Int32(int(Key.size())) + Key + Int32(7) + Int32(int(Value.size())) + Value;
}

} // namespace

TEST(DeliveryProfiles, FileBytesAndRoundTrip)
{
    QTemporaryDir Dir;
    const QString File =
        ProfileFileName(Dir.path() + QStringLiteral("/"), QStringLiteral("/nowhere"));
    EXPECT_EQ(File, Dir.filePath(QStringLiteral("Profiles.dat")));
    EXPECT_EQ(ProfileFileName(QStringLiteral("/no/such/folder"), Dir.path()), File);
    EXPECT_EQ(ProfileFileName(QString(), Dir.path()), File);

    TProfiles P;
    P.AddProfile(QStringLiteral("OFFICE"));
    P.AddProfile(QStringLiteral("HOME"));
    ASSERT_TRUE(P.SetValue(QStringLiteral("Host"), QStringLiteral("OFFICE"),
                           QStringLiteral("smtp.example.com")));
    ASSERT_TRUE(
        P.SetValue(QStringLiteral("Name"), QStringLiteral("HOME"), QStringLiteral("Zoë Müller")));
    EXPECT_FALSE(P.SetValue(QStringLiteral("Host"), QStringLiteral("NONE"), QStringLiteral("x")));
    QString Error;
    ASSERT_TRUE(P.Save(File, &Error)) << Error.toStdString();

    // Key order: every "Pr~Addr~" first, then Host, Name, Port, RepAddr, User.
    QByteArray Want = Int32(1);
    for (const char *Item : {"Addr", "Host", "Name", "Port", "RepAddr", "User"})
        for (const char *Name : {"HOME", "OFFICE"}) {
            QByteArray Value;
            if (QByteArray(Item) == "Port")
                Value = "25";
            else if (QByteArray(Item) == "Host" && QByteArray(Name) == "OFFICE")
                Value = "smtp.example.com";
            else if (QByteArray(Item) == "Name" && QByteArray(Name) == "HOME")
                Value = QStringLiteral("Zoë Müller").toUtf8();
            Want += Entry(QByteArray("Pr~") + Item + "~" + Name, Value);
        }
    const QByteArray Bytes = ReadAll(File);
    EXPECT_EQ(Bytes, Want);

    TProfiles Q;
    ASSERT_TRUE(Q.Load(File));
    ASSERT_TRUE(Q.Save(File));
    EXPECT_EQ(ReadAll(File), Want);

    TSenderProfile S;
    for (const QString &Item : ProfileItems)
        Q.SetValue(Item, QStringLiteral("OFFICE"),
                   Item == QLatin1String("RepAddr") ? QString() : QStringLiteral("v"));
    EXPECT_TRUE(Q.LoadSelectedProfile(QStringLiteral("OFFICE"), S));
    EXPECT_TRUE(S.FReplyAddress.isEmpty());
    // Only the reply address may be blank.
    Q.SetValue(QStringLiteral("Addr"), QStringLiteral("OFFICE"), QString());
    EXPECT_FALSE(Q.LoadSelectedProfile(QStringLiteral("OFFICE"), S));
}

TEST(DeliveryProfiles, DamagedAndMissingFiles)
{
    QTemporaryDir Dir;
    const QString File = Dir.filePath(QStringLiteral("Profiles.dat"));
    TProfiles P;
    P.AddProfile(QStringLiteral("A"));
    P.AddProfile(QStringLiteral("B"));
    ASSERT_TRUE(P.Save(File));
    const QByteArray Whole = ReadAll(File);

    // Cut inside the last entry: every whole entry loads, and the load says so.
    {
        QFile F(File);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(Whole.left(Whole.size() - 3));
    }
    TProfiles Q;
    QString Message;
    EXPECT_FALSE(Q.Load(File, &Message));
    EXPECT_TRUE(Message.contains(QStringLiteral("damaged")));
    EXPECT_EQ(Q.Names(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QString Value;
    EXPECT_TRUE(Q.Value(QStringLiteral("User"), QStringLiteral("A"), Value));
    EXPECT_FALSE(Q.Value(QStringLiteral("User"), QStringLiteral("B"), Value));

    // A missing file is no error and loads nothing: what was loaded before goes.
    EXPECT_TRUE(Q.Load(Dir.filePath(QStringLiteral("none.dat")), &Message));
    EXPECT_TRUE(Q.Names().isEmpty());
}
