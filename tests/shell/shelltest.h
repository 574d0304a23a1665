#pragma once
// Set-up shared by the main window's tests: the sample table and a sender profile.

#include "delivery/profiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

namespace qftest {

#ifdef QF_SAMPLE_DIR
// Copies the sample files Names into Folder; false when one could not be copied.
inline bool CopySamples(const QString &Folder, std::initializer_list<const char *> Names = {
                                                   "contacts.dbf", "contacts.dbt"})
{
    for (const char *Name : Names)
        if (!QFile::copy(QStringLiteral(QF_SAMPLE_DIR "/") + Name, Folder + "/" + Name))
            return false;
    return true;
}
#endif

// Writes the profile file with one complete profile Name sending to 127.0.0.1:Port; returns the
// file's path, empty when it could not be written.
inline QString SaveProfile(const QString &Name, const QString &Port)
{
    const QString Data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(Data);
    qf::delivery::TProfiles P;
    P.AddProfile(Name);
    for (const auto &[Item, Value] : {std::pair<const char *, QString>{"Host", "127.0.0.1"},
                                      {"Port", Port},
                                      {"User", "user"},
                                      {"Name", "Sender"},
                                      {"Addr", "sender@example.com"}})
        P.SetValue(Item, Name, Value);
    return P.Save(Data + "/Profiles.dat") ? Data + "/Profiles.dat" : QString();
}

} // namespace qftest
