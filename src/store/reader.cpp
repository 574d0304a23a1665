#include "store/reader.h"

#include <algorithm>
#include <functional>

namespace qf::store {

namespace {
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// One character of the text: a UTF-16 unit, or a surrogate pair taken whole.
int charLength(const QString &s, int i)
{
    return (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) ? 2 : 1;
}
} // namespace

TReader::TReader()
{
    FDict.Separator = 0;
    FDict.OnDisposeStructure = [this](TDList *, int Structure, void *Properties) {
        auto *rec = static_cast<TSymProperties *>(Properties);
        if (rec->Properties && OnDisposeProperties)
            OnDisposeProperties(this, Structure, rec->Properties);
        delete rec;
    };
}

TReader::~TReader() { FDict.Clear(); }

void TReader::SetNumericFormat(TNumericFormat Value)
{
    FNumericFormat = Value;
    FDecimalSeparator = Value == nfComma ? u',' : u'.';
}

void TReader::SetCaseSensitivity(bool Value)
{
    FCaseSensitivity = Value;
    FAsciiVersion = ~uint64_t(0); // the flags were read under the other case rule
    RemoveKeywords();
    RemoveDelimiters();
}

std::string TReader::KeyOf(const QString &Text) const
{
    return (FCaseSensitivity ? Text : Text.toLower()).toStdString();
}

void TReader::addSymbol(const std::string &Key, const QString &Text, TStatus Status, int Structure,
                        void *Properties)
{
    if (Key.empty())
        return;
    FDict.Add(Key, Structure, new TSymProperties{Text, Status, Properties});
}

void TReader::AddKeyword(const QString &Text, int Structure, void *Properties)
{
    addSymbol(KeyOf(Text), Text, stKeyword, Structure, Properties);
}

void TReader::AddDelimiter(const QString &Text, int Structure, void *Properties)
{
    const QString t = FCaseSensitivity ? Text : Text.toLower();
    if (t.size() > 1) {
        for (int i = 0; i < t.size(); i += charLength(t, i)) {
            QString one = t.mid(i, charLength(t, i));
            if (one == QString(OrWildCard) || one == QString(AndWildCard) || IsDelimiter(one))
                continue;
            addSymbol(one.toStdString(), one, stDelimiter, 0, nullptr);
        }
    }
    addSymbol(t.toStdString(), t, stDelimiter, Structure, Properties);
}

void TReader::SetDefaultDelimiters()
{
    RemoveDelimiters();
    static const char defaults[] = "!@#$%^&*()+|-=\\[]{};':\",./<>?";
    for (const char *p = defaults; *p; ++p)
        AddDelimiter(QString(QChar(*p)), 0, nullptr);
}

void TReader::SetDefaultBlanks()
{
    ClearBlanks();
    for (int c = 0; c <= 32; ++c)
        FBlanks.set(size_t(c));
}

void TReader::ExcludeBlank(QChar Ch)
{
    if (Ch.unicode() < 256)
        FBlanks.reset(Ch.unicode());
}

bool TReader::IsDelimiter(const QString &Text) const
{
    int structure = 0;
    void *props = nullptr;
    return FDict.Find(KeyOf(Text), structure, props) &&
           static_cast<TSymProperties *>(props)->Status == stDelimiter;
}

bool TReader::IsDelimiter(QChar Ch) const
{
    if (Ch.unicode() >= 128 || Ch.isSurrogate())
        return IsDelimiter(QString(Ch));
    if (FAsciiVersion != FDict.Version()) {
        for (char16_t c = 0; c < 128; ++c)
            FAsciiDelims[c] = IsDelimiter(QString(QChar(c)));
        FAsciiVersion = FDict.Version();
    }
    return FAsciiDelims[Ch.unicode()];
}

bool TReader::FindSymbol(const QString &Text, TStatus &Status, int &Structure,
                         void *&Properties) const
{
    int structure = 0;
    void *props = nullptr;
    if (!FDict.Find(KeyOf(Text), structure, props))
        return false;
    auto *rec = static_cast<TSymProperties *>(props);
    Status = rec->Status;
    Structure = structure;
    Properties = rec->Properties;
    return true;
}

void TReader::RemoveSymbol(const QString &Text) { FDict.Delete(KeyOf(Text)); }

void TReader::RemoveStatus(TStatus Status)
{
    // Collected first, so the dictionary does not change under its own iteration.
    TDList doomed;
    for (bool ok = FDict.First(); ok; ok = FDict.Next()) {
        void *props = nullptr;
        std::string key;
        FDict.GetProperties(props);
        FDict.GetKey(key);
        if (props && static_cast<TSymProperties *>(props)->Status == Status)
            doomed.Add(key, 0, nullptr);
    }
    // Every collected key goes, whatever separators it holds.
    doomed.SetRange(std::string(), 0, 0x7fffffff);
    for (bool ok = doomed.First(); ok; ok = doomed.Next()) {
        std::string key;
        doomed.GetKey(key);
        FDict.Delete(key);
    }
}

void TReader::ListSymbols()
{
    if (!OnRegList)
        return;
    FDict.SetRange(std::string(), 0, 0);
    for (bool ok = FDict.First(); ok; ok = FDict.Next()) {
        std::string key;
        int structure = 0;
        void *props = nullptr;
        FDict.GetKey(key);
        FDict.GetStructure(structure);
        FDict.GetProperties(props);
        auto *rec = static_cast<TSymProperties *>(props);
        OnRegList(this, rec->Text.isEmpty() ? QString::fromStdString(key) : rec->Text, rec->Status,
                  structure, rec->Properties);
    }
}

// The token cursor.

TScroller::TScroller(TReader &Reader) : FReader(Reader), FTracer(&Reader.Dictionary()) {}

void TScroller::SetText(const QString &Text, int StartPos)
{
    FText = Text;
    FLength = int(Text.size());
    PosList[0] = TPosition{};
    PosList[0].Position = StartPos;
    FScanPos = std::clamp(StartPos, 0, FLength);
    for (int k = 1; k <= 5; ++k)
        scanInto(PosList[size_t(k)]);
    Next();
}

void TScroller::shiftIn(size_t from)
{
    for (size_t k = from; k < 5; ++k)
        PosList[k] = std::move(PosList[k + 1]);
    PosList[5] = TPosition{};
    scanInto(PosList[5]);
}

void TScroller::Next()
{
    Previous = PosList[0];
    shiftIn(0);
    mergeNumber();
}

namespace {
// The dictionary key bytes of one character.
void keyBytes(const QString &text, int i, int n, bool caseSensitive, std::string &out)
{
    out.clear();
    const char16_t u = text[i].unicode();
    if (n == 1 && u < 128) {
        out.push_back(char(!caseSensitive && u >= 'A' && u <= 'Z' ? u + 32 : u));
        return;
    }
    const QString c = text.mid(i, n);
    out = (caseSensitive ? c : c.toLower()).toStdString();
}
} // namespace

void TScroller::scanInto(TPosition &T)
{
    T = TPosition{};
    T.Position = FScanPos;
    int p = FScanPos;
    while (p < FLength && FReader.IsBlank(FText[p]))
        ++p;
    if (p >= FLength)
        return; // the end token keeps the position of the token before it, and so do the ones after
                // it
    T.Blanks = FText.mid(FScanPos, p - FScanPos);
    auto isDelimiterAt = [this](int i, int n) {
        return n == 1 ? FReader.IsDelimiter(FText[i]) : FReader.IsDelimiter(FText.mid(i, n));
    };
    const bool D = isDelimiterAt(p, charLength(FText, p));
    if (FReader.WildCardEnabled) {
        scanWild(T, p, D);
        return;
    }
    const bool caseSensitive = FReader.CaseSensitivity();
    const TStatus wanted = D ? stDelimiter : stKeyword;
    FTracer.Trace(std::string());
    bool stepping = true;
    // What is recorded so far; the text is taken once at the end.
    int recEnd = -1;
    uint8_t recKind = tkEnd;
    int recStructure = 0;
    void *recProps = nullptr;
    auto record = [&](int end, uint8_t kind, int structure, void *props) {
        recEnd = end;
        recKind = kind;
        recStructure = structure;
        recProps = props;
    };
    std::string bytes;
    for (int i = p; i < FLength;) {
        const int n = charLength(FText, i);
        const int end = i + n;
        if (stepping) {
            TTracer::TPos saved;
            FTracer.GetPosition(saved);
            keyBytes(FText, i, n, caseSensitive, bytes);
            bool used = false;
            int structure = 0;
            void *props = nullptr;
            for (unsigned char b : bytes) {
                if (!FTracer.Step(b, used, structure, props)) {
                    stepping = false;
                    break;
                }
            }
            if (!stepping) {
                FTracer.SetPosition(saved);
            } else {
                if (isDelimiterAt(i, n) != D)
                    break;
                auto *rec = used ? static_cast<TSymProperties *>(props) : nullptr;
                if (rec && rec->Status == wanted) {
                    if (!D || end > recEnd)
                        record(end, rec->Status, structure, rec->Properties);
                } else if (!D) {
                    record(end, tkWord, 0, nullptr);
                }
                i = end;
                continue;
            }
        }
        if (D || isDelimiterAt(i, n) || FReader.IsBlank(FText[i]))
            break;
        record(end, tkWord, 0, nullptr);
        i = end;
    }
    if (recEnd < 0) // cannot happen with a consistent dictionary; never loop on it
        record(p + charLength(FText, p), D ? tkDelimiter : tkWord, 0, nullptr);
    T.Position = recEnd;
    T.Text = FText.mid(p, recEnd - p);
    T.Kind = recKind;
    T.Structure = recStructure;
    T.Properties = recProps;
    FScanPos = T.Position;
}

// Symbols holding wildcards: the literal edge is tried before the wildcard edges, by backtracking.
void TScroller::scanWild(TPosition &T, int p, bool D)
{
    TDList &dict = FReader.Dictionary();
    const bool caseSensitive = FReader.CaseSensitivity();
    const TStatus wanted = D ? stDelimiter : stKeyword;
    const std::string orKey = QString(FReader.OrWildCard).toStdString();
    const std::string andKey = QString(FReader.AndWildCard).toStdString();
    // The stretch of text that a match may cover.
    int limit = p;
    while (limit < FLength) {
        const int n = charLength(FText, limit);
        const QString c = FText.mid(limit, n);
        if (FReader.IsBlank(c[0]) || FReader.IsDelimiter(c) != D)
            break;
        limit += n;
    }
    int bestEnd = -1, bestStructure = 0;
    TSymProperties *bestRec = nullptr;
    int steps = 0;
    const int stepLimit = 100000; // keeps pathological patterns from taking forever
    std::function<void(TTracer::TPos, int, bool)> walk = [&](TTracer::TPos pos, int i,
                                                             bool atRoot) {
        if (++steps > stepLimit)
            return;
        auto tryEdge = [&](const std::string &bytes, int next) {
            TTracer tr(&dict);
            if (!atRoot)
                tr.SetPosition(pos);
            bool used = false;
            int structure = 0;
            void *props = nullptr;
            for (unsigned char b : bytes)
                if (!tr.Step(b, used, structure, props))
                    return;
            auto *rec = used ? static_cast<TSymProperties *>(props) : nullptr;
            if (rec && rec->Status == wanted && (D ? next > bestEnd : next >= bestEnd)) {
                bestEnd = next;
                bestStructure = structure;
                bestRec = rec;
            }
            TTracer::TPos np;
            tr.GetPosition(np);
            walk(np, next, false);
        };
        if (i < limit) {
            const int n = charLength(FText, i);
            const QString c = FText.mid(i, n);
            tryEdge((caseSensitive ? c : c.toLower()).toStdString(), i + n);
            tryEdge(andKey, i + n);
        }
        // The run wildcard takes zero or more characters.
        for (int j = i; j <= limit; j += (j < limit ? charLength(FText, j) : 1))
            tryEdge(orKey, j);
    };
    walk(TTracer::TPos{}, p, true);
    // A word is a keyword only when a match covers the whole run, as without wildcards ("andy").
    if (bestRec && (D || bestEnd == limit)) {
        T.Position = bestEnd;
        T.Text = FText.mid(p, bestEnd - p);
        T.Kind = bestRec->Status;
        T.Structure = bestStructure;
        T.Properties = bestRec->Properties;
    } else if (D) {
        const int n = charLength(FText, p);
        T.Position = p + n;
        T.Text = FText.mid(p, n);
        T.Kind = tkDelimiter;
    } else {
        T.Position = limit;
        T.Text = FText.mid(p, limit - p);
        T.Kind = tkWord;
    }
    FScanPos = T.Position;
}

void TScroller::mergeNumber()
{
    TPosition &cur = PosList[0];
    if (FReader.NumericFormat() == nfNone || cur.Kind == tkEnd || cur.Kind == tkKeyword ||
        cur.Text == u"-" || cur.Text == u"+")
        return;
    QString S = cur.Text;
    std::vector<int> E{int(S.size())};
    for (size_t k = 1; k <= 4; ++k) {
        const TPosition &t = PosList[k];
        if (!t.Blanks.isEmpty() || t.Kind == tkEnd || t.Kind == tkKeyword)
            break;
        S += t.Text;
        E.push_back(int(S.size()));
    }
    int pos = 0;
    if (S.isEmpty())
        return;
    if (!isDigit(S[0])) {
        if ((S[0] == u'-' || S[0] == u'+') && S.size() > 1 && isDigit(S[1]) && E[0] > 1)
            pos = 1;
        else
            return;
    }
    const QChar sep = FReader.DecimalSeparator();
    const bool integerOnly = FReader.NumericFormat() == nfInteger;
    bool decimal = false, exponent = false;
    size_t k = 0, absorbed = 0;
    while (pos < S.size()) {
        const QChar ch = S[pos];
        if (isDigit(ch)) {
            ++pos;
        } else if (integerOnly) {
            break;
        } else if ((ch == u'e' || ch == u'E') && FReader.ScientificNumber && !exponent) {
            int j = pos + 1;
            if (j < S.size() && (S[j] == u'-' || S[j] == u'+'))
                ++j;
            if (j < S.size() && isDigit(S[j])) {
                pos = j;
                exponent = true;
            } else {
                break;
            }
        } else if (ch == sep && !decimal && !exponent && pos + 1 < S.size() &&
                   isDigit(S[pos + 1])) {
            ++pos;
            decimal = true;
        } else {
            break;
        }
        while (k < E.size() && E[k] < pos)
            ++k;
        // Only a boundary right after a digit ends a number ("1e-" and "3." are none).
        if (k < E.size() && E[k] == pos && isDigit(S[pos - 1])) {
            cur.Kind = exponent ? tkExponent : decimal ? tkDecimal : tkInteger;
            for (; absorbed < k; ++absorbed) {
                cur.Text += PosList[1].Text;
                cur.Position = PosList[1].Position;
                cur.Structure = 0;
                cur.Properties = nullptr;
                shiftIn(1);
            }
            ++k;
        }
    }
}

} // namespace qf::store
