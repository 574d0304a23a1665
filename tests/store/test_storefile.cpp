#include "store/dlist.h"
#include "store/storefile.h"
#include "store/textcodec.h"
#include "stringowner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace qf::store;
using namespace storetest;

namespace {

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray le32(int v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((unsigned(v) >> (8 * i)) & 0xff);
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
    EXPECT_EQ(readAll(name), expected);

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
    const QByteArray second = readAll(name);
    o.put("k", QStringLiteral("third"));
    ASSERT_TRUE(o.save(name));
    EXPECT_EQ(readAll(backup), second); // an older backup is replaced
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
    EXPECT_EQ(readAll(name), le32(1));

    l.Add(std::string("CF~Expr~X"), 2, nullptr);
    l.Separator = '~';
    l.SetRange(std::string("CF~Expr~"), 0, 0);
    ASSERT_TRUE(l.SaveToFile(name, 1));
    EXPECT_TRUE(readAll(name).contains("CF~Expr~X")); // keys are written whole

    TDList newer;
    EXPECT_FALSE(newer.LoadFromFile(name, 0)); // format 1 above the maximum 0
    EXPECT_TRUE(newer.IsEmpty());

    // An empty key in a file is dropped after its data is read.
    writeAll(name,
             le32(1) + le32(0) + le32(7) + le32(1) + "x" + le32(1) + "k" + le32(7) + le32(1) + "y");
    StringOwner o;
    ASSERT_TRUE(o.list.LoadFromFile(name, 1));
    EXPECT_EQ(o.get("k"), QStringLiteral("y"));
}

TEST(StoreFile, DamagedFilesEndAtTheLastWholeEntry)
{
    QTemporaryDir dir;
    const QByteArray good = le32(1) + le32(1) + "a" + le32(7) + le32(2) + "ok";
    struct Case {
        const char *what;
        QByteArray tail;
    } cases[] = {
        {"key length past the end", le32(1000) + "bb"},
        {"negative key length", le32(-5) + "bbbbbbbbbbbb"},
        {"huge key length", le32(0x7fffffff)},
        {"cut structure", le32(1) + "b" + QByteArray("\x07\x00", 2)},
        {"string length past the end", le32(1) + "b" + le32(7) + le32(50) + "short"},
        {"negative string length", le32(1) + "b" + le32(7) + le32(-1)},
        {"missing string", le32(1) + "b" + le32(7)},
        {"missing number", le32(1) + "b" + le32(1)},
        {"half a number", le32(1) + "b" + le32(1) + QByteArray("\x05\x00", 2)},
        {"half a length", QByteArray("\x01\x00", 2)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = dir.filePath("d.dat");
        writeAll(name, good + c.tail);
        StringOwner o;
        QString error;
        EXPECT_FALSE(o.list.LoadFromFile(name, 1, &error));
        EXPECT_TRUE(error.contains("damaged"));
        EXPECT_EQ(o.get("a"), QStringLiteral("ok"));
        EXPECT_EQ(o.get("b"), QStringLiteral("<none>"));
    }
    // Shorter than a format number: nothing, no complaint.
    const QString tiny = dir.filePath("t.dat");
    writeAll(tiny, QByteArray("\x01", 1));
    TDList l;
    EXPECT_TRUE(l.LoadFromFile(tiny, 1));
    EXPECT_TRUE(l.IsEmpty());
}

TEST(StoreFile, FailedSaveReportsAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    StringOwner o;
    o.put("k", QStringLiteral("v"));

    // A folder in the file's place is left where it is, with its content.
    const QString folder = dir.filePath("proj.qfx");
    ASSERT_TRUE(QDir(dir.path()).mkdir("proj.qfx"));
    writeAll(folder + "/inner.txt", "keep");
    QString error;
    EXPECT_FALSE(o.list.SaveToFile(folder, 1, &error));
    EXPECT_TRUE(error.contains("folder")) << error.toStdString();
    EXPECT_EQ(readAll(folder + "/inner.txt"), QByteArray("keep"));
    EXPECT_FALSE(QFile::exists(dir.filePath("Backup of proj.qfx")));

    // An owner event that throws leaves the existing file as it was, and no backup.
    const QString name = dir.filePath("keep.dat");
    ASSERT_TRUE(o.save(name));
    const QByteArray before = readAll(name);
    o.list.OnSaveStructure = [](TDList *, int, void *, TFileHandle &, int) {
        throw std::runtime_error("owner failed");
    };
    EXPECT_THROW(o.list.SaveToFile(name, 1), std::runtime_error);
    EXPECT_EQ(readAll(name), before);
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
