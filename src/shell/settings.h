#pragma once
// The program's settings: an INI file in the user's config folder, organisation
// "Tembrook", application "Quillfast 2.0", group "2.0". Every access opens the
// file, reads or writes, and closes it again; nothing is kept open in between.

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace qf::shell {

// One access to the settings; the file is written when the object is closed.
class TSettingsKey {
public:
    TSettingsKey();
    ~TSettingsKey();
    TSettingsKey(const TSettingsKey &) = delete;
    TSettingsKey &operator=(const TSettingsKey &) = delete;

    // False when the settings folder cannot be made or read, or the file cannot be read.
    bool Opened() const { return FOpened; }

    // An absent value, or one stored as another type, gives Default.
    bool ReadBool(const QString &Name, bool Default) const;
    int ReadInteger(const QString &Name, int Default) const;
    QString ReadString(const QString &Name, const QString &Default) const;

    void WriteBool(const QString &Name, bool Value);
    void WriteInteger(const QString &Name, int Value);
    void WriteString(const QString &Name, const QString &Value);

    // Writes what changed to the file; true only when the file now holds it.
    bool Close();

    static QString FileName();

private:
    bool ReadIntegerText(const QString &Name, int &Value) const;

    std::unique_ptr<QSettings> FSettings;
    bool FOpened = false;
    bool FWritten = false;
    bool FClosed = false;
};

// The five options of the "Options" dialog, with their defaults.
struct TOptionValues {
    bool WriteLog = false;
    bool ConfirmDel = false;
    int Threads = 15;        // 1 to 100
    int DefaultCharset = 15; // a row of the charset table, 0 to 18; -1: none selected
    QString ProfDir;

    bool operator==(const TOptionValues &) const = default;
};

enum TOptionFlag : unsigned {
    ofWriteLog = 1,
    ofConfirmDel = 2,
    ofThreads = 4,
    ofDefaultCharset = 8,
    ofProfDir = 16,
};

constexpr int MinThreads = 1;
constexpr int MaxThreads = 100;
constexpr int DefaultThreads = 15;
constexpr int DefaultCharsetRow = 15;

// False, leaving Values as they were, when the settings cannot be read.
bool ReadOptionValues(TOptionValues &Values);
// Writes only the flagged values; true when they are stored.
bool WriteOptionValues(const TOptionValues &Values, unsigned Flags);

// The remembered folders and names, into and from the globals of the same names.
bool LoadDirSettings();
bool SaveDataBaseDir();
bool SaveMailDir();
bool SaveSQLFileDir();
bool SaveSQLDataBase();

} // namespace qf::shell
