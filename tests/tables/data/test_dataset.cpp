// The dataset over a connection to a folder of real dBASE files: cursor, sort, filter, edits and
// the batch update, read back by dbfread.

#include "datasetfixture.h"
#include "store/sqlset.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/tablequery.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/resource.h>
#include <unistd.h>

using namespace qf::store;
using namespace qf::tables;

namespace {
const std::vector<TRawField> kFields = {
    {"NAME", 'C', 12}, {"AMOUNT", 'N', 8, 2}, {"DUE", 'D', 8}, {"PAID", 'L', 1}, {"NOTE", 'M', 10}};

QByteArray R(const char *Name, const char *Amount, const char *Due, const char *Paid,
             const char *Note = "")
{
    return RawRecord(kFields, {Name, Amount, Due, Paid, Note});
}

// Resident kilobytes of this process's maps of the file (the "Rss:" of its /proc/self/smaps
// entries).
long MappedResidentKb(const QString &FileName)
{
    QFile Smaps(QStringLiteral("/proc/self/smaps"));
    if (!Smaps.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray Path = QFile::encodeName(QFileInfo(FileName).canonicalFilePath());
    long Kb = 0;
    bool Ours = false;
    for (const QByteArray &Line : Smaps.readAll().split('\n')) {
        const QList<QByteArray> Words = Line.simplified().split(' ');
        if (Words.value(0).endsWith(':')) {
            if (Ours && Words.value(0) == "Rss:")
                Kb += Words.value(1).toLong();
        } else if (!Line.isEmpty()) {
            Ours = Line.endsWith(' ' + Path);
        }
    }
    return Kb;
}

class TablesDataset : public TDbfFolder {
protected:
    void SetUp() override
    {
        TDbfFolder::SetUp();
        WriteBytes(
            Dir.filePath("clients.dbf"),
            RawDbf(0x83, kFields,
                   {R("Smith", "10.50", "20240105", "T", "1"), R("anna", "3.00", "20230301", "F"),
                    R("Zed", "****", "", "?"), R("Old", "1.00", "19990101", "T"),
                    R("Bob", "-2.25", "20240105", "F", "2"), R("Anna", "7.00", "20220709", "T")},
                   {false, false, false, true, false, false}));
        QByteArray Memo(512, '\0');
        qToLittleEndian<quint32>(3, Memo.data());
        Memo += QByteArray("first note\x1A\x1A").leftJustified(512, '\0') +
                QByteArray("second\x1A\x1A");
        WriteBytes(Dir.filePath("clients.dbt"), Memo);
    }
    void OpenClients(const QString &Table = QStringLiteral("clients.dbf")) { OpenTable(Table); }

    QStringList Names()
    {
        QStringList List;
        for (Query.First(); !Query.Eof(); Query.Next())
            List << Query.FieldByName("name").AsString();
        return List;
    }
};

} // namespace

TEST_F(TablesDataset, ConnectionStringPicksTheProvider)
{
    const QString Access = FormatConnectionString("base.mdb", "/data/", kAccessDriver);
    EXPECT_EQ(ConnectionStringValue(Access, "dbq"), "base.mdb");
    EXPECT_EQ(ConnectionStringValue(Access, "Driver"), kAccessDriver);
    Connection.Open();
    QStringList Tables;
    Connection.GetTableNames(Tables);
    EXPECT_EQ(Tables, QStringList{"clients.dbf"});
    Connection.Close();

    for (const auto &[String, Text] : std::vector<std::pair<QString, const char *>>{
             {FormatConnectionString(Folder + "nothing/", Folder, kDbaseDriver),
              "No such file or directory"},
             {FormatConnectionString("none.mdb", Folder, kAccessDriver),
              "No such file or directory"},
             {FormatConnectionString(Folder, Folder, "{Paradox}"), "{Paradox}"}}) {
        TADOConnection Missing;
        Missing.ConnectionString = String;
        EXPECT_TRUE(Message([&] { Missing.Open(); }).contains(QLatin1String(Text)))
            << String.toStdString();
        EXPECT_FALSE(Missing.Connected());
    }
}

TEST_F(TablesDataset, OpenFieldsAndValues)
{
    OpenClients("clients"); // the extension may be left out
    ASSERT_EQ(Query.FieldCount(), 5);
    const std::vector<TFieldType> Types = {ftString, ftFloat, ftDate, ftBoolean, ftMemo};
    for (int f = 0; f < 5; ++f)
        EXPECT_EQ(Query.Fields(f).DataType(), Types[size_t(f)]);
    EXPECT_EQ(Query.FindField("absent"), nullptr);

    const TField &Amount = Query.FieldByName("Amount");
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Smith");
    EXPECT_EQ(Amount.AsFloat(), 10.5);
    EXPECT_EQ(Amount.AsString(), "10.5");
    EXPECT_EQ(Amount.AsInteger(), 11);
    EXPECT_EQ(Query.FieldByName("DUE").AsDateTime(), DateToSerial(QDate(2024, 1, 5)));
    EXPECT_EQ(Query.FieldByName("DUE").AsString(), "5 Jan 2024");
    EXPECT_TRUE(Query.FieldByName("PAID").AsBoolean());
    EXPECT_EQ(Query.FieldByName("NOTE").AsString(), "first note");

    Query.SetRecNo(
        3); // Zed: everything but the name is null (an overflow mark, an unknown logical)
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Zed");
    for (const char *Name : {"AMOUNT", "DUE", "PAID", "NOTE"})
        EXPECT_TRUE(Query.FieldByName(Name).IsNull()) << Name;
    EXPECT_EQ(Amount.AsString(), "");
    EXPECT_FALSE(Query.FieldByName("PAID").AsBoolean());
}

TEST_F(TablesDataset, NamesAndNavigation)
{
    EXPECT_TRUE(Message([&] { OpenClients("nosuch.dbf"); }).contains("nosuch.dbf"));
    EXPECT_FALSE(Query.Active());
    // A table name with blanks and capitals opens through the table query.
    ASSERT_TRUE(QFile::copy(Dir.filePath("clients.dbf"), Dir.filePath("my clients.DBF")));
    ASSERT_TRUE(QFile::copy(Dir.filePath("clients.dbt"), Dir.filePath("my clients.DBT")));
    OpenClients("my clients.DBF");
    EXPECT_EQ(Query.FieldByName("NOTE").AsString(), "first note");
    Query.Close();
    OpenClients("CLIENTS.DBF"); // found without regard to case when no file has that exact name
    EXPECT_EQ(Names(), (QStringList{"Smith", "anna", "Zed", "Bob", "Anna"}));
    EXPECT_EQ(Query.RecNo(), 5);
    Query.SetRecNo(99);
    Query.Prior();
    EXPECT_EQ(Query.RecNo(), 4);

    // The record found becomes current; when none is found, the cursor stays put.
    for (const auto &[Field, Value, Options, Found, RecNo] :
         std::vector<std::tuple<QString, QVariant, int, bool, int>>{
             {"NAME", "smith", 0, false, 4},
             {"name", "Sm", loPartialKey, true, 1},
             {"NAME", "mit", loPartialKey, false, 1},
             {"NAME", "ANNA", loCaseInsensitive, true, 2},
             {"AMOUNT", -2.25, 0, true, 4},
             {"AMOUNT", "7", 0, true, 5},
             {"DUE", DateToSerial(QDate(2024, 1, 5)), 0, true, 1}}) {
        EXPECT_EQ(Query.Locate(Field, Value, Options), Found)
            << Field.toStdString() << " " << Value.toString().toStdString();
        EXPECT_EQ(Query.RecNo(), RecNo)
            << Field.toStdString() << " " << Value.toString().toStdString();
    }
    EXPECT_THROW(Query.Locate("NOPE", "x", 0), EDatabaseError);

    // An empty result: no current record.
    WriteBytes(Dir.filePath("empty.dbf"), RawDbf(0x03, {{"A", 'C', 3}}, {}));
    Query.Close();
    OpenClients("empty.dbf");
    EXPECT_TRUE(Query.Eof());
    EXPECT_EQ(Query.RecNo(), -1);
    EXPECT_THROW(Query.Delete(), EDatabaseError);
    Query.Edit(); // inserts
    EXPECT_EQ(Query.State(), dsInsert);
}

TEST_F(TablesDataset, SortWithoutReopening)
{
    OpenClients();
    Query.SetRecNo(4); // Bob stays the current record through a sort
    Query.SetSort("NAME ASC");
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Bob");
    for (const auto &[Sort, Want] : std::vector<std::pair<QString, QStringList>>{
             {"NAME ASC", {"anna", "Anna", "Bob", "Smith", "Zed"}},
             {"name DESC", {"Zed", "Smith", "Bob", "anna", "Anna"}},
             {"AMOUNT ASC", {"Zed", "Bob", "anna", "Anna", "Smith"}}, // null first
             {"AMOUNT DESC", {"Smith", "Anna", "anna", "Bob", "Zed"}},
             {"DUE", {"Zed", "Anna", "anna", "Smith", "Bob"}},
             {"PAID DESC", {"Smith", "Anna", "anna", "Bob", "Zed"}},
             {"", {"Smith", "anna", "Zed", "Bob", "Anna"}}}) {
        Query.SetSort(Sort);
        EXPECT_EQ(Names(), Want) << Sort.toStdString();
    }
    EXPECT_THROW(Query.SetSort("BALANCE ASC"), EDatabaseError);
}

TEST_F(TablesDataset, TextSortIgnoresCaseAndPlacesAccentsBesideTheirLetters)
{
    const std::vector<TRawField> Fields = {{"NAME", 'C', 10}};
    WriteBytes(Dir.filePath("words.dbf"),
               RawDbf(0x03, Fields,
                      {"zoe", "\xC3\x89mile", "Emile", "eve", "Zed", "emilf", "\xC3\xA9mile",
                       "abcdefghb", "abcdefgha"}));
    OpenClients("words.dbf");
    Query.SetSort("NAME");
    EXPECT_EQ(Names(), (QStringList{"abcdefgha", "abcdefghb", "Emile", QString::fromUtf8("Émile"),
                                    QString::fromUtf8("émile"), "emilf", "eve", "Zed", "zoe"}));
}

TEST_F(TablesDataset, FilterCallbackHidesAndCounts)
{
    int Calls = 0;
    Query.OnFilterRecord = [&](TADOQuery &Q, bool &Accept) {
        ++Calls;
        Accept = Q.FieldByName("AMOUNT").AsFloat() > 2;
    };
    Query.SetFiltered(true);
    OpenClients();
    EXPECT_EQ(Calls, 5); // the deleted record is never offered
    EXPECT_EQ(Query.RecordCount(), 3);
    EXPECT_EQ(Names(), (QStringList{"Smith", "anna", "Anna"}));
    Query.SetFiltered(false);
    EXPECT_EQ(Query.RecordCount(), 5);
    // A callback that fails on the switch leaves the records unfiltered; on opening, closed.
    Query.OnFilterRecord = [](TADOQuery &Q, bool &) { (void)Q.FieldByName("NOPE"); };
    EXPECT_THROW(Query.SetFiltered(true), EDatabaseError);
    EXPECT_FALSE(Query.Filtered());
    EXPECT_EQ(Query.RecordCount(), 5);
    Query.Close();
    Query.SetFiltered(true);
    EXPECT_THROW(OpenClients(), EDatabaseError);
    EXPECT_FALSE(Query.Active());
}

TEST_F(TablesDataset, EditInsertAppendDeleteAndBatchUpdate)
{
    OpenClients();
    EXPECT_THROW(Query.FieldByName("NAME").SetAsString("x"), EDatabaseError); // not in edit mode

    Query.SetRecNo(2);
    Query.Edit();
    Query.FieldByName("NAME").SetAsString("Annabel");
    Query.FieldByName("AMOUNT").SetAsString("4.5");
    Query.FieldByName("NOTE").SetAsString(QString(700, QLatin1Char('n')));
    EXPECT_THROW(Query.FieldByName("NAME").SetAsString("a name much too long"), EDatabaseError);
    EXPECT_THROW(Query.FieldByName("AMOUNT").SetAsString("lots"), EDatabaseError);
    Query.Post();

    Query.Edit();
    Query.FieldByName("NAME").SetAsString("Cancelled");
    Query.Cancel();
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Annabel");

    Query.Insert(); // before record 2
    Query.FieldByName("NAME").SetAsString("Inserted");
    Query.FieldByName("DUE").SetAsDateTime(DateToSerial(QDate(2025, 12, 24)));
    Query.FieldByName("PAID").SetAsBoolean(true);
    Query.Post();
    EXPECT_EQ(Query.RecNo(), 2);
    Query.Append();
    Query.FieldByName("NAME").SetAsString("Appended");
    Query.FieldByName("AMOUNT").SetAsFloat(99);
    Query.Post();
    EXPECT_EQ(Query.RecNo(), 7);
    Query.Locate("NAME", "Zed", 0);
    Query.Delete();
    EXPECT_EQ(Query.RecordCount(), 6);
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Bob"); // the next record becomes current
    // Nothing is written before the batch update.
    EXPECT_EQ(ReadWithDbfread(Dir.filePath("clients.dbf"))["records"].toArray().size(), 5);
    Query.UpdateBatch();

    const QJsonArray Records = ReadWithDbfread(Dir.filePath("clients.dbf"))["records"].toArray();
    QStringList Written;
    for (const QJsonValue &Record : Records)
        Written << Record.toArray()[0].toString();
    EXPECT_EQ(Written, (QStringList{"Smith", "Annabel", "Bob", "Anna", "Inserted", "Appended"}));
    EXPECT_DOUBLE_EQ(Records[1].toArray()[1].toDouble(), 4.5);
    EXPECT_EQ(Records[1].toArray()[4].toString(), QString(700, QLatin1Char('n')));
    EXPECT_EQ(Records[4].toArray()[2].toString(), "2025-12-24");
    EXPECT_EQ(Records[4].toArray()[3].toBool(), true);
    // The dataset stays open and in step with the file.
    EXPECT_EQ(Names(), (QStringList{"Smith", "Inserted", "Annabel", "Bob", "Anna", "Appended"}));
}

TEST_F(TablesDataset, AnInsertOrDeleteInATableWithoutDeletedRecordsStaysInPlace)
{
    WriteBytes(Dir.filePath("letters.dbf"), RawDbf(0x03, {{"NAME", 'C', 4}}, {"a", "b", "c", "d"}));
    for (const auto &[Insert, Want] : std::vector<std::pair<bool, QStringList>>{
             {true, {"a", "new", "b", "c", "d"}}, {false, {"a", "c", "d"}}}) {
        OpenClients("letters.dbf");
        Query.SetRecNo(2);
        if (Insert) {
            Query.Insert();
            Query.FieldByName("NAME").SetAsString("new");
            Query.Post();
        } else {
            Query.Delete();
        }
        EXPECT_EQ(Names(), Want);
        Query.Close();
    }
}

TEST_F(TablesDataset, NavigationPostsOrCancelsAnOpenEditAndAFailedBatchUpdateKeepsIt)
{
    OpenClients();
    Query.Edit();
    Query.Next(); // nothing changed: cancelled
    EXPECT_EQ(Query.State(), dsBrowse);
    Query.Edit();
    Query.FieldByName("NAME").SetAsString("Changed");
    Query.First(); // changed: posted
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Smith");
    Query.SetRecNo(2);
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Changed");
    EXPECT_TRUE(Query.Source()->HasPendingChanges());

    Query.Edit();
    Query.FieldByName("NAME").SetAsString("Kept");
    // The table's file cannot be written (here: a folder took its name, which stops root too).
    const QString Table = Dir.filePath("clients.dbf");
    ASSERT_TRUE(QFile::rename(Table, Dir.filePath("moved.dbf")));
    ASSERT_TRUE(QDir(Dir.path()).mkdir("clients.dbf"));
    EXPECT_TRUE(Message([&] { Query.UpdateBatch(); }).contains("Is a directory"));
    EXPECT_EQ(Query.State(), dsBrowse);
    EXPECT_EQ(Query.FieldByName("NAME").AsString(), "Kept");
    EXPECT_TRUE(Query.Source()->HasPendingChanges());
    ASSERT_TRUE(QDir(Dir.path()).rmdir("clients.dbf"));
    ASSERT_TRUE(QFile::rename(Dir.filePath("moved.dbf"), Table));
    Query.UpdateBatch();
    EXPECT_EQ(ReadWithDbfread(Table)["records"].toArray()[1].toArray()[0].toString(), "Kept");
}

TEST_F(TablesDataset, DisabledControlsHearOnceWhenEnabled)
{
    TDataSource Source(&Query);
    int DataChanges = 0, StateChanges = 0;
    Source.OnDataChange = [&] { ++DataChanges; };
    Source.OnStateChange = [&] { ++StateChanges; };
    OpenClients();
    EXPECT_GT(DataChanges, 0);
    DataChanges = StateChanges = 0;
    Query.DisableControls();
    Query.DisableControls();
    int Scrolls = 0;
    Query.AfterScroll = [&](TADOQuery &) { ++Scrolls; };
    Names();
    Query.Edit();
    Query.Cancel();
    Query.EnableControls();
    EXPECT_EQ(DataChanges, 0); // still disabled once
    Query.EnableControls();
    EXPECT_EQ(DataChanges, 1);
    EXPECT_EQ(StateChanges, 1);
    EXPECT_EQ(Scrolls, 5); // events still run
}

TEST_F(TablesDataset, GroupSeparatorsMakeNoNumberOnAnyRoad)
{
    // The texts in a text field, the numbers they mean (NAN: none) in a number field.
    const std::vector<TRawField> Fields = {{"TXT", 'C', 10}, {"NUM", 'N', 10, 3}};
    const QLocale German(QLocale::German, QLocale::Germany),
        English(QLocale::English, QLocale::UnitedStates);
    const std::vector<std::tuple<QLocale, QByteArray, double>> Cases = {
        {German, "0.125", 0.125}, {German, "2.500", 2.5},  {German, "2,75", 2.75},
        {German, "1.500,5", NAN}, {English, "1,500", NAN}, {English, "1.25", 1.25},
        {English, "1,500.5", NAN}};
    std::vector<QByteArray> Records;
    for (const auto &[Locale, Text, Number] : Cases)
        Records.push_back(RawRecord(
            Fields, {Text, std::isnan(Number) ? "" : QByteArray::number(Number, 'f', 3)}));
    WriteBytes(Dir.filePath("numbers.dbf"), RawDbf(0x03, Fields, Records));
    OpenClients("numbers.dbf");
    for (int i = 0; i < int(Cases.size()); ++i) {
        const auto &[Locale, Text, Number] = Cases[size_t(i)];
        LocaleGuard Guard(Locale);
        SCOPED_TRACE(Locale.name().toStdString() + " " + Text.toStdString());
        const bool Valid = !std::isnan(Number);
        double Parsed = 0;
        EXPECT_EQ(TryStrToFloat(QString::fromLatin1(Text), Parsed), Valid);
        EXPECT_TRUE(!Valid || Parsed == Number);
        Query.SetRecNo(i + 1);
        EXPECT_EQ(Message([&] { EXPECT_EQ(Query.FieldByName("TXT").AsFloat(), Number); }).isEmpty(),
                  Valid);
        EXPECT_EQ(Query.Locate("NUM", QString::fromLatin1(Text), 0), Valid);
        EXPECT_TRUE(!Valid || Query.RecNo() == i + 1);
        Query.Edit();
        const QString Error =
            Message([&] { Query.FieldByName("NUM").SetAsString(QString::fromLatin1(Text)); });
        EXPECT_EQ(Error.isEmpty(), Valid) << Error.toStdString();
        EXPECT_TRUE(!Valid || Query.FieldByName("NUM").AsFloat() == Number);
        Query.Cancel();
    }
}

TEST_F(TablesDataset, HugeClaimedRecordCountsOpenFastAndMemoryRunningOutIsTheLayersError)
{
    // Two-byte records in a sparse 2 GB file; the process may not grow by more than the file's map
    // and 1 GB, far less than a row list for every claimed record.
    const QString Name = Dir.filePath("huge.dbf");
    auto Write = [&](uint32_t Count, char FirstFlag = ' ') {
        WriteBytes(Name, RawDbf(0x03, {{"NAME", 'C', 1}}, {"x", "y"}));
        QByteArray Header = ReadBytes(Name);
        qToLittleEndian<quint32>(Count, Header.data() + 4);
        Header[qFromLittleEndian<quint16>(Header.constData() + 8)] = FirstFlag;
        WriteBytes(Name, Header);
        ASSERT_TRUE(QFile::resize(Name, 2LL << 30));
    };
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer aborts where the limit should raise std::bad_alloc";
#endif
    rlimit Old{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &Old), 0);
    QFile Status("/proc/self/statm");
    ASSERT_TRUE(Status.open(QIODevice::ReadOnly));
    const rlim_t Used =
        rlim_t(Status.readAll().split(' ').first().toLongLong()) * rlim_t(sysconf(_SC_PAGESIZE));
    rlimit Limited = Old;
    Limited.rlim_cur = std::min<rlim_t>(Old.rlim_max, Used + (rlim_t(3) << 30));
    ASSERT_EQ(setrlimit(RLIMIT_AS, &Limited), 0);

    Write(0xFFFFFFFFu); // a lie: the two records before the zeros
    OpenClients("huge.dbf");
    EXPECT_EQ(Names(), (QStringList{"x", "y"}));
    EXPECT_TRUE(Query.Warning().contains("promises 4294967295 records, but only 2 could be read"))
        << Query.Warning().toStdString();
    Query.Close();
    // A count the file does hold, a deleted record first: too many rows to list for memory. The
    // layer's error, not std::bad_alloc.
    Write(1000000000u, '*');
    const QString Error = Message([&] { OpenClients("huge.dbf"); });
    EXPECT_TRUE(Error.contains("not enough memory")) << Error.toStdString();
    EXPECT_FALSE(Query.Active());
    setrlimit(RLIMIT_AS, &Old);
}

// A long pass lets the pages behind it go, a stretch of the table at a time, and never holds all
// of it; a table smaller than a stretch keeps its pages for the next pass.
TEST_F(TablesDataset, APassHoldsAStretchOfALargeTableAndAllOfASmallOne)
{
    const auto Walk = [&](const char *Name, int Records) {
        WriteBytes(Dir.filePath(Name),
                   RawDbf(0x03, {{"NAME", 'C', 99}},
                          std::vector<QByteArray>(size_t(Records), QByteArray(99, 'a'))));
        OpenClients(QString::fromLatin1(Name));
        for (Query.First(); !Query.Eof(); Query.Next()) {
        }
        const long Kb = MappedResidentKb(Dir.filePath(Name));
        Query.Close();
        return Kb;
    };
    EXPECT_LT(Walk("large.dbf", 400000), 8 * 1024); // of 39 MB
    EXPECT_GT(Walk("small.dbf", 15000), 1300);      // of 1.4 MB
}

TEST(TablesFieldTypes, NumbersAsTextInTheGeneralFormat)
{
    // Fifteen digits as the runtime writes them: ties away from zero, the locale's point.
    const std::vector<std::pair<double, const char *>> Cases = {
        {0.5, "0.5"},
        {-0.0, "0"},
        {0.1 + 0.2, "0.3"},
        {2.675, "2.675"},
        {1e15, "1E15"},
        {123456789012345.0, "123456789012345"},
        {1e20, "1E20"},
        {1e-5, "1E-5"},
        {0.0001, "0.0001"},
        {-1234.5 * 1.19, "-1469.055"},
        {123456789012345678.0, "1.23456789012346E17"},
        {33110032036284.25, "33110032036284.3"},
        {5e-324, "4.94065645841247E-324"}};
    for (const auto &[Value, Text] : Cases)
        EXPECT_EQ(FloatToStr(Value), QString::fromLatin1(Text)) << Text;
    const QLocale Saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FloatToStr(1234.5), QStringLiteral("1234,5"));
    EXPECT_EQ(FloatToStr(1e-5), QStringLiteral("1E-5"));
    QLocale::setDefault(Saved);
}
