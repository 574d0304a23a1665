#include "tables/data/mdb/mdbdatabase.h"

#include "tables/data/sql/memorytable.h"

#include <QFile>
#include <QFileInfo>

// glib first: mdbtools.h relies on its types.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h>
#include <mdbtools.h>
#include <vector>

namespace qf::tables {

namespace {

MdbHandle *Handle(void *Mdb) { return static_cast<MdbHandle *>(Mdb); }

// Both Jet versions carry this text at byte 4 of the first page; ACE files (.accdb) say "ACE".
bool HasAccessSignature(QFile &File)
{
    const QByteArray Head = File.read(32);
    return Head.size() >= 19 && Head[0] == 0 &&
           (Head.mid(4, 15) == "Standard Jet DB" || Head.mid(4, 15) == "Standard ACE DB");
}

// libmdb 1.0 reads precision and scale into each other's places; the precision is never the
// smaller of the two, whichever way round a libmdb version has them.
int NumericPrecision(const MdbColumn *Column)
{
    return std::max(Column->col_prec, Column->col_scale);
}
int NumericScale(const MdbColumn *Column) { return std::min(Column->col_prec, Column->col_scale); }

TSourceField FieldOf(MdbHandle *Mdb, const MdbColumn *Column)
{
    TSourceField Field;
    Field.Name = QString::fromUtf8(Column->name);
    Field.Size = Column->col_size;
    switch (Column->col_type) {
    case MDB_BOOL:
        Field.DataType = ftBoolean;
        Field.Size = 0;
        break;
    case MDB_BYTE: Field.DataType = ftWord; break;
    case MDB_INT: Field.DataType = ftSmallint; break;
    case MDB_LONGINT: Field.DataType = Column->is_long_auto ? ftAutoInc : ftInteger; break;
    case MDB_COMPLEX: Field.DataType = ftInteger; break;
    case MDB_MONEY:
        Field.DataType = ftCurrency;
        Field.Decimals = 4;
        break;
    case MDB_FLOAT:
    case MDB_DOUBLE: Field.DataType = ftFloat; break;
    case MDB_DATETIME: Field.DataType = ftDateTime; break;
    case MDB_NUMERIC:
        Field.DataType = ftBCD;
        Field.Size = NumericPrecision(Column);
        Field.Decimals = NumericScale(Column);
        break;
    case MDB_TEXT:
        Field.DataType = ftWideString;
        // Jet 4 stores two bytes per character; the column size is in bytes.
        if (Mdb->f->jet_version != MDB_VER_JET3)
            Field.Size = Column->col_size / 2;
        break;
    case MDB_MEMO:
        Field.DataType = ftMemo;
        Field.Size = 0;
        break;
    case MDB_BINARY: Field.DataType = ftVarBytes; break;
    case MDB_OLE:
        Field.DataType = ftBlob;
        Field.Size = 0;
        break;
    case MDB_REPID:
        Field.DataType = ftString;
        Field.Size = 38;
        break;
    default: Field.DataType = ftUnknown; break;
    }
    return Field;
}

template <typename T>
T Raw(const unsigned char *Bytes)
{
    T Value;
    std::memcpy(&Value, Bytes, sizeof Value);
    return Value;
}

// Converts one cracked field of the row in the handle's page buffer into the table's next cell.
class TRowReader {
public:
    TRowReader(MdbHandle *Mdb, TMemoryTable &Table) : FMdb(Mdb), FTable(Table) {}

    void Add(const MdbColumn *Column, const MdbField &Field)
    {
        const int Type = Column->col_type;
        if (Type == MDB_BOOL) {
            // A yes/no value lives in the null mask: a set bit (not null) means yes.
            FTable.AddInt(Field.is_null ? 0 : 1);
            return;
        }
        const int Start = Field.start, Size = Field.siz;
        if (Field.is_null || Start < 0 || Size < 0 ||
            Start + Size > static_cast<int>(FMdb->fmt->pg_size)) {
            FTable.AddNull();
            return;
        }
        const unsigned char *Bytes = FMdb->pg_buf + Start;
        auto Need = [&](int Count) { return Size >= Count; };
        switch (Type) {
        case MDB_BYTE: Need(1) ? FTable.AddInt(Bytes[0]) : FTable.AddNull(); break;
        case MDB_INT: Need(2) ? FTable.AddInt(MdbInteger(Bytes, 2)) : FTable.AddNull(); break;
        case MDB_LONGINT:
        case MDB_COMPLEX: Need(4) ? FTable.AddInt(MdbInteger(Bytes, 4)) : FTable.AddNull(); break;
        case MDB_MONEY: Need(8) ? FTable.AddDouble(MdbCurrency(Bytes)) : FTable.AddNull(); break;
        case MDB_FLOAT: Need(4) ? FTable.AddDouble(Raw<float>(Bytes)) : FTable.AddNull(); break;
        case MDB_DOUBLE: Need(8) ? FTable.AddDouble(Raw<double>(Bytes)) : FTable.AddNull(); break;
        case MDB_DATETIME: Need(8) ? FTable.AddDouble(Raw<double>(Bytes)) : FTable.AddNull(); break;
        case MDB_BINARY: FTable.AddBlob(Bytes, static_cast<size_t>(Size)); break;
        case MDB_TEXT: AddText(Bytes, Size); break;
        case MDB_MEMO: AddMemo(Start, Size); break;
        case MDB_NUMERIC: AddNumeric(Column, Start, Size); break;
        case MDB_REPID:
            if (Need(16))
                AddOwned(mdb_uuid_to_string(FMdb->pg_buf, Start));
            else
                FTable.AddNull();
            break;
        default: FTable.AddNull(); break; // OLE objects are not read
        }
    }

private:
    void AddText(const unsigned char *Bytes, int Size)
    {
        // Compressed or two-byte Unicode, or a Jet 3 code page: at most three UTF-8 bytes each.
        FBuffer.resize(static_cast<size_t>(Size) * 3 + 8);
        const int Length =
            mdb_unicode2ascii(FMdb, reinterpret_cast<const char *>(Bytes),
                              static_cast<size_t>(Size), FBuffer.data(), FBuffer.size());
        FTable.AddText(FBuffer.data(), Length > 0 ? static_cast<size_t>(Length) : 0);
    }

    void AddMemo(int Start, int Size)
    {
        if (Size < MDB_MEMO_OVERHEAD) {
            FTable.AddText("", 0);
            return;
        }
        // libmdb cuts a memo at its bind size: make room for the whole text first.
        const guint32 Length =
            static_cast<guint32>(mdb_get_int32(FMdb->pg_buf, Start)) & 0x00ffffffu;
        const size_t Room = std::max<size_t>(MDB_BIND_SIZE, static_cast<size_t>(Length) * 3 + 16);
        mdb_set_bind_size(FMdb, Room);
        char *Text = mdb_col_to_string(FMdb, FMdb->pg_buf, Start, MDB_MEMO, Size);
        mdb_set_bind_size(FMdb, MDB_BIND_SIZE);
        AddOwned(Text);
    }

    void AddNumeric(const MdbColumn *Column, int Start, int Size)
    {
        if (Size < 17) {
            FTable.AddNull();
            return;
        }
        // Passed as libmdb passes them itself.
        char *Text = mdb_numeric_to_string(FMdb, Start, Column->col_scale, Column->col_prec);
        const QByteArray Digits(Text ? Text : "");
        g_free(Text);
        bool Ok = false;
        if (NumericScale(Column) == 0) {
            const qint64 Whole = Digits.toLongLong(&Ok);
            if (Ok) {
                FTable.AddInt(Whole);
                return;
            }
        }
        const double Number = Digits.toDouble(&Ok);
        Ok ? FTable.AddDouble(Number) : FTable.AddNull();
    }

    void AddOwned(char *Text)
    {
        FTable.AddText(Text ? Text : "", Text ? std::strlen(Text) : 0);
        g_free(Text);
    }

    MdbHandle *FMdb;
    TMemoryTable &FTable;
    std::vector<char> FBuffer;
};

// The catalog: the rows of MSysObjects. libmdb's own mdb_read_catalog also decodes every
// object's property block and can loop for ever on a damaged one; the tables need none of it.
std::vector<MdbCatalogEntry *> ReadCatalog(MdbHandle *Mdb)
{
    std::vector<MdbCatalogEntry *> Entries;
    MdbCatalogEntry Objects;
    std::memset(&Objects, 0, sizeof Objects);
    Objects.mdb = Mdb;
    Objects.object_type = MDB_TABLE;
    Objects.table_pg = 2;
    std::strcpy(Objects.object_name, "MSysObjects");
    MdbTableDef *Table = mdb_read_table(&Objects);
    if (!Table)
        return Entries;
    if (!mdb_read_columns(Table)) {
        mdb_free_tabledef(Table);
        return Entries;
    }
    std::vector<char> Id(MDB_BIND_SIZE), Name(MDB_BIND_SIZE), Type(MDB_BIND_SIZE),
        Flags(MDB_BIND_SIZE);
    mdb_set_bind_size(Mdb, MDB_BIND_SIZE);
    if (mdb_bind_column_by_name(Table, const_cast<gchar *>("Id"), Id.data(), nullptr) < 0 ||
        mdb_bind_column_by_name(Table, const_cast<gchar *>("Name"), Name.data(), nullptr) < 0 ||
        mdb_bind_column_by_name(Table, const_cast<gchar *>("Type"), Type.data(), nullptr) < 0 ||
        mdb_bind_column_by_name(Table, const_cast<gchar *>("Flags"), Flags.data(), nullptr) < 0) {
        mdb_free_tabledef(Table);
        return Entries;
    }
    mdb_rewind_table(Table);
    while (mdb_fetch_row(Table)) {
        auto *Entry = static_cast<MdbCatalogEntry *>(g_malloc0(sizeof(MdbCatalogEntry)));
        Entry->mdb = Mdb;
        std::snprintf(Entry->object_name, sizeof Entry->object_name, "%s", Name.data());
        Entry->object_type = std::atoi(Type.data()) & 0x7f;
        Entry->table_pg = static_cast<unsigned long>(std::atol(Id.data())) & 0x00ffffffUL;
        Entry->flags = static_cast<int>(std::atol(Flags.data()));
        Entries.push_back(Entry);
    }
    mdb_free_tabledef(Table);
    return Entries;
}

std::vector<MdbCatalogEntry *> UserTables(const std::vector<void *> &Catalog)
{
    std::vector<MdbCatalogEntry *> Result;
    for (void *Item : Catalog) {
        auto *Entry = static_cast<MdbCatalogEntry *>(Item);
        if (Entry->object_type == MDB_TABLE && mdb_is_user_table(Entry))
            Result.push_back(Entry);
    }
    return Result;
}

} // namespace

QString MdbReadOnlyReason(const QString &TableName)
{
    return QStringLiteral("The Access table \"%1\" is read-only: changes to an Access database "
                          "cannot be saved. "
                          "Copy the table to a dBASE table to edit it.")
        .arg(TableName);
}

TMdbDatabase::TMdbDatabase(const QString &FileName) : FFileName(FileName)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Cannot open the database \"%1\": %2")
                                 .arg(FileName, File.errorString()));
    if (QFileInfo(FileName).isDir() || !HasAccessSignature(File))
        throw EDatabaseError(QStringLiteral("\"%1\" is not an Access database.").arg(FileName));
    File.close();
    MdbHandle *Mdb = mdb_open(QFile::encodeName(FileName).constData(), MDB_NOFLAGS);
    if (!Mdb)
        throw EDatabaseError(
            QStringLiteral("\"%1\" is not an Access database, or it is damaged.").arg(FileName));
    FMdb = Mdb;
    for (MdbCatalogEntry *Entry : ReadCatalog(Mdb))
        FCatalog.push_back(Entry);
    if (FCatalog.empty()) {
        mdb_close(Mdb);
        FMdb = nullptr;
        throw EDatabaseError(
            QStringLiteral(
                "The table list of the database \"%1\" cannot be read: the file is damaged.")
                .arg(FileName));
    }
}

TMdbDatabase::~TMdbDatabase()
{
    for (void *Entry : FCatalog)
        g_free(Entry);
    if (FMdb)
        mdb_close(Handle(FMdb));
}

QStringList TMdbDatabase::TableNames() const
{
    QStringList Names;
    for (MdbCatalogEntry *Entry : UserTables(FCatalog))
        Names.append(QString::fromUtf8(Entry->object_name));
    return Names;
}

std::unique_ptr<TTableSource> TMdbDatabase::OpenTable(const QString &Name) const
{
    MdbHandle *Mdb = Handle(FMdb);
    MdbCatalogEntry *Found = nullptr;
    for (MdbCatalogEntry *Entry : UserTables(FCatalog))
        if (QString::fromUtf8(Entry->object_name).compare(Name, Qt::CaseInsensitive) == 0) {
            Found = Entry;
            break;
        }
    if (!Found)
        throw EDatabaseError(QStringLiteral("The database \"%1\" has no table \"%2\".")
                                 .arg(QFileInfo(FFileName).fileName(), Name));
    const QString TableName = QString::fromUtf8(Found->object_name);

    MdbTableDef *Table = mdb_read_table(Found);
    if (!Table)
        throw EDatabaseError(
            QStringLiteral("The table \"%1\" cannot be read: the database is damaged.")
                .arg(TableName));
    struct TFree {
        MdbTableDef *Table;
        ~TFree() { mdb_free_tabledef(Table); }
    } FreeTable{Table};
    if (!mdb_read_columns(Table) || Table->num_cols != (Table->columns ? Table->columns->len : 0))
        throw EDatabaseError(
            QStringLiteral("The columns of table \"%1\" cannot be read: the database is damaged.")
                .arg(TableName));

    std::vector<TSourceField> Fields;
    std::vector<MdbColumn *> Columns;
    for (guint I = 0; I < Table->num_cols; ++I) {
        auto *Column = static_cast<MdbColumn *>(g_ptr_array_index(Table->columns, I));
        Columns.push_back(Column);
        Fields.push_back(FieldOf(Mdb, Column));
    }
    auto Result = std::make_unique<TMemoryTable>(std::move(Fields), MdbReadOnlyReason(TableName));
    if (Columns.empty())
        return Result;

    TRowReader Reader(Mdb, *Result);
    std::vector<MdbField> Cracked(Columns.size());
    mdb_rewind_table(Table);
    while (mdb_fetch_row(Table)) {
        // mdb_fetch_row has just read row cur_row - 1 of the page in pg_buf; crack it again to
        // tell a null from an empty text, which its own conversions do not.
        int RowStart = 0;
        size_t RowSize = 0;
        if (Table->cur_row == 0 ||
            mdb_find_row(Mdb, static_cast<int>(Table->cur_row - 1), &RowStart, &RowSize) != 0)
            continue;
        RowStart &= 0x1fff;
        const int Count = mdb_crack_row(Table, RowStart, RowSize, Cracked.data());
        if (Count < 0)
            continue;
        Result->BeginRow();
        for (size_t I = 0; I < Columns.size(); ++I) {
            // Each cracked field names its column; libmdb keeps them in column order.
            if (Cracked[I].colnum == static_cast<int>(I))
                Reader.Add(Columns[I], Cracked[I]);
            else
                Result->AddNull();
        }
    }
    return Result;
}

qint64 MdbInteger(const unsigned char *Bytes, int Count)
{
    quint64 Value = 0;
    for (int I = Count - 1; I >= 0; --I)
        Value = (Value << 8) | Bytes[I];
    // Sign-extend from Count bytes.
    if (Count < 8 && (Bytes[Count - 1] & 0x80))
        Value |= ~quint64(0) << (8 * Count);
    return static_cast<qint64>(Value);
}

double MdbCurrency(const unsigned char *Bytes) { return double(MdbInteger(Bytes, 8)) / 10000.0; }

} // namespace qf::tables
