#pragma once
// A dBASE III or IV table (.dbf, with its .dbt memo file) read through a memory map. Fields are
// decoded on demand; changes stay in memory until ApplyUpdates writes them all.

#include "tables/data/dbf/dbfcodec.h"
#include "tables/data/dbf/mapguard.h"
#include "tables/data/tablesource.h"

#include <QFile>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace qf::tables {

class TDbfTable final : public TTableSource {
public:
    // Throws EDatabaseError when the file cannot be read or is not a table this reader understands.
    explicit TDbfTable(const QString &FileName);
    ~TDbfTable() override;
    TDbfTable(const TDbfTable &) = delete;
    TDbfTable &operator=(const TDbfTable &) = delete;

    const QString &FileName() const { return FFileName; }
    // The memo file, empty when the table has no memo field.
    const QString &MemoName() const { return FMemoName; }
    uint8_t Version() const { return FVersion; }
    // The table's code page, decided once: the language-driver byte, else the ".cpg" file beside
    // the table, else UTF-8 when its text (values and memos) is valid UTF-8, else Windows-1252.
    // Reading the text to tell UTF-8 from Windows-1252 waits until a text needs it.
    const TDbfCodec &Codec() const;
    // The encoding a copy of the table keeps: its language-driver byte and ".cpg" text; a ".cpg"
    // naming the code page when neither of them told it.
    TDbfEncoding Encoding() const;
    // What the user should be told when the table opens: the header promises more records than
    // the file holds, or memos refer past the end of the memo file.
    QString Warning() const override;
    // The stored memo of Row refers to a place past the end of the memo file: its text is lost.
    // Reference: the block number as the record holds it.
    bool MemoPastEnd(int64_t Row, int Field, QString *Reference = nullptr) const;
    // Records as the file holds them (deleted ones included), without pending appends.
    int64_t FileRowCount() const { return FFileRows; }

    const std::vector<TSourceField> &Fields() const override { return FFields; }
    int64_t RowCount() const override { return FFileRows + FAppended; }
    bool IsDeleted(int64_t Row) const override;
    QVariant Value(int64_t Row, int Field) const override;
    bool IsNull(int64_t Row, int Field) const override;
    QString AsString(int64_t Row, int Field) const override;
    double AsFloat(int64_t Row, int Field) const override;
    long double AsExtended(int64_t Row, int Field) const override;
    bool AsciiText(int64_t Row, int Field, QByteArrayView &Text) const override;
    // A date field's serial day (0 for an empty or impossible date) read without a variant; false
    // when the value comes from elsewhere (a pending edit) or the field holds no dates.
    bool AsDate(int64_t Row, int Field, double &Serial) const;
    // A character field's text as AsString gives it, written into Text (whose buffer is reused
    // when it is not shared); false, leaving Text, when the value comes from elsewhere.
    bool ReadText(int64_t Row, int Field, QString &Text) const;
    // A stored record's bytes as the file holds them, nullptr when any value of it comes from
    // elsewhere (a pending edit, an appended row). Reading them can find the pages gone when
    // another program cut the file: LostPages() is then set, and the reads above report it.
    const char *RecordBytes(int64_t Row) const
    {
        if (Row < 0 || Row >= FFileRows || (!FPending.empty() && FPending.count(Row)))
            return nullptr;
        return reinterpret_cast<const char *>(FData + FHeaderLength + Row * FRecordLength);
    }
    // Where a field lies in a record's bytes, and its type letter ('C', 'N', 'D' ...).
    void FieldBytes(int Field, int &Offset, int &Width, char &Type) const
    {
        const TLayout &Layout = FLayout[size_t(Field)];
        Offset = Layout.Offset;
        Width = Layout.Width;
        Type = Layout.Type;
    }
    const std::atomic<bool> &LostPages() const { return FLost; }
    void PassedRows(int64_t From, int64_t To) const override;

    bool ReadOnly() const override { return false; }
    void ValidateValue(int Field, const QVariant &Value) const override;
    // Throws EDatabaseError, changing nothing, when the value cannot be stored in the field.
    void SetValue(int64_t Row, int Field, const QVariant &Value) override;
    int64_t AppendRow() override;
    void DeleteRow(int64_t Row) override;
    bool HasPendingChanges() const override
    {
        return !FPending.empty() || !FDeleted.empty() || FAppended > 0;
    }
    // Writes changed records in place, appends new ones, marks deleted ones and appends memo
    // blocks. On failure throws EDatabaseError with the system's message; the changes stay pending.
    void ApplyUpdates() override;
    void CancelUpdates() override;

private:
    struct TLayout {
        int Offset = 0;
        int Width = 0;
        int Decimals = 0;
        char Type = 'C';
    };
    struct TPendingRow {
        std::vector<QVariant> Values;
        std::vector<uint8_t> Set;
    };

    void MapFiles();
    void MapMemo();
    void Unmap();
    QByteArrayView Raw(int64_t Row, int Field) const;
    QVariant Decode(int64_t Row, int Field) const;
    QVariant DecodeRaw(int64_t Row, int Field) const;
    const QVariant *PendingValue(int64_t Row, int Field) const;
    QByteArrayView MemoBytes(QByteArrayView Ref) const;
    bool MemoPastEnd(QByteArrayView Ref) const;
    // The memo references that point past the end of the memo file are counted once, record by
    // record as the first pass of the rows in the table's order (the dataset's at the open) reads
    // them, so that no pass of their own reads every record again; Warning counts what no pass
    // has reached.
    void CountMemos(int64_t Row) const;
    TDbfCodec DetectCodec() const;
    QVariant Normalize(int Field, const QVariant &Value) const;
    void CheckRow(int64_t Row) const;
    // Raises EDatabaseError once a read found pages that another program cut from the files.
    void CheckIntact() const
    {
        if (FLost.load(std::memory_order_relaxed)) [[unlikely]]
            ThrowCutShort();
    }
    [[noreturn]] void ThrowCutShort() const;
    QByteArray BuildRecord(int64_t Row, std::vector<std::pair<int, QByteArray>> &Memos) const;

    QString FFileName;
    QString FMemoName;
    std::unique_ptr<QFile> FFile;
    std::unique_ptr<QFile> FMemo;
    std::atomic<bool> FLost{false}; // set by the maps' fault handler; declared before them
    TMapGuard FDataMap;
    TMapGuard FMemoMap;
    const uchar *FData = nullptr;
    qint64 FSize = 0;
    const uchar *FMemoData = nullptr;
    qint64 FMemoSize = 0;
    int FMemoBlock = 512;
    bool FMemoDb4 = false;

    uint8_t FVersion = 0;
    int FHeaderLength = 0;
    int FRecordLength = 0;
    int64_t FFileRows = 0;
    char FCountsSeen[8] = {}; // record count, header and record length as the header said when read
    mutable std::optional<TDbfCodec> FCodec;
    mutable std::once_flag FCodecDecided;         // readers on several threads decide once
    mutable std::atomic<bool> FCodecKnown{false}; // set once decided: reads skip the once flag
    // UTF-8 was told from the first memos only: a later memo that is no UTF-8 reads as
    // Windows-1252, and no ".cpg" claims UTF-8 for the whole table.
    mutable bool FMemosSampled = false;
    uint8_t FLanguageDriver = 0;
    bool FCodePageFile = false; // a ".cpg" file beside the table (which we leave as it is)
    QByteArray FCodePageText;   // its text
    bool FCodecMarked = false;  // the byte or the ".cpg" named the code page
    QString FWarning;
    std::vector<int> FMemoFields;
    mutable int64_t FMemoNext = -1; // the row the count reaches next; -1 when done
    mutable int64_t FMemosPastEnd = 0;
    bool FMemoQuick = false; // the limit has ten digits at most
    quint64 FMemoLimitHigh = 0;
    quint16 FMemoLimitLow = 0;
    std::vector<TSourceField> FFields;
    std::vector<TLayout> FLayout;

    std::unordered_map<int64_t, TPendingRow> FPending;
    std::unordered_set<int64_t> FDeleted;
    int64_t FAppended = 0;
};

} // namespace qf::tables
