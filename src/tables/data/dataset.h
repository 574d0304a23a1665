#pragma once
// The dataset the workspace works with: one open result set over a table source, a cursor over its
// visible records (sorted and filtered in our own code), the edit states, and the batch update that
// writes pending changes.

#include "tables/data/fieldtypes.h"
#include "tables/data/tablesource.h"

#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace qf::tables {

class TADOConnection;
class TADOQuery;
class TDataSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// The row ids of the visible records, in view order. The table's own order without deleted or
// hidden records, the usual case, is kept as a count alone; any other order as 4 bytes a record.
class TRowIndex {
public:
    size_t size() const { return FIdentity ? FCount : FRows.size(); }
    bool empty() const { return size() == 0; }
    int64_t operator[](size_t Index) const
    {
        return FIdentity ? int64_t(Index) : int64_t(FRows[Index]);
    }
    // The ids rise with the position: the table's own order, some records left out.
    bool Ascending() const { return FIdentity || FAscending; }
    // Storage for this many, should the order need it.
    void Reserve(size_t Count) { FReserve = Count; }
    void Clear();
    void Append(int64_t Row);
    void Insert(size_t At, int64_t Row);
    void Erase(size_t At);
    // The position of Row, size() when it is not visible.
    size_t Find(int64_t Row) const;

private:
    void Store();

    bool FIdentity = true;
    bool FAscending = true;
    size_t FCount = 0;   // while FIdentity
    size_t FReserve = 0; // while FIdentity
    std::vector<uint32_t> FRows;
};

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = int;

class TField {
public:
    TField(TADOQuery &DataSet, int Index, const TSourceField &Def);

    TADOQuery &DataSet() const { return FDataSet; }
    int Index() const { return FIndex; }
    const QString &FieldName() const { return FDef.Name; }
    TFieldType DataType() const { return FDef.DataType; }
    int Size() const { return FDef.Size; }
    int Decimals() const { return FDef.Decimals; }

    // Readings of the current record. A null value reads as empty text, 0, date-time 0 and false.
    bool IsNull() const;
    QVariant Value() const;
    QString AsString() const;
    // AsString into Text, reusing its buffer where the source allows.
    void ReadString(QString &Text) const;
    // A text field's stored bytes, when they are plain ASCII and no edit stands for them.
    bool AsciiText(QByteArrayView &Text) const;
    double AsFloat() const;
    // A number as the expressions read it: the extended value nearest its decimal text.
    long double AsExtended() const;
    int AsInteger() const;
    TDateTime AsDateTime() const;
    bool AsBoolean() const;

    // Writing needs the edit or insert state; a value the field cannot take raises EDatabaseError.
    void SetValue(const QVariant &Value);
    void SetAsString(const QString &Value);
    void SetAsFloat(double Value);
    void SetAsDateTime(TDateTime Value);
    void SetAsBoolean(bool Value);
    void Clear();

private:
    TADOQuery &FDataSet;
    int FIndex;
    TSourceField FDef;
};

class TADOQuery {
public:
    using TDataSetNotifyEvent = std::function<void(TADOQuery &DataSet)>;
    using TFilterRecordEvent = std::function<void(TADOQuery &DataSet, bool &Accept)>;

    explicit TADOQuery(TADOConnection *Connection = nullptr);
    ~TADOQuery();
    TADOQuery(const TADOQuery &) = delete;
    TADOQuery &operator=(const TADOQuery &) = delete;

    TADOConnection *Connection = nullptr;
    QString SQL;

    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
        BeforeEdit, AfterEdit, BeforePost, AfterPost, AfterCancel, AfterDelete, AfterScroll;
    TFilterRecordEvent OnFilterRecord;

    // Opening connects a disconnected connection again with its connection string. Every failure,
    // running out of memory included, raises EDatabaseError.
    void Open();
    void Close();
    bool Active() const { return FState != dsInactive; }
    void SetActive(bool Value) { Value ? Open() : Close(); }
    TDataSetState State() const { return FState; }

    int FieldCount() const { return int(FFields.size()); }
    // Changes whenever the field list is made or dropped (open, close), so that a cache of field
    // indexes can tell it is stale; no two field lists of any datasets share one.
    uint64_t FieldsGeneration() const { return FFieldsGeneration; }
    TField &Fields(int Index) const;
    // Case-insensitive; nullptr when there is no such field.
    TField *FindField(const QString &Name) const;
    // As FindField, but raises EDatabaseError when there is no such field.
    TField &FieldByName(const QString &Name) const;

    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const { return FEof; }
    bool Bof() const { return FBof; }
    // 1-based position among the visible records; -1 without a current record (empty, inserting).
    int RecNo() const;
    void SetRecNo(int Value);
    int RecordCount() const { return int(FRows.size()); }
    bool IsEmpty() const { return FRows.empty(); }
    // Looks from the first visible record for the first one whose field holds Value; stays put
    // when none does. loPartialKey matches text that starts with Value.
    bool Locate(const QString &KeyField, const QVariant &Value, TLocateOptions Options);

    // "NAME ASC", "NAME DESC" (or just "NAME"), or empty for the table's own order.
    QString Sort() const { return FSort; }
    void SetSort(const QString &Value);
    // While set, OnFilterRecord decides which records are visible and counted.
    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool Value);

    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return FModified; }
    // Writes every pending change of the table (posting an open edit first); raises EDatabaseError
    // with the reason when that fails, and the changes stay pending.
    void UpdateBatch();

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisabled > 0; }

    // Opens this query on Source's records (the same rows, pending changes included) with its own
    // cursor, sort and filter.
    void Clone(TADOQuery &Source);

    // The value and display text of a field in the visible record at 0-based Index, read without
    // moving the cursor or firing events (the grid reads its rows so); the record being edited
    // shows its edit buffer. Null (empty text) outside the records.
    QVariant RowValue(int Index, int Field) const;
    QString RowText(int Index, int Field) const;
    // What the opener should show the user about the open table (a damaged file of which only some
    // records could be read); empty when nothing.
    QString Warning() const { return FSource ? FSource->Warning() : QString(); }

    // The rows behind the open result set (nullptr when closed).
    TTableSource *Source() const { return FSource.get(); }
    // The row id of the current record, -1 when there is none.
    int64_t CurrentRow() const;
    // The stored bytes of the record the fields read (the filtered one during the filter), for a
    // dBASE source; nullptr when some value may come from elsewhere (an edit, a pending change).
    // Lost: the flag the source sets when the bytes were found gone (see TDbfTable).
    const char *RecordBytes(const std::atomic<bool> *&Lost) const;

private:
    friend class TField;
    friend class TDataSource;

    void OpenSource(std::shared_ptr<TTableSource> Source);
    void ApplySort(const QString &Value);
    void ApplyFilter(bool Value);
    void CheckActive() const;
    void CheckBrowseMode();
    void CheckWritable() const;
    void BuildView();
    void SortRows();
    void SortText(const TRowIndex &Order, bool Descending);
    template <typename TKeys>
    void PlaceSorted(const TKeys &Keys, const std::vector<int64_t> &Nulls, bool Descending);
    TRowIndex NaturalOrder() const;
    void ParseSort(const QString &Text, int &Field, bool &Descending) const;
    void MoveTo(int64_t Index);
    // After a move from the record at Before: a pass record after record through the table's
    // order tells the source the rows it has gone past, a stretch at a time.
    void PassOn(int64_t Before);
    void ResetBuffer();
    QVariant FieldValue(int Field) const;
    // The row whose stored value a field reads, -1 when the value comes from elsewhere (an edit).
    int64_t SourceRow(int Field) const;
    void SetFieldValue(int Field, const QVariant &Value);
    void Fire(const TDataSetNotifyEvent &Event);
    void NotifyData();
    void NotifyState();

    std::shared_ptr<TTableSource> FSource;
    std::vector<std::unique_ptr<TField>> FFields;
    uint64_t FFieldsGeneration = 0;
    bool FDbfSource = false; // its number reading matches ours: the source may read numbers itself
    TRowIndex FRows;
    int64_t FCurrent = -1;
    int64_t FPassFrom = 0; // where the current pass began
    bool FEof = true;
    bool FBof = true;
    TDataSetState FState = dsInactive;
    std::vector<QVariant> FBuffer;
    std::vector<uint8_t> FBufferSet;
    bool FModified = false;
    int64_t FInsertAt = 0;
    int64_t FFilterRow = -1;
    QString FSort;
    int FSortField = -1;
    bool FSortDescending = false;
    bool FFiltered = false;
    int FDisabled = 0;
    bool FPendingData = false;
    bool FPendingState = false;
    std::vector<TDataSource *> FDataSources;
};

// Binds a dataset to the controls that show it: they learn of moves and changes through
// OnDataChange and of state changes through OnStateChange, except while controls are disabled.
class TDataSource {
public:
    explicit TDataSource(TADOQuery *DataSet = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    TADOQuery *DataSet() const { return FDataSet; }
    void SetDataSet(TADOQuery *DataSet);
    TDataSetState State() const { return FDataSet ? FDataSet->State() : dsInactive; }

    std::function<void()> OnDataChange;
    std::function<void()> OnStateChange;

private:
    friend class TADOQuery;
    TADOQuery *FDataSet = nullptr;
};

} // namespace qf::tables
