#pragma once
// GDAL's reader (ogrinfo of Debian's gdal-bin) as a second independent reader of the tables we
// write: one map of field name to value text per record; null fields are left out.

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

inline std::vector<QMap<QString, QString>> ReadWithOgrinfo(const QString &FileName)
{
    QProcess Ogr;
    Ogr.start(QStringLiteral("ogrinfo"), {QStringLiteral("-al"), QStringLiteral("-q"), FileName});
    if (!Ogr.waitForFinished(120000) || Ogr.exitCode() != 0) {
        ADD_FAILURE() << "ogrinfo failed on " << FileName.toStdString() << ": "
                      << Ogr.readAllStandardError().toStdString();
        return {};
    }
    std::vector<QMap<QString, QString>> Records;
    for (const QString &Line :
         QString::fromUtf8(Ogr.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (Line.startsWith(QLatin1String("OGRFeature("))) {
            Records.emplace_back();
            continue;
        }
        // "  NAME (String) = value"
        const qsizetype Type = Line.indexOf(QLatin1String(" ("));
        const qsizetype Equals = Line.indexOf(QLatin1String(") = "));
        if (Records.empty() || !Line.startsWith(QLatin1String("  ")) || Type < 0 || Equals < Type)
            continue;
        const QString Value = Line.mid(Equals + 4);
        if (Value != QLatin1String("(null)"))
            Records.back().insert(Line.mid(2, Type - 2), Value);
    }
    return Records;
}

// LibreOffice Calc's dBASE import (soffice of Debian's libreoffice-calc-nogui and
// libreoffice-base-drivers) as a third reader: each table converted to CSV, told its code page as
// the import dialog asks for it (Calc reads neither the header's byte nor a ".cpg"). Charset is
// LibreOffice's number of the code page (1 Windows-1252, 32 874, 33 to 40 1250 to 1258, 76
// UTF-8). The conversions run side by side, each in a profile of its own; the result per table
// is its rows after the header row, each a list of cell texts.
inline std::vector<std::vector<QStringList>>
ReadWithLibreOffice(const std::vector<std::pair<QString, int>> &Tables, const QString &WorkDir)
{
    const auto Start = [&](size_t i) {
        auto Run = std::make_unique<QProcess>();
        const QString Profile = WorkDir + QStringLiteral("/lo%1").arg(i);
        Run->start(QStringLiteral("soffice"),
                   {QStringLiteral("-env:UserInstallation=file://") + Profile,
                    QStringLiteral("--headless"), QStringLiteral("--norestore"),
                    QStringLiteral("--infilter=dBase:%1").arg(Tables[i].second),
                    QStringLiteral("--convert-to"),
                    QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                    QStringLiteral("--outdir"), Profile, Tables[i].first});
        return Run;
    };
    const auto CsvName = [&](size_t i) {
        return WorkDir + QStringLiteral("/lo%1/").arg(i) +
               QFileInfo(Tables[i].first).completeBaseName() + QStringLiteral(".csv");
    };
    const auto Converted = [&](QProcess &Run, size_t i) {
        return Run.waitForFinished(300000) && Run.exitStatus() == QProcess::NormalExit &&
               Run.exitCode() == 0 && QFileInfo::exists(CsvName(i));
    };
    std::vector<std::unique_ptr<QProcess>> Runs;
    for (size_t i = 0; i < Tables.size(); ++i)
        Runs.push_back(Start(i));
    std::vector<std::vector<QStringList>> Results;
    for (size_t i = 0; i < Tables.size(); ++i) {
        Results.emplace_back();
        // The office suite's first start on a new machine may fail on its own: one more try
        // before the reader counts as failed.
        if (!Converted(*Runs[i], i)) {
            Runs[i] = Start(i);
            if (!Converted(*Runs[i], i)) {
                ADD_FAILURE() << "soffice failed on " << Tables[i].first.toStdString() << ": "
                              << Runs[i]->readAllStandardError().toStdString();
                continue;
            }
        }
        QFile Csv(CsvName(i));
        if (!Csv.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "soffice wrote no CSV for " << Tables[i].first.toStdString();
            continue;
        }
        // Cells separated by commas, quoted when they hold a comma, a quote or a line break.
        const QString Text = QString::fromUtf8(Csv.readAll());
        std::vector<QStringList> Rows(1);
        QString Cell;
        bool Quoted = false;
        for (qsizetype p = 0; p < Text.size(); ++p) {
            const QChar c = Text[p];
            if (Quoted) {
                if (c == QLatin1Char('"') && p + 1 < Text.size() && Text[p + 1] == QLatin1Char('"'))
                    Cell += c, ++p;
                else if (c == QLatin1Char('"'))
                    Quoted = false;
                else
                    Cell += c;
            } else if (c == QLatin1Char('"')) {
                Quoted = true;
            } else if (c == QLatin1Char(',')) {
                Rows.back() << Cell, Cell.clear();
            } else if (c == QLatin1Char('\n')) {
                Rows.back() << Cell, Cell.clear();
                Rows.emplace_back();
            } else if (c != QLatin1Char('\r')) {
                Cell += c;
            }
        }
        if (!Cell.isEmpty() || !Rows.back().isEmpty())
            Rows.back() << Cell;
        if (Rows.back().isEmpty())
            Rows.pop_back();
        Rows.erase(Rows.begin()); // the field names
        Results.back() = std::move(Rows);
    }
    return Results;
}
