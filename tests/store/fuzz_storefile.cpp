// Random damage to project-like store files: loading must never crash, read past the data or
// allocate what a length merely claims.
#include "fileio.h"
#include "stringowner.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <random>

using namespace storetest;

TEST(StoreFuzz, LoadFromFileSurvivesRandomDamage)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("fuzz.qfx");
    StringOwner seedOwner; // entries like a project file's
    seedOwner.list.Add(std::string("SubMail"), 1, new int32_t(4));
    seedOwner.put("Subject", "Hello %NAME");
    seedOwner.put("Doc", QString::fromUtf8("<p>Grüße</p>").repeated(20));
    seedOwner.list.Add(std::string("CF~Type~TOTAL"), 1, new int32_t(1));
    ASSERT_TRUE(seedOwner.save(name));
    const QByteArray seed = qftest::ReadFile(name);

    std::mt19937 rng(20261206);
    for (int iter = 0; iter < 3000; ++iter) {
        QByteArray data = seed;
        for (int e = 1 + int(rng() % 6); e > 0; --e) {
            const int at = data.isEmpty() ? 0 : int(rng() % uint32_t(data.size()));
            const int32_t v = (rng() % 2) ? int32_t(rng()) : -int32_t(rng() % 100);
            switch (rng() % 4) {
            case 0: data.truncate(at); break;
            case 1: data.insert(at, QByteArray(int(rng() % 9), char(rng()))); break;
            case 2: // a large or negative length
                if (at + 4 <= data.size())
                    qToLittleEndian(v, data.data() + at);
                break;
            default:
                if (!data.isEmpty())
                    data[at] = char(rng());
            }
        }
        ASSERT_TRUE(qftest::WriteFile(name, data));
        StringOwner o;
        o.list.LoadFromFile(name, 1);
        o.list.SetRange(std::string(), 0, 1000);
        int n = 0;
        for (bool ok = o.list.First(); ok; ok = o.list.Next())
            ++n;
        ASSERT_LE(n, data.size());
    }
}
