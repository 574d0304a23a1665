#pragma once
// GDAL's reader (ogrinfo of Debian's gdal-bin) as a second independent reader of the tables we
// write: one map of field name to value text per record; null fields are left out.

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
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
