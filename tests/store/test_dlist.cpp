#include "store/dlist.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <vector>

using namespace qf::store;

namespace {

std::vector<std::string> walk(TDList &l, const std::string &prefix, int minLevel, int maxLevel)
{
    std::vector<std::string> out;
    l.SetRange(prefix, minLevel, maxLevel);
    for (bool ok = l.First(); ok; ok = l.Next()) {
        std::string k;
        EXPECT_TRUE(l.GetKey(k));
        out.push_back(k);
    }
    return out;
}

using Entry = std::optional<std::pair<int, void *>>;
Entry find(const TDList &l, const std::string &key)
{
    int s = 0;
    void *p = nullptr;
    return l.Find(key, s, p) ? Entry({s, p}) : std::nullopt;
}

int a, b; // addresses used as owner data

} // namespace

TEST(DList, EmptyAndLongKeys)
{
    TDList l;
    l.Add(std::string(), 1, &a);
    EXPECT_TRUE(l.IsEmpty());
    l.Add(std::string("ab"), 7, &a);
    EXPECT_FALSE(find(l, "a")); // a path, not a key
    // A key a million bytes long (one node per byte) is walked and freed without deep recursion.
    const std::string longKey(1000000, 'k');
    l.Add(longKey, 9, &b);
    EXPECT_EQ(walk(l, "", 0, 0), (std::vector<std::string>{"ab", longKey}));
    l.Delete(longKey);
    l.Delete(std::string("ab")); // the last key: every node is freed
    EXPECT_TRUE(l.IsEmpty());
}

// Order and levels with the default separator are left to the ordered-map check below.
TEST(DList, IterationBySeparatorFilterAndChanges)
{
    TDList p;
    p.Separator = '~';
    p.Add(std::string("SubMail"), 0, nullptr);
    p.Add(std::string("CF~Type~x"), 1, nullptr);
    p.Add(std::string("CF~Expr~x"), 2, nullptr);
    p.Add(std::string("CF~Expr~a~b"), 2, nullptr);
    EXPECT_EQ(walk(p, "", 0, 2), (std::vector<std::string>{"CF~Expr~x", "CF~Type~x", "SubMail"}));
    // The prefix itself is never yielded.
    p.Add(std::string("CF~Expr~"), 0, nullptr);
    EXPECT_EQ(walk(p, "CF~Expr~", 0, 0), (std::vector<std::string>{"CF~Expr~x"}));

    TDList l;
    for (const char *k : {"a", "b", "c", "d"})
        l.Add(std::string(k), 0, nullptr);
    std::vector<std::string> offered;
    l.OnFilter = [&](TDList *, const std::string &key, int, void *, bool &enabled) {
        offered.push_back(key);
        enabled = key != "b" && key != "d";
    };
    EXPECT_EQ(walk(l, "", 0, 0), (std::vector<std::string>{"a", "c"}));
    offered.clear();
    l.SetRange(std::string(), 0, 0);
    EXPECT_TRUE(l.Scan()); // visits all, whatever the filter says
    EXPECT_EQ(offered, (std::vector<std::string>{"a", "b", "c", "d"}));
    l.OnFilter = nullptr;

    // Deleting the current entry during a walk, and adding after it.
    l.Delete(std::string("d"));
    ASSERT_TRUE(l.First());
    l.Delete(std::string("a"));
    l.Add(std::string("z"), 0, nullptr);
    std::vector<std::string> rest;
    for (std::string k; l.Next() && l.GetKey(k);)
        rest.push_back(k);
    EXPECT_EQ(rest, (std::vector<std::string>{"b", "c", "z"}));
}

TEST(DList, MatchesOrderedMapOnRandomKeys)
{
    // Byte order: unsigned comparison.
    auto byteLess = [](const std::string &x, const std::string &y) {
        return std::lexicographical_compare(
            x.begin(), x.end(), y.begin(), y.end(),
            [](char p, char q) { return (unsigned char)p < (unsigned char)q; });
    };
    std::mt19937 rng(42);
    TDList l;
    std::map<std::string, int, decltype(byteLess)> ref(byteLess);
    auto randomKey = [&](size_t len) {
        std::string k(len, '\0');
        for (char &ch : k)
            ch = char("FAb~\x01\xfe"[rng() % 6]);
        return k;
    };
    for (int i = 0; i < 5000; ++i) {
        const std::string k = randomKey(size_t(1 + rng() % 6));
        if (rng() % 4 == 0) {
            l.Delete(k);
            ref.erase(k);
        } else {
            l.Add(k, i, nullptr);
            ref[k] = i;
        }
    }
    for (auto &[k, v] : ref)
        ASSERT_EQ(find(l, k), Entry({v, nullptr}));
    // Ranges: the keys below the prefix whose rest holds MinLevel to MaxLevel separators.
    for (int q = 0; q < 300; ++q) {
        const std::string prefix = q == 0 ? std::string() : randomKey(rng() % 3);
        const int minLevel = q == 0 ? 0 : int(rng() % 3),
                  maxLevel = q == 0 ? 1000 : minLevel + int(rng() % 3) - 1;
        std::vector<std::string> expected;
        for (auto &[k, v] : ref)
            if (k.size() > prefix.size() && k.compare(0, prefix.size(), prefix) == 0) {
                const auto level = std::count(k.begin() + long(prefix.size()), k.end(), '_');
                if (level >= minLevel && level <= maxLevel)
                    expected.push_back(k);
            }
        ASSERT_EQ(walk(l, prefix, minLevel, maxLevel), expected)
            << prefix << " " << minLevel << ".." << maxLevel;
        EXPECT_FALSE(l.Next()); // and it stays ended
    }
}
