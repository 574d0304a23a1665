// Times the table copy on a generated 1,000,000-record dBASE table (C, N, D, L and M fields, every
// fourth record with a memo): a copy into a new dBASE III file with one field dropped (STREET) and
// one retyped (AMOUNT, number to text), set beside GDAL's ogr2ogr doing the same to the same .dbf
// (an OGR SQL select with a cast). ogr2ogr reads memo fields as their block references and copies
// those, so our copy also carries every memo text into a new memo file that ogr2ogr does not write.
// Usage: bench_copy [folder [records]]; the table is generated in the folder (default: a temporary
// one) unless it is already there.

#include "benchtables.h"
#include "store/sqlset.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbfcopy.h"
#include "tables/data/tablequery.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>
#include <random>

using namespace qf::bench;
using namespace qf::tables;

namespace {

TFieldDefRec Field(const char *Name, TDbfType Kind, int Size = 0, const char *Source = nullptr)
{
    TFieldDefRec Def;
    Def.Name = QString::fromLatin1(Name);
    Def.SourceName = QString::fromLatin1(Source ? Source : Name);
    Def.Kind = Kind;
    Def.Size = Size;
    return Def;
}

double Ours(const QString &Folder, const QString &Target)
{
    qf::store::TSQLSet SQLSet;
    InitTableQuerySet(SQLSet);
    TADOConnection Connection;
    Connection.ConnectionString = FormatConnectionString(Folder, Folder, kDbaseDriver);
    TADOQuery Query(&Connection);
    PrepareTableQuery(SQLSet, Query, QStringLiteral("bench.dbf"));
    QElapsedTimer Timer;
    Timer.start();
    Query.Open(); // opening is part of the work, as ogr2ogr opens its source
    std::vector<TFieldDefRec> Defs = {Field("NAME", dtC, 30),   Field("CITY", dtC, 20),
                                      Field("AMOUNT", dtC, 20), Field("DUE", dtD),
                                      Field("PAID", dtL),       Field("NOTE", dtM)};
    TDbfCopy Copy;
    Copy.CopyToDbf(Target, Defs, &Query, false);
    const double Time = Seconds(Timer);
    if (Copy.ProblemCount() > 0)
        qFatal("unexpected conversion problems: %s", qPrintable(Copy.ProblemText()));
    std::printf("  ours: %lld records copied\n", static_cast<long long>(Copy.Copied()));
    return Time;
}

double Gdal(const QString &Folder, const QString &Target)
{
    QFile::remove(Target);
    QElapsedTimer Timer;
    Timer.start();
    QProcess Ogr;
    Ogr.start(QStringLiteral("ogr2ogr"),
              {QStringLiteral("-f"), QStringLiteral("ESRI Shapefile"), QStringLiteral("-sql"),
               QStringLiteral("SELECT NAME, CITY, CAST(AMOUNT AS character(20)) AS AMOUNT, DUE, "
                              "PAID, NOTE FROM bench"),
               Target, Folder + QStringLiteral("bench.dbf")});
    if (!Ogr.waitForFinished(-1) || Ogr.exitCode() != 0)
        qFatal("ogr2ogr failed: %s", Ogr.readAllStandardError().constData());
    return Seconds(Timer);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    QTemporaryDir Temp;
    const QString Folder =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temp.path()).absolutePath() +
        QLatin1Char('/');
    const int Records = argc > 2 ? std::atoi(argv[2]) : 1000000;
    if (!QFileInfo::exists(Folder + "bench.dbf")) {
        std::printf("generating %d records in %s\n", Records, qPrintable(Folder));
        WritePeopleTable(Folder + "bench.dbf", Records, false);
    }
    QDir(Folder).mkpath(QStringLiteral("gdal"));
    // Each side twice, the better run counts (the page cache warm for both).
    double Our = 1e9, Their = 1e9;
    for (int Run = 0; Run < 2; ++Run) {
        Their = std::min(Their, Gdal(Folder, Folder + QStringLiteral("gdal/copy.dbf")));
        Our = std::min(Our, Ours(Folder, Folder + QStringLiteral("copy.dbf")));
    }
    std::printf("copy with one field dropped and one retyped: ours %.2f s, ogr2ogr %.2f s, ratio "
                "%.2fx (above 1: ours faster)\n",
                Our, Their, Their / Our);
    return 0;
}
