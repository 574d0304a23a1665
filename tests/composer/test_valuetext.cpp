// The merge's value texts against the table's and the engine's own formatting, in several locales.

#include "composer/valuetext.h"
#include "expr/exprconv.h"
#include "tables/data/fieldtypes.h"

#include <QLocale>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace qf;

namespace {

struct TDefaultLocale {
    QLocale Saved;
    explicit TDefaultLocale(const QLocale &L) { QLocale::setDefault(L); }
    ~TDefaultLocale() { QLocale::setDefault(Saved); }
};

TEST(ValueTexts, SameTextsAsTheLocaleInEveryLocale)
{
    const QLocale Locales[] = {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                               QLocale(QLocale::German, QLocale::Germany),
                               QLocale(QLocale::French, QLocale::France),
                               QLocale(QLocale::Arabic, QLocale::Egypt)};
    std::mt19937_64 Random(11);
    // Rounding and exponent boundaries, subnormals and the values that are no numbers.
    // clang-format off
    std::vector<double> Numbers = {0.0, -0.0, 1.0, -1.0, 0.1, 1.19, 1234.5, 1e15, 1e-5, 1e-4,
                                   123456789012345.0, 1e300, 5e-324, 0.30000000000000004,
                                   2.5e-310, NAN, INFINITY, -INFINITY};
    std::uniform_real_distribution<double> Amount(-1e6, 1e6);
    for (int i = 0; i < 3000; ++i) {
        Numbers.push_back(std::round(Amount(Random) * 100) / 100 * 1.19);
        uint64_t Bits = Random();
        double Any;
        std::memcpy(&Any, &Bits, sizeof Any);
        Numbers.push_back(Any);
    }
    // Calculated floats: long double products, and values right beside a rounding boundary.
    std::vector<long double> Products = {0.5L, 1.000000000000005L, 1.0000000000000049999L,
                                         999999999999999.5L, 9.999999999999995L,
                                         9.9999999999999996L, 1e-5L / 3, 123456789012345678.0L,
                                         1e4000L, -1e-4000L};
    // clang-format on
    for (int i = 0; i < 3000; ++i) {
        Products.push_back((long double)(std::round(Amount(Random) * 100) / 100) * 1.19L);
        Products.push_back((long double)Amount(Random) / 7 *
                           std::pow(10.0L, int(Random() % 40) - 20));
        Products.push_back((long double)(Random() % 1000000000000000) + 0.5L);
    }
    std::vector<double> Dates = {-693594, -693593, -400000,         -1,    0,   1, 36526, 2958465,
                                 2958466, 45000.5, 45000.999999999, -1.25, 1e12};
    std::uniform_int_distribution<int> Day(-693593, 2958465);
    for (int i = 0; i < 3000; ++i)
        Dates.push_back(Day(Random));

    composer::TValueTexts Texts;
    for (const QLocale &L : Locales) {
        TDefaultLocale Use(L);
        Texts.Refresh();
        const QString Point = QLocale().decimalPoint();
        for (long double V : Products)
            ASSERT_EQ(Texts.General(V), expr::FormatGeneral(V, Point.front()))
                << qPrintable(L.name()) << ' ' << double(V);
        for (double V : Numbers) {
            ASSERT_EQ(Texts.Float(V), tables::FloatToStr(V)) << qPrintable(L.name()) << ' ' << V;
            ASSERT_EQ(Texts.General(V), expr::FormatGeneral(V, Point.front()))
                << qPrintable(L.name()) << ' ' << V;
        }
        for (double V : Dates)
            ASSERT_EQ(Texts.DateTime(V), expr::DateTimeToStr(V, expr::TDateRules::Field))
                << qPrintable(L.name()) << ' ' << V;
    }
}

} // namespace
