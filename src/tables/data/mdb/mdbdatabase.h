#pragma once
// Access databases (.mdb, JET3 and JET4), read through libmdb of mdbtools. Nothing here writes an
// .mdb file: no library on this platform does that safely, so every table is read-only and an
// edit, append or delete fails with ReadOnlyReason before anything changes.

#include "tables/data/tablesource.h"

#include <QStringList>
#include <memory>
#include <vector>

namespace qf::tables {

class TMdbDatabase {
public:
    // Throws EDatabaseError with a message that names the file when it cannot be opened or is
    // not an Access database.
    explicit TMdbDatabase(const QString &FileName);
    ~TMdbDatabase();
    TMdbDatabase(const TMdbDatabase &) = delete;
    TMdbDatabase &operator=(const TMdbDatabase &) = delete;

    const QString &FileName() const { return FFileName; }

    // The user's tables in catalog order; system tables and linked tables are left out.
    QStringList TableNames() const;

    // Reads the whole table (rows in file order, deleted rows skipped) into memory. The name is
    // matched without regard to case. Throws EDatabaseError when there is no such table.
    std::unique_ptr<TTableSource> OpenTable(const QString &Name) const;

private:
    QString FFileName;
    void *FMdb = nullptr;         // MdbHandle; kept opaque so that glib stays out of this header
    std::vector<void *> FCatalog; // MdbCatalogEntry, one for each object of the database
};

// The message every change to an Access table fails with.
QString MdbReadOnlyReason(const QString &TableName);

// A fixed-size field of Count (1 to 8) little-endian bytes, sign-extended; a currency field is
// the 8-byte integer in ten-thousandths.
qint64 MdbInteger(const unsigned char *Bytes, int Count);
double MdbCurrency(const unsigned char *Bytes);

} // namespace qf::tables
