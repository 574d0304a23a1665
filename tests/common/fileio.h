#pragma once
// Whole files in and out, for tests that look at the bytes.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace qftest {

inline QByteArray ReadFile(const QString &Name)
{
    QFile F(Name);
    return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

inline bool WriteFile(const QString &Name, const QByteArray &Bytes)
{
    QFile F(Name);
    return F.open(QIODevice::WriteOnly | QIODevice::Truncate) && F.write(Bytes) == Bytes.size();
}

} // namespace qftest
