#include "fileio.h"
#include "store/dlist.h"
#include "store/storefile.h"
#include "store/textcodec.h"
#include "stringowner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace qf::store;
using namespace storetest;
using qftest::ReadFile;
using qftest::WriteFile;

namespace {

QByteArray le32(int v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(qint32(v), b.data());
    return b;
}

} // namespace

TEST(StoreFile, EntriesByteForByteInKeyOrderAndRoundTrip)
{
    QTemporaryDir dir;
    StringOwner o;
    o.put("Pr~User~OFFICE", QStringLiteral("me"));
    o.put("Pr~Addr~OFFICE", QString::fromUtf8("jörg@example.org"));
    o.put("Pr~Host~OFFICE", QString());
    o.list.Add(std::string("Marker"), 3, nullptr); // a kind without data
    const QString name = dir.filePath("p.dat");
    ASSERT_TRUE(o.save(name));
    const QByteArray addr = QString::fromUtf8("jörg@example.org").toUtf8();
    const QByteArray expected = le32(1) + le32(6) + "Marker" + le32(3) // format, a bare kind
                                + le32(14) + "Pr~Addr~OFFICE" + le32(7) + le32(int(addr.size())) +
                                addr + le32(14) + "Pr~Host~OFFICE" + le32(7) +
                                le32(0) // an empty string
                                + le32(14) + "Pr~User~OFFICE" + le32(7) + le32(2) + "me";
    EXPECT_EQ(ReadFile(name), expected);

    // Loading overwrites what is in memory and releases it through the owner.
    StringOwner back;
    back.put("Pr~User~OFFICE", QStringLiteral("in memory"));
    ASSERT_TRUE(back.list.LoadFromFile(name, 1));
    EXPECT_EQ(back.disposed, 1);
    EXPECT_EQ(back.get("Pr~Addr~OFFICE"), QString::fromUtf8("jörg@example.org"));
    EXPECT_EQ(back.get("Pr~User~OFFICE"), QStringLiteral("me"));
}

TEST(StoreFile, BackupKeepsThePreviousContent)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("list.dat");
    const QString backup = dir.filePath("Backup of list.dat");
    StringOwner o;
    o.put("k", QStringLiteral("first"));
    ASSERT_TRUE(o.save(name));
    EXPECT_FALSE(QFile::exists(backup)); // a new name makes no backup
    o.put("k", QStringLiteral("second"));
    ASSERT_TRUE(o.save(name));
    const QByteArray second = ReadFile(name);
    o.put("k", QStringLiteral("third"));
    ASSERT_TRUE(o.save(name));
    EXPECT_EQ(ReadFile(backup), second); // an older backup is replaced
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);

    // The new file keeps the access rights of the one it replaces.
    const auto rights = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup;
    ASSERT_TRUE(QFile::setPermissions(name, rights));
    ASSERT_TRUE(o.save(name));
    EXPECT_EQ(QFile::permissions(name) & 0x7077, rights); // owner, group and others
}

TEST(StoreFile, EmptyRangeFormatAndPrefixedKeys)
{
    QTemporaryDir dir;
    TDList l;
    const QString name = dir.filePath("e.dat");
    l.SetRange(std::string(), 0, 0);
    ASSERT_TRUE(l.SaveToFile(name, 1));
    EXPECT_EQ(ReadFile(name), le32(1));

    l.Add(std::string("CF~Expr~X"), 2, nullptr);
    l.Separator = '~';
    l.SetRange(std::string("CF~Expr~"), 0, 0);
    ASSERT_TRUE(l.SaveToFile(name, 1));
    EXPECT_TRUE(ReadFile(name).contains("CF~Expr~X")); // keys are written whole

    TDList newer;
    EXPECT_FALSE(newer.LoadFromFile(name, 0)); // format 1 above the maximum 0
    EXPECT_TRUE(newer.IsEmpty());
}

TEST(StoreFile, DamagedFilesEndAtTheLastWholeEntry)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("d.dat");
    const QByteArray good = le32(1) + le32(1) + "a" + le32(7) + le32(2) + "ok";
    for (const QByteArray &tail : {le32(0x7fffffff), le32(1) + "b" + le32(7) + le32(50) + "short",
                                   le32(1) + "b" + le32(1) + QByteArray("\x05\x00", 2)}) {
        ASSERT_TRUE(WriteFile(name, good + tail));
        StringOwner o;
        QString error;
        EXPECT_FALSE(o.list.LoadFromFile(name, 1, &error));
        EXPECT_TRUE(error.contains("damaged"));
        EXPECT_EQ(o.get("a"), QStringLiteral("ok"));
        EXPECT_EQ(o.get("b"), QStringLiteral("<none>"));
    }
}

TEST(StoreFile, FailedSaveReportsAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    StringOwner o;
    o.put("k", QStringLiteral("v"));

    // A folder in the file's place is left where it is, with its content.
    const QString folder = dir.filePath("proj.qfx");
    ASSERT_TRUE(QDir(dir.path()).mkdir("proj.qfx"));
    ASSERT_TRUE(WriteFile(folder + "/inner.txt", "keep"));
    QString error;
    EXPECT_FALSE(o.list.SaveToFile(folder, 1, &error));
    EXPECT_TRUE(error.contains("folder")) << error.toStdString();
    EXPECT_EQ(ReadFile(folder + "/inner.txt"), QByteArray("keep"));
    EXPECT_FALSE(QFile::exists(dir.filePath("Backup of proj.qfx")));

    // An owner event that throws leaves the existing file as it was, and no backup.
    const QString name = dir.filePath("keep.dat");
    ASSERT_TRUE(o.save(name));
    const QByteArray before = ReadFile(name);
    o.list.OnSaveStructure = [](TDList *, int, void *, TFileHandle &, int) {
        throw std::runtime_error("owner failed");
    };
    EXPECT_THROW(o.list.SaveToFile(name, 1), std::runtime_error);
    EXPECT_EQ(ReadFile(name), before);
    EXPECT_FALSE(QFile::exists(dir.filePath("Backup of keep.dat")));
}

// Stored texts are UTF-8 only when every sequence is the shortest form of a code point that may
// be stored; anything else reads as Windows-1252.
TEST(StoreFile, TextIsUtf8OnlyWhenItIsValid)
{
    for (const auto &[Bytes, Valid] :
         std::vector<std::pair<QByteArray, bool>>{{"\xC3\xA4", true},
                                                  {"\xED\x9F\xBF", true},       // U+D7FF
                                                  {"\xED\xA0\x80", false},      // a surrogate
                                                  {"\xC1\xBF", false},          // overlong
                                                  {"\xE0\x9F\xBF", false},      // overlong
                                                  {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
                                                  {"\xF4\x90\x80\x80", false}}) // past it
        EXPECT_EQ(IsValidUtf8(Bytes), Valid) << Bytes.toHex().toStdString();
    EXPECT_EQ(DecodeCp1252("\x9F\xA0"), QString::fromUtf8("\xC5\xB8\xC2\xA0"));
}

TEST(StoreFile, ReadStrOnAnEmptyHandleCountsAsEmpty)
{
    TFileHandle h = TFileHandle::ForReading(std::string());
    EXPECT_EQ(FileReadStr(h), std::string());
    TFileHandle n = TFileHandle::ForReading(le32(-0x1020304).toStdString());
    int32_t v = 0;
    ASSERT_TRUE(n.ReadInt32(v));
    EXPECT_EQ(v, -0x1020304); // little-endian, every byte in its place
    // Short reads mark the handle damaged, whichever check sees them first.
    TFileHandle three = TFileHandle::ForReading(std::string("\x05\x00\x00", 3));
    EXPECT_FALSE(three.ReadInt32(v));
    TFileHandle cut = TFileHandle::ForReading(le32(3).toStdString() + "ab");
    EXPECT_EQ(FileReadStr(cut), std::string());
    char buf[4];
    TFileHandle two = TFileHandle::ForReading("ab");
    EXPECT_EQ(two.Read(buf, 4), 2u);
    EXPECT_TRUE(two.Damaged());
    // Text that is not UTF-8 reads as Windows-1252.
    TFileHandle r = TFileHandle::ForReading(std::string("\x03\x00\x00\x00\x80\xe4x", 7));
    EXPECT_EQ(FileReadQStr(r), QString::fromUtf8("€äx"));
}
