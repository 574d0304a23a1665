// The table workspace in the main window, offscreen, made and opened as the program does: the
// pages of the table and memo files that opening a 1,000,000-record dBASE table reads from a cold
// cache (they are dropped first) against the files' sizes; opening it until the grid has painted
// its first rows against a 1,000-record table with the same fields; the peak memory with the big
// table open against the size of its files; and a sort by a title click on the big table against
// SQLite's ORDER BY over the same rows in memory.
// Usage: bench_workspace [folder [records]] (tables are generated there unless present).

#include "benchsqlite.h"
#include "benchtables.h"
#include "shell/globals.h"
#include "shell/mainform.h"
#include "shell/startup.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/dbf/dbfwriter.h"
#include "tables/workspace.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sqlite3.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace qf::bench;
using namespace qf::shell;
using namespace qf::tables;

namespace {

// NAME C30, CITY C20, AMOUNT N, DUE D, PAID L, NOTE M (every fourth record with a memo).
void Generate(const QString &FileName, int Records)
{
    const auto Defs = BenchFields({{"NAME", dtC, 30},
                                   {"CITY", dtC, 20},
                                   {"AMOUNT", dtN},
                                   {"DUE", dtD},
                                   {"PAID", dtL},
                                   {"NOTE", dtM}});
    WriteBenchTable(
        FileName, Defs, Records, 42, [](char *p, int i, std::mt19937 &Random, QFile *Memo) {
            PlaceDbfField(p, dtC, 30, QString::fromLatin1(Word(Random, 2) + ' ' + Word(Random, 3)));
            PlaceDbfField(p + 30, dtC, 20, QString::fromLatin1(Word(Random, 2)));
            PlaceDbfField(p + 50, dtN, 15,
                          QString::number(double(Random() % 10000000) / 100.0, 'f', 5));
            PlaceDbfField(p + 65, dtD, 8, FormatDbfDate(36526 + double(Random() % 9000)));
            p[73] = Random() % 2 ? 'T' : 'F';
            if (i % 4 == 0)
                PlaceDbfMemoRef(
                    p + 74, 10,
                    AppendDbfMemo(*Memo, "Note " + QByteArray::number(i) + ' ' +
                                             QByteArray(60 + int(Random() % 200), 'n')));
        });
}

void Ensure(const QString &FileName, int Records)
{
    if (!QFile::exists(FileName) || TDbfTable(FileName).RowCount() != Records) {
        std::printf("generating %d records ...\n", Records);
        std::fflush(stdout);
        Generate(FileName, Records);
        // As from another program: nothing names the code page, which opening tells from the text.
        QFile::remove(DbfCodePageFileName(FileName));
    }
    WarmPageCache(FileName);
}

// The file's pages dropped from the page cache, so that the next open reads them from the disk.
void DropPages(const QString &FileName)
{
    const int Handle = ::open(QFile::encodeName(FileName).constData(), O_RDONLY);
    if (Handle < 0)
        return;
    ::fdatasync(Handle); // written pages are dropped only once they are on the disk
    ::posix_fadvise(Handle, 0, 0, POSIX_FADV_DONTNEED);
    ::close(Handle);
}

// Pages of the file in the page cache, and all its pages.
std::pair<long, long> CachedPages(const QString &FileName)
{
    const long Page = ::sysconf(_SC_PAGESIZE);
    const int Handle = ::open(QFile::encodeName(FileName).constData(), O_RDONLY);
    if (Handle < 0)
        return {0, 0};
    const off_t Size = ::lseek(Handle, 0, SEEK_END);
    const long Pages = long((Size + Page - 1) / Page);
    long Cached = 0;
    if (Size > 0) {
        void *Map = ::mmap(nullptr, size_t(Size), PROT_READ, MAP_SHARED, Handle, 0);
        if (Map != MAP_FAILED) {
            std::vector<unsigned char> Resident(static_cast<size_t>(Pages));
            if (::mincore(Map, size_t(Size), Resident.data()) == 0)
                for (const unsigned char R : Resident)
                    Cached += R & 1;
            ::munmap(Map, size_t(Size));
        }
    }
    ::close(Handle);
    return {Cached, Pages};
}

// Bytes this process has had read from the disk ("read_bytes:" of /proc/self/io).
long long DiskReadBytes()
{
    QFile Io(QStringLiteral("/proc/self/io"));
    if (!Io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &Line : Io.readAll().split('\n'))
        if (Line.startsWith("read_bytes:"))
            return Line.mid(11).trimmed().toLongLong();
    return -1;
}

double FileBytes(const QString &FileName)
{
    return double(QFileInfo(FileName).size() + QFileInfo(DbfMemoFileName(FileName)).size());
}

// Opens the table in the window and waits until the grid has painted its first rows.
double OpenInWindow(TMainForm &Form, const QString &FileName)
{
    QElapsedTimer Timer;
    Timer.start();
    Form.OpenDBFFile(FileName);
    QApplication::processEvents();
    Form.RxDBGrid1->viewport()->repaint();
    const double Time = Seconds(Timer);
    if (Form.RxDBGrid1->model()->rowCount() == 0 || !Form.RxDBGrid1->isVisible())
        qFatal("the grid shows no rows");
    return Time;
}

// The quickest of several runs: the machine's other work only ever adds time.
double Best(const std::vector<double> &Values)
{
    return *std::min_element(Values.begin(), Values.end());
}

double ClickTitle(TMainForm &Form, int Column)
{
    QHeaderView *H = Form.RxDBGrid1->horizontalHeader();
    const QPoint At(H->sectionViewportPosition(Column) + 5, H->height() / 2);
    QElapsedTimer Timer;
    Timer.start();
    QTest::mouseClick(H->viewport(), Qt::LeftButton, {}, At);
    Form.RxDBGrid1->viewport()->repaint();
    return Seconds(Timer);
}

double SqliteOrderBy(const QString &FileName, const char *Column)
{
    sqlite3 *Db = nullptr;
    sqlite3_open(":memory:", &Db);
    sqlite3_exec(
        Db, "CREATE TABLE t(NAME TEXT, CITY TEXT, AMOUNT REAL, DUE TEXT, PAID INTEGER, NOTE TEXT)",
        nullptr, nullptr, nullptr);
    qf::bench::ImportIntoSqlite(Db, TDbfTable(FileName), 6);
    const QByteArray Sql = QByteArray("SELECT * FROM t ORDER BY ") + Column;
    QElapsedTimer Timer;
    Timer.start();
    sqlite3_stmt *Select;
    sqlite3_prepare_v2(Db, Sql.constData(), -1, &Select, nullptr);
    while (sqlite3_step(Select) == SQLITE_ROW) {
    }
    sqlite3_finalize(Select);
    const double Time = Seconds(Timer);
    sqlite3_close(Db);
    return Time;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareEnvironment();
    QApplication App(argc, argv);
    QTemporaryDir Temporary;
    const QString Folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temporary.path();
    const int Records = argc > 2 ? atoi(argv[2]) : 1000000;
    QDir().mkpath(Folder);
    const QString Big = QDir(Folder).filePath("big.dbf"),
                  Small = QDir(Folder).filePath("small.dbf");
    Ensure(Big, Records);
    Ensure(Small, 1000);
    QFile::remove(QDir(Folder).filePath("big.cfg"));
    QFile::remove(QDir(Folder).filePath("small.cfg"));

    // The window and its dialogs as the program makes them.
    CreateForms();
    if (!MainForm)
        qFatal("the main window could not be made");
    TMainForm &Form = *MainForm;
    Form.show();
    QApplication::processEvents();

    // From a cold cache: what opening the big table until its first rows show reads of its files.
    const QString Memo = DbfMemoFileName(Big);
    DropPages(Big);
    DropPages(Memo);
    const auto [DbfColdBefore, DbfPages] = CachedPages(Big);
    const auto [MemoColdBefore, MemoPages] = CachedPages(Memo);
    const long long DiskBefore = DiskReadBytes();
    const long FileRssBefore = StatusKb("RssFile:");
    OpenInWindow(Form, Big);
    const double DiskMb = double(DiskReadBytes() - DiskBefore) / 1048576.0;
    const double FileRssMb = double(StatusKb("RssFile:") - FileRssBefore) / 1024.0;
    const long DbfRead = CachedPages(Big).first - DbfColdBefore;
    const long MemoRead = CachedPages(Memo).first - MemoColdBefore;
    Form.CloseDB0Click();
    WarmPageCache(Big);

    // Memory, on a fresh peak: with the big table open and its first rows painted.
    const long RssBefore = StatusKb("VmRSS:");
    QFile Clear(QStringLiteral("/proc/self/clear_refs"));
    if (Clear.open(QIODevice::WriteOnly))
        Clear.write("5");
    Clear.close();
    OpenInWindow(Form, Big);
    const double PeakMb = double(StatusKb("VmHWM:") - RssBefore) / 1024.0;
    const double FileMb = FileBytes(Big) / 1048576.0;
    Form.CloseDB0Click();

    std::vector<double> SmallTimes, BigTimes;
    for (int i = 0; i < 7; ++i) {
        SmallTimes.push_back(OpenInWindow(Form, Small));
        Form.CloseDB0Click();
        BigTimes.push_back(OpenInWindow(Form, Big));
        if (i < 6)
            Form.CloseDB0Click();
    }
    const double SmallOpen = Best(SmallTimes), BigOpen = Best(BigTimes);

    // Big table open: title clicks on a text and a number column.
    const double OursText = ClickTitle(Form, 0);
    Form.Unsort0Click();
    const double OursNumber = ClickTitle(Form, 2);
    Form.CloseDB0Click();
    std::printf("SQLite import ...\n");
    std::fflush(stdout);
    const double SqliteText = SqliteOrderBy(Big, "NAME");
    const double SqliteNumber = SqliteOrderBy(Big, "AMOUNT");

    std::printf("\n%d records: %.1f MB of table and memo files\n", Records, FileMb);
    std::printf("opening from a cold cache read %ld of %ld pages of the .dbf and %ld of %ld of "
                "the .dbt (%.1f MB from the disk; file-backed memory +%.1f MB)\n",
                DbfRead, DbfPages, MemoRead, MemoPages, DiskMb, FileRssMb);
    std::printf("%-58s %10s %10s %8s\n", "work", "ours s", "ref s", "ratio");
    std::printf("%-58s %10.4f %10.4f %7.2fx  (aim <= 2x)\n",
                "open in the window until the grid shows rows (vs 1,000)", BigOpen, SmallOpen,
                BigOpen / SmallOpen);
    std::printf("%-58s %10.4f %10.4f %7.2fx  (aim >= 1x)\n",
                "title click sort by NAME (vs SQLite ORDER BY)", OursText, SqliteText,
                SqliteText / OursText);
    std::printf("%-58s %10.4f %10.4f %7.2fx  (aim >= 1x)\n",
                "title click sort by AMOUNT (vs SQLite ORDER BY)", OursNumber, SqliteNumber,
                SqliteNumber / OursNumber);
    std::printf("%-58s %9.1fM %9.1fM %7.2fx  (aim <= 1.3x)\n",
                "peak memory with the table open (vs file sizes)", PeakMb, FileMb, PeakMb / FileMb);
    const double PageMb = double(::sysconf(_SC_PAGESIZE)) / 1048576.0;
    std::printf("%-58s %9.1fM %9.1fM %7.2fx  (aim <= 0.5x)\n",
                "pages read by a cold open (vs file sizes)", double(DbfRead + MemoRead) * PageMb,
                FileMb, double(DbfRead + MemoRead) * PageMb / FileMb);
    FreeForms();
    return 0;
}
