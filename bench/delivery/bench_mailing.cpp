// A whole mailing as the mailing dialog runs it: a .dbf of N contacts opened, the mail list
// prepared with the merge of every record, then sent over C connections by the connector and
// sender threads with the dispatcher deciding, the messages merged again as they are taken and
// the log written every 500 ms. Prints the preparation time apart from the sending, the
// messages per second of the sending and of the whole, and the process's peak memory: its
// peak resident size (VmHWM) and the peak of its anonymous part (RssAnon, sampled), which
// leaves out the pages of the memory-mapped table that the kernel can drop at will.
//
// "--memory host port" runs a mailing of 10,000 and one of 1,000,000 records, each in a
// process of its own, and prints both peaks and their ratios (1M / 10k).
//
// The merge here replaces "%NAME" by the field's value, as the main window's merge does for
// fields; the dispatcher ticks every 10 ms instead of the dialog's second, so that its waits
// do not hide the sending (the dialog adds up to a second at the start and at the end).

#include "delivery/mailing.h"
#include "tables/data/connection.h"
#include "tables/data/dataset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <cstdio>
#include <cstdlib>

using namespace qf::delivery;
using namespace qf::tables;

namespace {

const std::pair<QByteArray, int> Fields[] = {{"ID", 8}, {"EMAIL", 40}, {"NAME", 30}, {"CITY", 20}};

// Written in pieces: the benchmark's own memory must not grow with the table. A piece stays
// below the allocator's map threshold, or its freed memory would stay in the heap.
void WriteContacts(const QString &FileName, int Count)
{
    QFile Out(FileName);
    if (!Out.open(QIODevice::WriteOnly))
        std::exit(1);
    int RecordLength = 1;
    for (const auto &F : Fields)
        RecordLength += F.second;
    QByteArray H(32, '\0');
    H[0] = 0x03;
    H[1] = 126;
    H[2] = 1;
    H[3] = 1;
    qToLittleEndian<quint32>(quint32(Count), H.data() + 4);
    qToLittleEndian<quint16>(quint16(32 + 32 * std::size(Fields) + 1), H.data() + 8);
    qToLittleEndian<quint16>(quint16(RecordLength), H.data() + 10);
    for (const auto &F : Fields) {
        QByteArray D(32, '\0');
        memcpy(D.data(), F.first.constData(), size_t(F.first.size()));
        D[11] = 'C';
        D[16] = char(F.second);
        H += D;
    }
    H += '\x0D';
    const char *Cities[] = {"Oslo", "Bergen", "Köln", "Lyon", "Porto"};
    for (int I = 0; I < Count; ++I) {
        const QString Values[] = {QString::number(I), QStringLiteral("rcpt%1@example.com").arg(I),
                                  QStringLiteral("Customer Nr%1").arg(I),
                                  QString::fromUtf8(Cities[I % 5])};
        H += ' ';
        for (size_t F = 0; F < std::size(Fields); ++F)
            H += Values[F].toUtf8().leftJustified(Fields[F].second, ' ', true);
        if (H.size() > (1 << 16)) {
            if (Out.write(H) != H.size())
                std::exit(1);
            H.clear();
        }
    }
    H += '\x1A';
    if (Out.write(H) != H.size())
        std::exit(1);
}

// A field of /proc/self/status in MB.
double StatusMb(const char *Field)
{
    QFile F(QStringLiteral("/proc/self/status"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &Line : F.readAll().split('\n'))
        if (Line.startsWith(Field))
            return Line.mid(qstrlen(Field)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double PeakAnon = 0;
void SampleAnon() { PeakAnon = std::max(PeakAnon, StatusMb("RssAnon:")); }

// Runs a mailing of Records in a process of its own; its line as key=value pairs.
QMap<QString, double> RunChild(const QStringList &Args)
{
    QProcess P;
    P.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    P.start(QCoreApplication::applicationFilePath(), Args);
    if (!P.waitForFinished(-1) || P.exitCode() != 0) {
        std::fprintf(stderr, "the mailing of %s records failed\n", qPrintable(Args.value(2)));
        std::exit(1);
    }
    QMap<QString, double> Values;
    const QByteArray Line = P.readAllStandardOutput().trimmed();
    std::printf("%s records: %s\n", qPrintable(Args.value(2)), Line.constData());
    for (const QByteArray &Pair : Line.split(' '))
        Values[QString::fromLatin1(Pair.split('=').value(0))] = Pair.split('=').value(1).toDouble();
    return Values;
}

int MemoryRatio(const QString &Host, const QString &Port)
{
    const QMap<QString, double> Small = RunChild({Host, Port, QStringLiteral("10000")});
    const QMap<QString, double> Large = RunChild({Host, Port, QStringLiteral("1000000")});
    std::printf("peak resident: %.1f MB at 10k, %.1f MB at 1M, ratio %.2f\n", Small["peak_rss"],
                Large["peak_rss"], Large["peak_rss"] / Small["peak_rss"]);
    std::printf("peak anonymous: %.1f MB at 10k, %.1f MB at 1M, ratio %.2f\n", Small["peak_anon"],
                Large["peak_anon"], Large["peak_anon"] / Small["peak_anon"]);
    // The mailing's own part: the peak above what the open table held before it began (the
    // table's pages and row index are the table workspace's, whatever is mailed).
    const double SmallOwn = Small["peak_anon"] - Small["table_anon"];
    const double LargeOwn = Large["peak_anon"] - Large["table_anon"];
    std::printf("the mailing's own (peak anonymous above the open table's): %.1f MB at 10k, "
                "%.1f MB at 1M, ratio %.2f\n",
                SmallOwn, LargeOwn, LargeOwn / SmallOwn);
    std::printf("ratios 1M / 10k (1.5 at most wanted): resident %.2f, anonymous %.2f\n",
                Large["peak_rss"] / Small["peak_rss"], Large["peak_anon"] / Small["peak_anon"]);
    return 0;
}

QString Expand(const TADOQuery &Q, const QString &Text)
{
    QString Out;
    Out.reserve(Text.size() + 64);
    qsizetype I = 0;
    for (qsizetype P; (P = Text.indexOf(QLatin1Char('%'), I)) >= 0;) {
        Out += QStringView(Text).mid(I, P - I);
        qsizetype J = P + 1;
        while (J < Text.size() && (Text[J].isLetterOrNumber() || Text[J] == QLatin1Char('_')))
            ++J;
        if (const TField *F = Q.FindField(Text.mid(P + 1, J - P - 1))) {
            Out += F->AsString().trimmed();
            I = J;
        } else {
            Out += QLatin1Char('%');
            I = P + 1;
        }
    }
    Out += QStringView(Text).mid(I);
    return Out;
}

class TBenchView : public TMailingView {
public:
    explicit TBenchView(TMailing &M) : FMailing(M)
    {
        Timer.setInterval(10);
        Timer.setSingleShot(true);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (FMailing.Dispatch())
                Timer.start();
        });
    }
    void ShowStatus(const QString &) override {}
    void ShowProgress(int) override {}
    void ShowCounts(const QString &) override {}
    void ShowConnectError(const QString &Text) override
    {
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(Text));
        Done = true;
    }
    void ResetAfterError() override {}
    void StartDispatcher() override { Timer.start(); }
    void FlushLogNow() override {}
    bool AskRetry(const QString &Text) override
    {
        std::fprintf(stderr, "gave up: %s\n", qPrintable(Text));
        return false;
    }
    void Finished(bool C) override
    {
        Done = true;
        Completed = C;
    }
    TMailing &FMailing;
    QTimer Timer;
    bool Done = false, Completed = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--memory") == 0)
        return MemoryRatio(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s [--memory] host port [records] [connections]\n", argv[0]);
        return 2;
    }
    const int Records = argc > 3 ? std::atoi(argv[3]) : 10000;
    const int Connections = argc > 4 ? std::atoi(argv[4]) : 15;
    QTemporaryDir Dir;
    WriteContacts(Dir.filePath(QStringLiteral("contacts.dbf")), Records);
    QFile Cpg(Dir.filePath(QStringLiteral("contacts.cpg")));
    if (Cpg.open(QIODevice::WriteOnly))
        Cpg.write("UTF-8");
    Cpg.close();

    // About 2 KB of text once merged, as the messages smtp-source sends.
    QString Body = QStringLiteral("Dear %NAME,\n\n");
    for (int I = 0; I < 20; ++I)
        Body += QStringLiteral("We are glad to tell you about our new prices in %CITY for the "
                               "season, café included.\n");
    Body += QStringLiteral("Your customer number is %ID.\n");

    QElapsedTimer T;
    T.start();
    TADOConnection Connection;
    Connection.ConnectionString = FormatConnectionString(Dir.path(), Dir.path(), kDbaseDriver);
    TADOQuery Query(&Connection);
    Query.SQL = QStringLiteral("SELECT * FROM contacts");
    Query.Open();
    // What the open table holds before the mailing begins.
    const double BaseRss = StatusMb("VmRSS:"), BaseAnon = StatusMb("RssAnon:");
    TMailing M;
    TBenchView View(M);
    M.View = &View;
    TMailSource Source;
    Source.DataSet = &Query;
    Source.RecipientField = QStringLiteral("EMAIL");
    Source.Subject = QStringLiteral("An offer for %NAME");
    Source.Body = Body;
    Source.Merge.EvaluateName = [&Query](const QString &Name, QString &Value) {
        const TField *F = Query.FindField(Name);
        if (F)
            Value = F->AsString().trimmed();
        return F != nullptr;
    };
    Source.Merge.ExpandPlaceholders = [&Query](const QString &Text) { return Expand(Query, Text); };
    Source.OnProgress = [](int) { SampleAnon(); };
    TMailPlan Plan;
    QString Error;
    M.Settings.CharSet = QStringLiteral("windows-1252");
    if (PrepareMailList(Source, M.Settings, Plan, Error) != prPrepared) {
        std::fprintf(stderr, "%s\n", qPrintable(Error));
        return 1;
    }
    M.MailCount = Plan.Count;
    M.MergeMail = [&](int Index, TMailItem &Item, QString &Error) {
        return MergeMailAgain(Source, Plan, Index, Item, Error);
    };
    const double Prepare = double(T.nsecsElapsed()) / 1e9;
    SampleAnon();

    M.Settings.Host = QString::fromLocal8Bit(argv[1]);
    M.Settings.Port = std::atoi(argv[2]);
    M.Settings.User = QStringLiteral("bench");
    M.Settings.SenderName = QStringLiteral("Bench Sender");
    M.Settings.SenderAddress = QStringLiteral("sender@example.com");
    M.Settings.ReplyAddress = QStringLiteral("reply@example.com");
    M.Settings.ThreadLimit = Connections;
    M.SetSlots(Plan.Count);
    // "Write Log" on: the lines go to a file twice a second, as the dialog writes them.
    M.Log.FileName = Dir.filePath(QStringLiteral("Quillfast.log"));
    QTimer Flush;
    Flush.setInterval(500);
    QObject::connect(&Flush, &QTimer::timeout, [&M] {
        M.FlushLog(nullptr);
        SampleAnon();
    });
    Flush.start();
    T.restart();
    M.Start(QStringLiteral("now"));
    // Waits for events as the dialog's loop does; the overload with a time never waits, and
    // its spinning would take a core from the senders.
    while (!View.Done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    M.FlushLog(nullptr);
    SampleAnon();
    const double Send = double(T.nsecsElapsed()) / 1e9;
    const int Sent = M.SentCount();
    std::printf("messages=%d prepare=%.3f send=%.3f rate=%.0f whole=%.0f peak_rss=%.1f "
                "peak_anon=%.1f table_rss=%.1f table_anon=%.1f\n",
                Sent, Prepare, Send, Sent / Send, Sent / (Prepare + Send), StatusMb("VmHWM:"),
                PeakAnon, BaseRss, BaseAnon);
    return View.Completed && Sent == Records ? 0 : 1;
}
