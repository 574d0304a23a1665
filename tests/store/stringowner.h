#pragma once
// A store owner for the file tests, like the profile store's: kind 7 carries a string cell, kind 1
// a 32-bit number; other kinds carry nothing.

#include "store/dlist.h"
#include "store/storefile.h"

#include <QString>
#include <cstdint>

namespace storetest {

using namespace qf::store;

struct StringOwner {
    TDList list;
    int disposed = 0;
    StringOwner()
    {
        list.OnDisposeStructure = [this](TDList *, int s, void *p) {
            s == 7 ? delete static_cast<QString *>(p) : delete static_cast<int32_t *>(p);
            ++disposed;
        };
        list.OnSaveStructure = [](TDList *, int s, void *p, TFileHandle &h, int) {
            if (s == 7)
                FileWriteStr(h, *static_cast<QString *>(p));
            else if (s == 1)
                h.WriteInt32(*static_cast<int32_t *>(p));
        };
        list.OnLoadStructure = [](TDList *, int s, void *&p, TFileHandle &h, int) {
            int32_t v = 0;
            if (s == 7)
                p = new QString(FileReadQStr(h));
            else if (s == 1 && h.ReadInt32(v))
                p = new int32_t(v);
        };
    }
    void put(const char *key, const QString &v) { list.Add(std::string(key), 7, new QString(v)); }
    QString get(const char *key)
    {
        int s = 0;
        void *p = nullptr;
        if (!list.Find(std::string(key), s, p) || !p)
            return QStringLiteral("<none>");
        return s == 1 ? QString::number(*static_cast<int32_t *>(p)) : *static_cast<QString *>(p);
    }
    bool save(const QString &name)
    {
        list.SetRange(std::string(), 0, 2);
        return list.SaveToFile(name, 1);
    }
};

} // namespace storetest
