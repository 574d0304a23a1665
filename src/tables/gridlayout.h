#pragma once
// The grid layout file kept beside a table: its sort, and per field the record-editor settings,
// the grid column width and the pick list. Little-endian 32-bit integers, strings as a byte count
// and UTF-8 bytes, flags as one byte. The reader applies values as it reads them and stops at
// the first thing that is not whole (a short read, a negative count) or that the format refuses,
// so a damaged or foreign file is read as far as it is whole and never past its end.

#include "tables/fieldrecords.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace qf::tables {

// A sort field name this long or longer makes the reader ignore the whole file.
inline constexpr int kMaxLayoutSortName = 12;

// Names: the dataset's field names, one per field record, in field order.
QByteArray WriteGridLayout(const QString &SortField, bool Descending, const QStringList &Names,
                           const std::vector<TFieldEditInfo> &Fields);

// What a read took from the file's head; the field entries go straight into Fields.
struct TGridLayoutHead {
    bool HasSort = false; // the sort name and descending flag were read
    QString SortField;
    bool Descending = false;
};

// Names and Fields as for the writer; Fields must already hold one record per name, with its kind.
TGridLayoutHead ReadGridLayout(QByteArrayView Data, const QStringList &Names,
                               std::vector<TFieldEditInfo> &Fields);

} // namespace qf::tables
