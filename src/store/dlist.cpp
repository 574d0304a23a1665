#include "store/dlist.h"

#include "store/storefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::store {

// A node's table is kept sparse (sorted character codes) until it fills up, then as a direct
// 256-entry table: the same walk, without 5 KB for every node that only lies on a path.
namespace {
struct Slot {
    TDList::Node *child = nullptr;
    void *props = nullptr;
    int structure = 0;
    bool used = false;
    bool occupied() const { return used || child; }
};
constexpr int kFull = 256;
} // namespace

struct TDList::Node {
    Node *parent = nullptr;
    unsigned char ch = 0;
    int nUsed = 0;
    int nChild = 0;
    int count = 0; // ents in use (sparse form)
    int cap = 2;
    unsigned char keys[16]; // sparse form only, ascending
    Slot inl[2]; // most nodes lie on one path only: their entries live in the node itself
    Slot *ents = inl;

    ~Node()
    {
        if (ents != inl)
            delete[] ents;
    }
    bool full() const { return cap == kFull; }
    Slot *find(int c) const
    {
        if (full())
            return &ents[c];
        for (int i = 0; i < count; ++i) {
            if (keys[i] == c)
                return &ents[i];
            if (keys[i] > c)
                break;
        }
        return nullptr;
    }
    Slot &get(int c)
    {
        if (Slot *s = find(c))
            return *s;
        if (count == cap)
            grow();
        if (full())
            return ents[c];
        int i = count;
        while (i > 0 && keys[i - 1] > c) {
            keys[i] = keys[i - 1];
            ents[i] = ents[i - 1];
            --i;
        }
        keys[i] = static_cast<unsigned char>(c);
        ents[i] = Slot{};
        ++count;
        return ents[i];
    }
    void grow()
    {
        const int newCap = cap < 16 ? cap * 2 : kFull;
        Slot *ne = new Slot[newCap];
        if (newCap == kFull) {
            for (int i = 0; i < count; ++i)
                ne[keys[i]] = ents[i];
        } else {
            std::copy(ents, ents + count, ne);
        }
        if (ents != inl)
            delete[] ents;
        ents = ne;
        cap = newCap;
    }
    // Drops a slot that holds neither a key nor a child (sparse form only).
    void tidy(int c)
    {
        if (full())
            return;
        for (int i = 0; i < count; ++i) {
            if (keys[i] == c) {
                if (ents[i].occupied())
                    return;
                std::copy(keys + i + 1, keys + count, keys + i);
                std::copy(ents + i + 1, ents + count, ents + i);
                --count;
                return;
            }
        }
    }
    // The smallest occupied character above c, or 256.
    int nextChar(int c) const
    {
        if (full()) {
            for (int k = c + 1; k < kFull; ++k)
                if (ents[k].occupied())
                    return k;
            return kFull;
        }
        for (int i = 0; i < count; ++i)
            if (keys[i] > c && ents[i].occupied())
                return keys[i];
        return kFull;
    }
    Node *child(int c) const
    {
        const Slot *s = find(c);
        return s ? s->child : nullptr;
    }
    bool used(int c) const
    {
        const Slot *s = find(c);
        return s && s->used;
    }
    int structure(int c) const
    {
        const Slot *s = find(c);
        return s ? s->structure : 0;
    }
    void *props(int c) const
    {
        const Slot *s = find(c);
        return s ? s->props : nullptr;
    }
};

TDList::TDList() = default;

TDList::~TDList() { Clear(); }

void TDList::dispose(int structure, void *props)
{
    if (props && OnDisposeStructure)
        OnDisposeStructure(this, structure, props);
}

void TDList::Add(const std::string &Key, int Structure, void *Properties)
{
    if (Key.empty())
        return;
    ++FVersion;
    if (!FRoot)
        FRoot = new Node;
    Node *n = FRoot;
    for (size_t i = 0; i + 1 < Key.size(); ++i) {
        unsigned char c = Key[i];
        Slot &slot = n->get(c);
        if (!slot.child) {
            Node *k = new Node;
            k->parent = n;
            k->ch = c;
            slot.child = k;
            ++n->nChild;
        }
        n = slot.child;
    }
    unsigned char c = Key.back();
    if (Slot *old = n->find(c); old && old->props) {
        void *props = old->props;
        old->props = nullptr; // the handler may look the key up again
        dispose(old->structure, props);
    }
    Slot &slot = n->get(c);
    if (!slot.used) {
        slot.used = true;
        ++n->nUsed;
    }
    slot.structure = Structure;
    slot.props = Properties;
}

bool TDList::Find(const std::string &Key, int &Structure, void *&Properties) const
{
    if (Key.empty() || !FRoot)
        return false;
    const Node *n = FRoot;
    for (size_t i = 0; i + 1 < Key.size(); ++i) {
        n = n->child(static_cast<unsigned char>(Key[i]));
        if (!n)
            return false;
    }
    const Slot *slot = n->find(static_cast<unsigned char>(Key.back()));
    if (!slot || !slot->used)
        return false;
    Structure = slot->structure;
    Properties = slot->props;
    return true;
}

void TDList::Delete(const std::string &Key)
{
    if (Key.empty() || !FRoot)
        return;
    ++FVersion;
    Node *n = FRoot;
    for (size_t i = 0; i + 1 < Key.size(); ++i) {
        n = n->child(static_cast<unsigned char>(Key[i]));
        if (!n)
            return;
    }
    unsigned char c = Key.back();
    if (Slot *slot = n->find(c)) {
        if (slot->used) {
            slot->used = false;
            --n->nUsed;
        }
        void *props = slot->props;
        int structure = slot->structure;
        slot->props = nullptr;
        slot->structure = 0;
        n->tidy(c);
        dispose(structure, props);
    }
    // Release emptied nodes bottom-up.
    while (n && n->nUsed == 0 && n->nChild == 0) {
        if (n == FCur)
            FCur = nullptr;
        Node *parent = n->parent;
        if (!parent) {
            delete n;
            FRoot = nullptr;
            break;
        }
        if (Slot *up = parent->find(n->ch)) {
            up->child = nullptr;
            parent->tidy(n->ch);
        }
        --parent->nChild;
        delete n;
        n = parent;
    }
}

// Walks up by the parent links rather than recursing: a key may be as long as the file it came
// from.
void TDList::freeSubtree(Node *top)
{
    Node *n = top;
    int c = -1;
    for (;;) {
        c = n->nextChar(c);
        if (c < kFull) {
            Slot *slot = n->find(c);
            if (Node *k = slot->child) { // the child subtree goes before the entry's own data
                n = k;
                c = -1;
                continue;
            }
            if (void *props = slot->props) {
                slot->props = nullptr;
                dispose(slot->structure, props);
            }
            continue;
        }
        if (n == FCur)
            FCur = nullptr;
        Node *parent = n->parent;
        const int up = n->ch;
        const bool last = n == top;
        delete n;
        if (last)
            return;
        n = parent;
        c = up;
        Slot *slot = n->find(c);
        slot->child = nullptr;
        if (void *props = slot->props) {
            slot->props = nullptr;
            dispose(slot->structure, props);
        }
    }
}

void TDList::Clear()
{
    ++FVersion;
    Node *r = FRoot;
    FRoot = nullptr;
    if (r)
        freeSubtree(r);
    FCur = nullptr;
    FKeyValid = false;
}

void TDList::SetRange(const std::string &Prefix, int MinLevel, int MaxLevel)
{
    FPrefix = Prefix;
    FMinLevel = MinLevel;
    FMaxLevel = MaxLevel;
    FCur = nullptr;
    FKeyValid = false;
}

bool TDList::yieldable(const Node *n, int ch) const
{
    if (!n->used(ch))
        return false;
    int lv = FLevel + (FSepFlag ? 1 : 0);
    return lv >= FMinLevel && lv <= FMaxLevel;
}

bool TDList::First()
{
    FKeyValid = false;
    FCur = nullptr;
    if (!FRoot)
        return false;
    Node *start = FRoot;
    if (!FPrefix.empty()) {
        Node *n = FRoot;
        for (size_t i = 0; i + 1 < FPrefix.size(); ++i) {
            n = n->child(static_cast<unsigned char>(FPrefix[i]));
            if (!n)
                return false;
        }
        start = n->child(static_cast<unsigned char>(FPrefix.back()));
        if (!start)
            return false;
    }
    FCur = start;
    FCurCh = 0;
    FSuffix.assign(1, '\0');
    FDepth = int(FPrefix.size());
    FLevel = 0;
    FSepFlag = (Separator == 0);
    if (yieldable(FCur, 0) && acceptFiltered())
        return FKeyValid = true;
    return Next();
}

bool TDList::acceptFiltered()
{
    if (!OnFilter)
        return true;
    bool enabled = true;
    std::string key = FPrefix + FSuffix;
    OnFilter(this, key, FCur->structure(FCurCh), FCur->props(FCurCh), enabled);
    return enabled;
}

bool TDList::advance()
{
    if (!FCur)
        return false;
    Node *const fbNode = FCur;
    const int fbCh = FCurCh, fbDepth = FDepth, fbLevel = FLevel;
    const bool fbSep = FSepFlag;
    for (;;) {
        Node *k = FCur->child(FCurCh);
        if (k && !(FSepFlag && FLevel >= FMaxLevel)) {
            if (FSepFlag)
                ++FLevel;
            FCur = k;
            FCurCh = 0;
            FSuffix.push_back('\0');
            ++FDepth;
            FSepFlag = (Separator == 0);
            if (yieldable(FCur, 0))
                return true;
            continue;
        }
        // Characters without a key or a child yield nothing, so the walk jumps over them.
        int next;
        while ((next = FCur->nextChar(FCurCh)) == kFull) {
            if (FDepth == int(FPrefix.size())) {
                // The whole cursor goes back, suffix too, so a further Next does not walk on from a
                // stale depth and yield entries again.
                FCur = fbNode;
                FCurCh = fbCh;
                FDepth = fbDepth;
                FLevel = fbLevel;
                FSepFlag = fbSep;
                FSuffix.resize(size_t(fbDepth - int(FPrefix.size())) + 1);
                FSuffix.back() = char(fbCh);
                const Node *n = fbNode;
                for (size_t i = FSuffix.size() - 1; i > 0; --i, n = n->parent)
                    FSuffix[i - 1] = char(n->ch);
                return false;
            }
            FCurCh = FCur->ch;
            FCur = FCur->parent;
            FSuffix.pop_back();
            --FDepth;
            if (FCurCh == Separator)
                --FLevel;
        }
        FCurCh = next;
        FSepFlag = (FCurCh == Separator);
        FSuffix.back() = char(FCurCh);
        if (yieldable(FCur, FCurCh))
            return true;
    }
}

bool TDList::Next()
{
    FKeyValid = false;
    do {
        if (!advance())
            return false;
    } while (!acceptFiltered());
    return FKeyValid = true;
}

bool TDList::GetKey(std::string &Key) const
{
    if (!FCur || !FKeyValid)
        return false;
    Key = FPrefix + FSuffix;
    return true;
}

bool TDList::GetStructure(int &Structure) const
{
    if (!FCur)
        return false;
    Structure = FCur->structure(FCurCh);
    return true;
}

bool TDList::GetProperties(void *&Properties) const
{
    if (!FCur)
        return false;
    Properties = FCur->props(FCurCh);
    return true;
}

bool TDList::Scan()
{
    if (!First())
        return false;
    while (Next()) {
    }
    return true;
}

// The file container.

namespace {
QString backupName(const QString &fileName)
{
    QFileInfo fi(fileName);
    return fi.dir().filePath(QStringLiteral("Backup of ") + fi.fileName());
}
} // namespace

bool TDList::SaveToFile(const QString &FileName, int Format, QString *Error)
{
    // The whole file is built in memory first, so a failing owner event leaves the disk untouched.
    TFileHandle h;
    h.WriteInt32(Format);
    if (OnFileHeader)
        OnFileHeader(this, h, haSave, Format, 4);
    for (bool ok = First(); ok; ok = Next()) {
        std::string key;
        GetKey(key);
        int structure = 0;
        void *props = nullptr;
        GetStructure(structure);
        GetProperties(props);
        h.WriteInt32(int32_t(key.size()));
        h.Write(key.data(), key.size());
        h.WriteInt32(structure);
        if (OnSaveStructure)
            OnSaveStructure(this, structure, props, h, Format);
    }

    auto fail = [&](const QString &msg) {
        if (Error)
            *Error = msg;
        return false;
    };
    // A folder of that name is not the previous file: it is neither moved aside nor replaced.
    if (QFileInfo(FileName).isDir())
        return fail(QStringLiteral("Cannot create the file \"%1\": a folder of that name exists.")
                        .arg(FileName));
    // Written and flushed to a new file beside the old one before the old one is given up; the
    // temporary name is unique, so no file of the user's is overwritten on the way.
    QTemporaryFile tmp(FileName + QStringLiteral(".XXXXXX"));
    tmp.setAutoRemove(true);
    if (!tmp.open())
        return fail(
            QStringLiteral("Cannot create the file \"%1\": %2").arg(FileName, tmp.errorString()));
    if (QFile::exists(FileName)) { // the new content keeps the access rights the user gave the file
        tmp.setPermissions(QFile::permissions(FileName));
    } else { // a new file gets the rights any new file gets, not the private ones of a temporary
             // file
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(tmp.handle(), 0666 & ~mask);
    }
    const std::string &bytes = h.Bytes();
    bool written =
        tmp.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) && tmp.flush();
    if (written)
        written = ::fsync(tmp.handle()) == 0;
    const QString writeError = tmp.errorString();
    const QString tmpName = tmp.fileName();
    tmp.close();
    if (!written)
        return fail(QStringLiteral("Cannot write the file \"%1\": %2").arg(FileName, writeError));
    QString backup;
    if (QFile::exists(FileName)) {
        backup = backupName(FileName);
        QFile::remove(backup);
        if (!QFile::rename(FileName, backup))
            return fail(QStringLiteral("Cannot keep the previous file as \"%1\".").arg(backup));
    }
    if (::rename(QFile::encodeName(tmpName).constData(), QFile::encodeName(FileName).constData()) !=
        0) {
        if (!backup.isEmpty()) // put the previous file back where it was
            QFile::rename(backup, FileName);
        return fail(QStringLiteral("Cannot replace the file \"%1\".").arg(FileName));
    }
    tmp.setAutoRemove(false);
    return true;
}

bool TDList::LoadFromFile(const QString &FileName, int MaxFormat, QString *Error)
{
    QFile f(FileName);
    if (!f.open(QIODevice::ReadOnly)) {
        if (Error)
            *Error =
                QStringLiteral("Cannot open the file \"%1\": %2").arg(FileName, f.errorString());
        return false;
    }
    QByteArray all = f.readAll();
    f.close();
    TFileHandle h = TFileHandle::ForReading(std::string(all.constData(), size_t(all.size())));
    all.clear();
    int32_t format = 0;
    if (!h.ReadInt32(format))
        return true; // too short to hold anything
    if (format > MaxFormat) {
        if (Error)
            *Error = QStringLiteral("The file \"%1\" was written by a newer version (format %2).")
                         .arg(FileName)
                         .arg(format);
        return false;
    }
    if (OnFileHeader)
        OnFileHeader(this, h, haLoad, format, 4);
    while (!h.AtEnd() && !h.Damaged()) {
        int32_t len = 0;
        if (!h.ReadInt32(len) || len < 0 || len > h.Remaining() - 4) {
            h.MarkDamaged(); // a cut or lying entry ends the load at the last whole one
            break;
        }
        std::string key(size_t(len), '\0');
        h.Read(key.data(), key.size());
        int32_t structure = 0;
        h.ReadInt32(structure);
        void *props = nullptr;
        if (OnLoadStructure)
            OnLoadStructure(this, structure, props, h, format);
        if (h.Damaged()) {
            dispose(structure, props);
            break;
        }
        if (key.empty()) {
            dispose(structure, props); // never stored, so released here rather than leaked
            continue;
        }
        Add(key, structure, props);
    }
    if (!h.Damaged())
        return true;
    if (Error)
        *Error = QStringLiteral("The file \"%1\" is damaged: its last entry is incomplete.")
                     .arg(FileName);
    return false;
}

// The tracer.

void TTracer::Trace(const std::string &Key)
{
    FPos = TPos{};
    if (Key.empty() || !FList->FRoot)
        return;
    TDList::Node *n = FList->FRoot;
    for (size_t i = 0; i + 1 < Key.size(); ++i) {
        n = n->child(static_cast<unsigned char>(Key[i]));
        if (!n)
            return;
    }
    FPos = TPos{n, static_cast<unsigned char>(Key.back())};
}

bool TTracer::Step(unsigned char Ch, bool &Used, int &Structure, void *&Properties)
{
    TDList::Node *next = FPos.Node ? FPos.Node->child(FPos.Ch) : FList->FRoot;
    const Slot *slot = next ? next->find(Ch) : nullptr;
    if (!slot || !slot->occupied())
        return false;
    FPos = TPos{next, Ch};
    Used = slot->used;
    Structure = slot->structure;
    if (Used)
        Properties = slot->props;
    return true;
}

} // namespace qf::store
