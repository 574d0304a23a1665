// Find, Add and a full ordered iteration of 1,000,000 keys in TDList against std::map on the same
// keys.
#include "store/dlist.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace qf::store;

namespace {
double seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
volatile long sink;
} // namespace

int main(int argc, char **argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;
    // Keys like a project's or a profile store's: a few shared prefixes, then a varying name.
    std::mt19937 rng(7);
    static const char *prefixes[] = {"CF~Expr~", "CF~Type~", "Pr~Host~", "Pr~Port~", "Attach~"};
    std::vector<std::string> keys;
    keys.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        keys.push_back(std::string(prefixes[rng() % 5]) + "F" + std::to_string(rng() % 100000000));
    std::vector<std::string> lookups = keys;
    std::shuffle(lookups.begin(), lookups.end(), rng);

    auto t0 = std::chrono::steady_clock::now();
    TDList list;
    for (int i = 0; i < n; ++i)
        list.Add(keys[size_t(i)], i, nullptr);
    const double addList = seconds(t0);
    t0 = std::chrono::steady_clock::now();
    std::map<std::string, std::pair<int, void *>> map;
    for (int i = 0; i < n; ++i)
        map[keys[size_t(i)]] = {i, nullptr};
    const double addMap = seconds(t0);

    long hits = 0;
    t0 = std::chrono::steady_clock::now();
    for (const auto &k : lookups) {
        int s;
        void *p;
        hits += list.Find(k, s, p);
    }
    const double findList = seconds(t0);
    t0 = std::chrono::steady_clock::now();
    for (const auto &k : lookups)
        hits += map.find(k) != map.end();
    const double findMap = seconds(t0);

    long count = 0;
    t0 = std::chrono::steady_clock::now();
    list.SetRange(std::string(), 0, 0);
    for (bool ok = list.First(); ok; ok = list.Next()) {
        std::string k;
        list.GetKey(k);
        count += long(k.size());
    }
    const double iterList = seconds(t0);
    t0 = std::chrono::steady_clock::now();
    for (const auto &[k, v] : map) {
        std::string copy = k;
        count -= long(copy.size());
    }
    const double iterMap = seconds(t0);
    sink = hits + count;

    std::printf("keys: %d distinct: %zu\n", n, map.size());
    std::printf("%-22s %10s %10s %8s\n", "operation", "TDList s", "std::map s", "ratio");
    auto row = [](const char *what, double a, double b) {
        std::printf("%-22s %10.3f %10.3f %8.2f\n", what, a, b, a / b);
    };
    row("Add", addList, addMap);
    row("Find", findList, findMap);
    row("ordered iteration", iterList, iterMap);
    std::printf("(ratio = TDList time / std::map time; below 1 means TDList is faster)\n");
    return count == 0 ? 0 : 1;
}
