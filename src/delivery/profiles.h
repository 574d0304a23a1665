#pragma once
// Sender profiles: named SMTP accounts kept in one keyed store, six string items a profile
// ("Pr~Host~" + NAME and so on, Structure 7), read from and written to "Profiles.dat". The
// store is what the profiles dialog edits and what a mailing copies its account from. No
// password is kept.

#include "store/dlist.h"

#include <QString>
#include <QStringList>
#include <array>

namespace qf::delivery {

inline constexpr int ProfileStructure = 7;
inline constexpr int ProfileFileFormat = 1;
inline const QString ProfileFileBaseName = QStringLiteral("Profiles.dat");

// The six items in the order of the dialog's edits: server, port, user id, sender name,
// sender address, reply address.
inline const std::array<QString, 6> ProfileItems = {
    QStringLiteral("Host"), QStringLiteral("Port"), QStringLiteral("User"),
    QStringLiteral("Name"), QStringLiteral("Addr"), QStringLiteral("RepAddr")};

// "Pr~" + Item + "~" + Name.
QString ProfileKey(const QString &Item, const QString &Name);
// The text after the last "~" of a key.
QString ProfileNameFromKey(const QString &Key);
// Where the profile file is: the folder ProfDir names (one trailing "/" or "\" dropped) when it
// exists, else DefaultDir (the per-user data folder here, not the program's folder). A ProfDir
// that names no folder leaves in Warning what the user is to be told.
QString ProfileFileName(const QString &ProfDir, const QString &DefaultDir,
                        QString *Warning = nullptr);

// A copy of one profile, as a mailing takes it.
struct TSenderProfile {
    QString FSmtpHost, FSmtpPort, FSmtpUser, FSenderName, FSenderAddress, FReplyAddress;
};

class TProfiles {
public:
    TProfiles();
    TProfiles(const TProfiles &) = delete;
    TProfiles &operator=(const TProfiles &) = delete;

    store::TDList DList1;

    // Empties the store and reads the file. A missing file loads nothing and is no error; an
    // unreadable one leaves the store empty, a damaged one loads its whole entries; both
    // return false with a message.
    bool Load(const QString &FileName, QString *Message = nullptr);
    // Writes every profile; on failure the previous file stays and Error says why.
    bool Save(const QString &FileName, QString *Error = nullptr);

    // The profile names in key order.
    QStringList Names();
    // Adds the six items of Name (upper case) with port "25"; nothing when it exists.
    void AddProfile(const QString &Name);
    void DeleteProfile(const QString &Name);
    bool Value(const QString &Item, const QString &Name, QString &Value) const;
    // Sets an item that exists; false when it does not.
    bool SetValue(const QString &Item, const QString &Name, const QString &Value);

    // Copies the six items of Name (missing ones read empty). False when host, port, user id,
    // sender name or sender address is empty.
    bool LoadSelectedProfile(const QString &Name, TSenderProfile &Profile) const;
};

} // namespace qf::delivery
