#pragma once
// Text scanner: a dictionary of keywords and delimiters, a blank table and number options
// (TReader), and a token cursor with five tokens of look-ahead (TScroller).

#include "store/dlist.h"

#include <QString>
#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <string>

namespace qf::store {

enum TNumericFormat { nfNone, nfInteger, nfPeriod, nfComma };

using TStatus = uint8_t;
constexpr TStatus stKeyword = 5;
constexpr TStatus stDelimiter = 6;

// Token kinds.
enum : uint8_t {
    tkEnd = 0,
    tkWord = 1,
    tkInteger = 2,
    tkDecimal = 3,
    tkExponent = 4,
    tkKeyword = 5,
    tkDelimiter = 6
};

struct TSymProperties {
    QString Text;
    TStatus Status = 0;
    void *Properties = nullptr;
};

class TReader {
public:
    using TDisposeProperties =
        std::function<void(TReader *Sender, int Structure, void *Properties)>;
    using TRegList = std::function<void(TReader *Sender, const QString &Str, TStatus Status,
                                        int Structure, void *Properties)>;

    bool WildCardEnabled = false;
    QChar OrWildCard = u'~';
    QChar AndWildCard = u'`';
    bool ScientificNumber = true;
    TDisposeProperties OnDisposeProperties;
    TRegList OnRegList;

    TReader();
    ~TReader();
    TReader(const TReader &) = delete;
    TReader &operator=(const TReader &) = delete;

    TNumericFormat NumericFormat() const { return FNumericFormat; }
    void SetNumericFormat(TNumericFormat Value);
    QChar DecimalSeparator() const { return FDecimalSeparator; }
    bool CaseSensitivity() const { return FCaseSensitivity; }
    void SetCaseSensitivity(bool Value);

    void AddKeyword(const QString &Text, int Structure, void *Properties);
    void AddDelimiter(const QString &Text, int Structure, void *Properties);
    void SetDefaultDelimiters();
    void SetDefaultBlanks();
    void ExcludeBlank(QChar Ch);
    void ClearBlanks() { FBlanks.reset(); }
    bool IsBlank(QChar Ch) const { return Ch.unicode() < 256 && FBlanks[Ch.unicode()]; }
    bool IsDelimiter(const QString &Text) const;
    bool IsDelimiter(QChar Ch) const; // one character; quick for ASCII
    bool FindSymbol(const QString &Text, TStatus &Status, int &Structure, void *&Properties) const;
    void RemoveSymbol(const QString &Text);
    void RemoveStatus(TStatus Status);
    void RemoveKeywords() { RemoveStatus(stKeyword); }
    void RemoveDelimiters() { RemoveStatus(stDelimiter); }
    void ListSymbols();

    // The dictionary: keys are the symbol texts (lower-cased unless case-sensitive) as UTF-8.
    TDList &Dictionary() { return FDict; }
    std::string KeyOf(const QString &Text) const;

private:
    TDList FDict;
    std::bitset<256> FBlanks;
    TNumericFormat FNumericFormat = nfPeriod;
    QChar FDecimalSeparator = u'.';
    bool FCaseSensitivity = false;
    // Delimiter flags of the ASCII characters, valid while the dictionary is at FAsciiVersion.
    mutable std::bitset<128> FAsciiDelims;
    mutable uint64_t FAsciiVersion = ~uint64_t(0);
    void addSymbol(const std::string &Key, const QString &Text, TStatus Status, int Structure,
                   void *Properties);
};

struct TPosition {
    int Position = 0; // 1-based index of the token's last character
    int Structure = 0;
    QString Text;
    QString Blanks;
    uint8_t Kind = tkEnd;
    void *Properties = nullptr;
};

class TScroller {
public:
    explicit TScroller(TReader &Reader);
    void SetText(const QString &Text, int StartPos);
    void Next();

    TPosition Previous;
    // PosList[0] is the current token, PosList[1..5] the look-ahead.
    std::array<TPosition, 6> PosList;
    TPosition &Current() { return PosList[0]; }
    const TPosition &Current() const { return PosList[0]; }

private:
    TReader &FReader;
    TTracer FTracer;
    QString FText;
    int FLength = 0;
    int FScanPos = 0; // 0-based index where the next scan starts
    void scanInto(TPosition &T);
    void scanWild(TPosition &T, int p, bool D);
    void shiftIn(size_t from);
    void mergeNumber();
};

} // namespace qf::store
