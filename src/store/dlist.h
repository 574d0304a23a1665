#pragma once
// String-keyed store in a 256-way character tree, with ordered, filtered iteration and a flat file
// container.

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

namespace qf::store {

class TFileHandle;

enum THeaderAction { haLoad = 0, haSave = 1 };

class TDList {
public:
    using TDisposeStructure = std::function<void(TDList *Sender, int Structure, void *Properties)>;
    using TFileHeader = std::function<void(TDList *Sender, TFileHandle &H, THeaderAction Action,
                                           int Format, int InitPos)>;
    using TSaveStructure = std::function<void(TDList *Sender, int Structure, void *Properties,
                                              TFileHandle &H, int Format)>;
    using TLoadStructure = std::function<void(TDList *Sender, int Structure, void *&Properties,
                                              TFileHandle &H, int Format)>;
    using TFilter = std::function<void(TDList *Sender, const std::string &Str, int Structure,
                                       void *Properties, bool &Enabled)>;
    using TDeleteFilter = std::function<void(TDList *Sender, const std::string &Str, int Structure,
                                             void *Properties, bool &CanDelete)>;

    unsigned char Separator = '_';
    TDisposeStructure OnDisposeStructure;
    TFileHeader OnFileHeader;
    TSaveStructure OnSaveStructure;
    TLoadStructure OnLoadStructure;
    TFilter OnFilter;
    TDeleteFilter OnDeleteFilter; // assignable; the store never fires it

    TDList();
    ~TDList();
    TDList(const TDList &) = delete;
    TDList &operator=(const TDList &) = delete;

    void Add(const std::string &Key, int Structure, void *Properties);
    bool Find(const std::string &Key, int &Structure, void *&Properties) const;
    void Delete(const std::string &Key);
    void Clear();
    bool IsEmpty() const { return FRoot == nullptr; }
    // Counts changes to the keys, so owners can tell when a cache of theirs is stale.
    uint64_t Version() const { return FVersion; }

    void SetRange(const std::string &Prefix, int MinLevel, int MaxLevel);
    bool First();
    bool Next();
    bool GetKey(std::string &Key) const;
    bool GetStructure(int &Structure) const;
    bool GetProperties(void *&Properties) const;
    bool Scan();

    // Keys given as text are stored as their UTF-8 bytes.
    void Add(const QString &Key, int Structure, void *Properties)
    {
        Add(Key.toStdString(), Structure, Properties);
    }
    bool Find(const QString &Key, int &Structure, void *&Properties) const
    {
        return Find(Key.toStdString(), Structure, Properties);
    }
    void Delete(const QString &Key) { Delete(Key.toStdString()); }
    void SetRange(const QString &Prefix, int MinLevel, int MaxLevel)
    {
        SetRange(Prefix.toStdString(), MinLevel, MaxLevel);
    }

    // The file container. Both return false with a message in Error when the file could not be
    // written or read; a save never gives up the previous file before the new one is complete.
    bool SaveToFile(const QString &FileName, int Format, QString *Error = nullptr);
    bool LoadFromFile(const QString &FileName, int MaxFormat, QString *Error = nullptr);

    struct Node;

private:
    friend class TTracer;
    Node *FRoot = nullptr;
    std::string FPrefix;
    int FMinLevel = 0, FMaxLevel = 0;
    Node *FCur = nullptr; // cursor node, or none
    int FCurCh = 0;
    std::string FSuffix;
    int FDepth = 0, FLevel = 0;
    bool FSepFlag = false;
    bool FKeyValid = false;
    uint64_t FVersion = 0;

    void freeSubtree(Node *n);
    bool yieldable(const Node *n, int ch) const;
    bool advance();
    bool acceptFiltered();
    void dispose(int structure, void *props);
};

// Cursor that walks a store's tree one character at a time, for longest-match recognition.
class TTracer {
public:
    struct TPos {
        TDList::Node *Node = nullptr;
        int Ch = 0;
    };
    explicit TTracer(TDList *DList) : FList(DList) {}
    void Trace(const std::string &Key);
    void GetPosition(TPos &Pos) const { Pos = FPos; }
    void SetPosition(const TPos &Pos) { FPos = Pos; }
    bool Step(unsigned char Ch, bool &Used, int &Structure, void *&Properties);

private:
    TDList *FList;
    TPos FPos;
};

} // namespace qf::store
