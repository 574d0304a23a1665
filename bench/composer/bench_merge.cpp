// Times the merge of a mailing: for every record of a generated dBASE table, the subject and a
// 5 KB HTML body with ten placeholders (two of them calculated fields, a string and a float) are
// merged into finished texts, as the mailing dialog prepares them. Beside it, python3-jinja2
// renders the same template over the same rows, read with python3-dbfread beforehand (not timed).
// Usage: bench_merge [folder [records]]; the table is generated in the folder (default: a
// temporary one) unless it is already there. QF_MERGE_ONLY runs only our side, several times, for
// profiling.

#include "benchtables.h"
#include "composer/merge.h"
#include "composer/project.h"
#include "composer/projectitems.h"
#include "shell/framelogic.h"
#include "store/reader.h"
#include "store/sqlset.h"
#include "tables/calc/calcfields.h"
#include "tables/calc/recordvars.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"
#include "tables/data/dbf/dbftable.h"
#include "tables/data/dbf/dbfwriter.h"
#include "tables/data/tablequery.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>
#include <random>
#include <string_view>

using namespace qf;
using namespace qf::tables;

namespace {

void Generate(const QString &FileName, int Records)
{
    const auto Defs = qf::bench::BenchFields({{"FIRST", dtC, 20},
                                              {"NAME", dtC, 30},
                                              {"EMAIL", dtC, 40},
                                              {"CITY", dtC, 20},
                                              {"ORDERNO", dtC, 10},
                                              {"AMOUNT", dtN},
                                              {"DUE", dtD},
                                              {"PAID", dtL}});
    qf::bench::WriteBenchTable(
        FileName, Defs, Records, 7, [](char *p, int i, std::mt19937 &Random, QFile *) {
            using qf::bench::Word;
            const QByteArray First = Word(Random, 2), Name = Word(Random, 3);
            PlaceDbfField(p, dtC, 20, QString::fromLatin1(First));
            PlaceDbfField(p + 20, dtC, 30, QString::fromLatin1(Name));
            PlaceDbfField(
                p + 50, dtC, 40,
                QString::fromLatin1(First.toLower() + '.' + Name.toLower() + "@example.org"));
            PlaceDbfField(p + 90, dtC, 20, QString::fromLatin1(Word(Random, 2)));
            PlaceDbfField(p + 110, dtC, 10, QStringLiteral("A%1").arg(i, 7, 10, QLatin1Char('0')));
            PlaceDbfField(p + 120, dtN, DbfFieldWidth(dtN, 0),
                          QString::number((Random() % 10000000) / 100.0, 'f', 2));
            const int At = 120 + DbfFieldWidth(dtN, 0);
            PlaceDbfField(p + At, dtD, 8, FormatDbfDate(36526 + double(Random() % 9000)));
            p[At + 8] = Random() % 2 ? 'T' : 'F';
        });
}

// The body: about 5 KB of HTML around ten placeholders (Mark(name) writes one in either syntax).
QString Body(const std::function<QString(const char *)> &Mark)
{
    QString B = QStringLiteral(
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Order</title>\r\n"
        "<style>body{font-family:Arial;width:100%}td{padding:4px}</style></head>\r\n<body>\r\n");
    B += QStringLiteral("<p>%1,</p>\r\n").arg(Mark("GREETING"));
    const QString Filler = QStringLiteral(
        "<p>Thank you for shopping with us. This paragraph stands for the body of a real letter, "
        "with "
        "the terms, the delivery and what to do when something is wrong with the order.</p>\r\n");
    for (int i = 0; i < 6; ++i)
        B += Filler;
    B +=
        QStringLiteral(
            "<table><tr><td>Order</td><td>%1</td></tr>\r\n<tr><td>Name</td><td>%2 %3</td></tr>\r\n")
            .arg(Mark("ORDERNO"), Mark("FIRST"), Mark("NAME"));
    B += QStringLiteral("<tr><td>Mail</td><td><a href=\"mailto:%1\">write to us</a></td></tr>\r\n")
             .arg(Mark("EMAIL"));
    B += QStringLiteral(
             "<tr><td>City</td><td>%1</td></tr>\r\n<tr><td>Amount</td><td>%2</td></tr>\r\n")
             .arg(Mark("CITY"), Mark("AMOUNT"));
    B += QStringLiteral(
             "<tr><td>With tax</td><td>%1</td></tr>\r\n<tr><td>Due</td><td>%2</td></tr>\r\n"
             "<tr><td>Paid</td><td>%3</td></tr></table>\r\n")
             .arg(Mark("TOTAL"), Mark("DUE"), Mark("PAID"));
    for (int i = 0; i < 22; ++i)
        B += Filler;
    B += QStringLiteral("</body></html>\r\n");
    return B;
}

const char *kJinja = R"(
import json, sys, time
from dbfread import DBF
import jinja2
rows = list(DBF(sys.argv[1], encoding='utf-8'))
env = jinja2.Environment(autoescape=False)
subject = env.from_string(open(sys.argv[2], encoding='utf-8').read())
body = env.from_string(open(sys.argv[3], encoding='utf-8').read())
t = time.perf_counter()
total = 0
for r in rows:
    total += len(subject.render(r)) + len(body.render(r))
print(json.dumps({'seconds': time.perf_counter() - t, 'chars': total}))
)";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    QTemporaryDir Temporary;
    const QString Folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temporary.path();
    const int Records = argc > 2 ? atoi(argv[2]) : 100000;
    QDir().mkpath(Folder);
    const QString FileName = QDir(Folder).filePath("mailing.dbf");
    if (!QFile::exists(FileName) || TDbfTable(FileName).RowCount() != Records) {
        std::printf("generating %d records in %s ...\n", Records, qPrintable(Folder));
        Generate(FileName, Records);
    }

    // Ours: the project store with the two calculated fields, the main window's scanner, the
    // engine answering from the current record, the table opened as the workspace opens it.
    composer::TMailProject Project;
    composer::PutString(Project.DList1, "CF~Expr~GREETING", composer::kindCalcExpr,
                        "'Dear ' + FIRST + ' ' + NAME");
    composer::PutInt32(Project.DList1, "CF~Type~GREETING", composer::kindCalcType, 3);
    composer::PutString(Project.DList1, "CF~Expr~TOTAL", composer::kindCalcExpr, "AMOUNT * 1.19");
    composer::PutInt32(Project.DList1, "CF~Type~TOTAL", composer::kindCalcType, 1);
    store::TReader Reader1;
    shell::SetupMainReader(Reader1);
    expr::TAdCalc AdCalc1; // quoting as the main window's engine does
    AdCalc1.SetStringSign(expr::ssApostrophe);
    AdCalc1.SetCommentSign(expr::csQMark);
    composer::TMailMerge Merge(Project.DList1, Reader1, AdCalc1);
    TCalcFields CalcFields(Project.DList1, Reader1);
    TRecordVariables Variables(AdCalc1, CalcFields);
    TADOConnection Connection;
    Connection.ConnectionString = FormatConnectionString(Folder + '/', Folder + '/', kDbaseDriver);
    store::TSQLSet SQLSet;
    InitTableQuerySet(SQLSet);
    TADOQuery Query(&Connection);
    if (!PrepareTableQuery(SQLSet, Query, QStringLiteral("mailing.dbf")))
        qFatal("cannot prepare the table query");
    Query.Open();
    Merge.ADOQuery1 = &Query;
    Variables.CurrentDataSet = Variables.MainDataSet = &Query;
    Variables.ShowError = [](const QString &Text) { qFatal("%s", qPrintable(Text)); };
    Merge.FEvalStack = &Variables.FEvalStack;
    Merge.FCalcError = &Variables.FCalcError;
    Merge.FInFilter = &Variables.FInFilter;
    Merge.OnPointAtDataSet = [&Variables](TADOQuery *DataSet) {
        Variables.CurrentDataSet = DataSet;
    };

    const QString Subject = QStringLiteral("Your order %ORDERNO, %FIRST");
    const QString Template =
        Body([](const char *Name) { return QLatin1Char('%') + QLatin1String(Name); });
    const bool MergeOnly = qEnvironmentVariableIsSet("QF_MERGE_ONLY");
    qint64 Chars = 0;
    int Merged = 0;
    double Ours = 0;
    size_t Check = 0; // of the texts, to compare builds
    for (int Run = 0; Run < (MergeOnly ? 10 : 1); ++Run) {
        QElapsedTimer Timer;
        Timer.start();
        Chars = 0;
        Merged = 0;
        for (Query.First(); !Query.Eof(); Query.Next()) {
            const QString S = Merge.ExpandPlaceholders(Subject);
            const QString B = Merge.ExpandPlaceholders(Template);
            Chars += S.size() + B.size();
            if (MergeOnly && Run == 0)
                for (const QString *T : {&S, &B})
                    Check = Check * 31 + std::hash<std::u16string_view>()(std::u16string_view(
                                             reinterpret_cast<const char16_t *>(T->constData()),
                                             size_t(T->size())));
            ++Merged;
        }
        Ours = Run == 0 ? qf::bench::Seconds(Timer) : std::min(Ours, qf::bench::Seconds(Timer));
    }
    if (MergeOnly) {
        std::printf("ours %.3f s (best) for %d records, texts %zx\n", Ours, Merged, Check);
        return 0;
    }

    // The same template for jinja2.
    auto Write = [&](const char *Name, const QString &Text) {
        QFile F(QDir(Folder).filePath(QString::fromLatin1(Name)));
        F.open(QIODevice::WriteOnly | QIODevice::Truncate);
        F.write(Text.toUtf8());
        return F.fileName();
    };
    auto Jinja = [](const char *Name) {
        const QLatin1String N(Name);
        if (N == QLatin1String("GREETING"))
            return QStringLiteral("{{ 'Dear ' ~ FIRST ~ ' ' ~ NAME }}");
        if (N == QLatin1String("TOTAL"))
            return QStringLiteral("{{ AMOUNT * 1.19 }}");
        return QStringLiteral("{{ %1 }}").arg(N);
    };
    const QString SubjectFile =
        Write("subject.j2", QStringLiteral("Your order {{ ORDERNO }}, {{ FIRST }}"));
    const QString BodyFile = Write("body.j2", Body(Jinja));
    QProcess Python;
    Python.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QString::fromLatin1(kJinja), FileName, SubjectFile, BodyFile});
    if (!Python.waitForFinished(-1) || Python.exitCode() != 0)
        qFatal("python3-jinja2 failed: %s", Python.readAllStandardError().constData());
    const QByteArray Out = Python.readAllStandardOutput();
    const double Theirs =
        Out.mid(Out.indexOf(':') + 1, Out.indexOf(',') - Out.indexOf(':') - 1).trimmed().toDouble();

    std::printf("%d records, body %lld characters, %lld characters merged\n", Merged,
                static_cast<long long>(Template.size()), static_cast<long long>(Chars));
    std::printf("ours   %8.3f s  (%.1f us per record)\n", Ours, Ours * 1e6 / Merged);
    std::printf("jinja2 %8.3f s  (%.1f us per record)\n", Theirs, Theirs * 1e6 / Merged);
    std::printf("ratio  %8.1f x faster\n", Theirs / Ours);
    return 0;
}
