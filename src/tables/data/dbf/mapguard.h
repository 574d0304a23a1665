#pragma once
// Read-only file maps that survive another program shrinking the file. Touching a page past the
// new end of a mapped file raises SIGBUS; for a guarded range the handler puts a zero page in its
// place and sets the reader's flag, so that the reader reports the change instead of dying.

#include <QFile>
#include <atomic>
#include <cstdint>

namespace qf::tables {

class TMapGuard {
public:
    TMapGuard() = default;
    ~TMapGuard() { Unmap(); }
    TMapGuard(const TMapGuard &) = delete;
    TMapGuard &operator=(const TMapGuard &) = delete;

    // Maps Size bytes of the open File; nullptr (with the file's error) when it cannot, and
    // EDatabaseError when too many maps are open to guard another. Lost is set once a read
    // touches a page that the file no longer holds; it must outlive the map.
    const uchar *Map(QFile &File, qint64 Size, std::atomic<bool> &Lost);
    void Unmap();
    // Lets the system drop the map's pages, a stretch of 2 MB (counted from the map's start) at a
    // time: those of every stretch that ends between From and To, the stretch that holds To
    // kept. Nothing is lost: the map is read-only, and a page is read from the file again when
    // touched.
    void Release(const uchar *From, const uchar *To) const;

private:
    QFile *FFile = nullptr;
    const uchar *FData = nullptr;
    qint64 FSize = 0;
    int FSlot = -1;
};

} // namespace qf::tables
