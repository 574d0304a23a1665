// Random damage to project-like store files: loading must never crash, read past the data or
// allocate what a length merely claims.
#include "store/dlist.h"
#include "store/storefile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

using namespace qf::store;

namespace {

// Owner events like the project file's: kinds 1 (an integer), 2 and 3 (strings).
void bindProjectOwner(TDList &l) {
    l.Separator = '~';
    l.OnDisposeStructure = [](TDList *, int s, void *p) {
        if (s == 1)
            delete static_cast<int32_t *>(p);
        else
            delete static_cast<QString *>(p);
    };
    l.OnSaveStructure = [](TDList *, int s, void *p, TFileHandle &h, int) {
        if (s == 1)
            h.WriteInt32(*static_cast<int32_t *>(p));
        else if (s == 2 || s == 3)
            FileWriteStr(h, *static_cast<QString *>(p));
    };
    l.OnLoadStructure = [](TDList *, int s, void *&p, TFileHandle &h, int) {
        if (s == 1) {
            int32_t v = 0;
            h.ReadInt32(v);
            p = new int32_t(v);
        } else if (s == 2 || s == 3) {
            p = new QString(FileReadQStr(h));
        }
    };
}

} // namespace

TEST(StoreFuzz, LoadFromFileSurvivesRandomDamage) {
    QTemporaryDir dir;
    const QString seedName = dir.filePath("seed.qfx");
    {
        TDList l;
        bindProjectOwner(l);
        l.Add(std::string("SubMail"), 1, new int32_t(4));
        l.Add(std::string("Subject"), 2, new QString("Hello %NAME"));
        l.Add(std::string("Doc"), 3, new QString(QString::fromUtf8("<p>Grüße</p>").repeated(20)));
        l.Add(std::string("CF~Expr~TOTAL"), 2, new QString("a*b"));
        l.Add(std::string("CF~Type~TOTAL"), 1, new int32_t(1));
        l.SetRange(std::string(), 0, 2);
        ASSERT_TRUE(l.SaveToFile(seedName, 1));
    }
    QFile f(seedName);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray seed = f.readAll();
    f.close();

    std::mt19937 rng(20261206);
    const QString name = dir.filePath("fuzz.qfx");
    for (int iter = 0; iter < 3000; ++iter) {
        QByteArray data = seed;
        const int edits = 1 + int(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            const int at = data.isEmpty() ? 0 : int(rng() % uint32_t(data.size()));
            switch (rng() % 5) {
            case 0: // flip a byte
                if (!data.isEmpty())
                    data[at] = char(rng());
                break;
            case 1: // cut the file
                data.truncate(at);
                break;
            case 2: { // plant a large or negative length
                const int32_t v = (rng() % 2) ? int32_t(rng()) : -int32_t(rng() % 100);
                if (at + 4 <= data.size())
                    for (int i = 0; i < 4; ++i)
                        data[at + i] = char((uint32_t(v) >> (8 * i)) & 0xff);
                break;
            }
            case 3: // insert junk
                data.insert(at, QByteArray(int(rng() % 9), char(rng())));
                break;
            default: // duplicate a stretch
                data.append(data.mid(at, int(rng() % 32)));
            }
        }
        QFile out(name);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(data);
        out.close();

        TDList l;
        bindProjectOwner(l);
        l.LoadFromFile(name, 1);
        l.SetRange(std::string(), 0, 1000);
        int n = 0;
        for (bool ok = l.First(); ok; ok = l.Next())
            ++n;
        ASSERT_LE(n, data.size());
    }
}
