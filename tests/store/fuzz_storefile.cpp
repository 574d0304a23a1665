// Random damage to project-like store files: loading must never crash, read past the data or
// allocate what a length merely claims.
#include "store/dlist.h"
#include "store/storefile.h"
#include "stringowner.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

using namespace qf::store;
using namespace storetest;

TEST(StoreFuzz, LoadFromFileSurvivesRandomDamage)
{
    QTemporaryDir dir;
    const QString seedName = dir.filePath("seed.qfx");
    {
        StringOwner o; // entries like a project file's
        o.list.Add(std::string("SubMail"), 1, new int32_t(4));
        o.put("Subject", "Hello %NAME");
        o.put("Doc", QString::fromUtf8("<p>Grüße</p>").repeated(20));
        o.put("CF~Expr~TOTAL", "a*b");
        o.list.Add(std::string("CF~Type~TOTAL"), 1, new int32_t(1));
        ASSERT_TRUE(o.save(seedName));
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

        StringOwner o;
        o.list.LoadFromFile(name, 1);
        o.list.SetRange(std::string(), 0, 1000);
        int n = 0;
        for (bool ok = o.list.First(); ok; ok = o.list.Next())
            ++n;
        ASSERT_LE(n, data.size());
    }
}
