#include "shell/settings.h"

#include "shell/globals.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace qf::shell {

namespace {

const QString Organization = QStringLiteral("Tembrook");
const QString Application = QStringLiteral("Quillfast 2.0");
const QString Group = QStringLiteral("2.0");

bool SaveOneString(const QString &Name, const QString &Value)
{
    TSettingsKey Key;
    if (!Key.Opened())
        return false;
    Key.WriteString(Name, Value);
    return Key.Close();
}

} // namespace

TSettingsKey::TSettingsKey()
    : FSettings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            Organization, Application))
{
    // The key is opened with create: its folder must exist or be made, and be readable.
    // A damaged file still opens: what can be parsed is read, the rest gives defaults.
    const QString Folder = QFileInfo(FSettings->fileName()).absolutePath();
    FOpened = FSettings->status() != QSettings::AccessError && QDir().mkpath(Folder) &&
              QFileInfo(Folder).isReadable() && QFileInfo(Folder).isExecutable();
    FSettings->beginGroup(Group);
}

TSettingsKey::~TSettingsKey() { Close(); }

QString TSettingsKey::FileName()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, Organization, Application)
        .fileName();
}

bool TSettingsKey::ReadIntegerText(const QString &Name, int &Value) const
{
    if (!FOpened)
        return false;
    const QVariant V = FSettings->value(Name);
    if (V.typeId() != QMetaType::QString && V.typeId() != QMetaType::Int)
        return false;
    bool Ok = false;
    const int N = V.toString().trimmed().toInt(&Ok);
    if (Ok)
        Value = N;
    return Ok;
}

bool TSettingsKey::ReadBool(const QString &Name, bool Default) const
{
    int N = 0;
    return ReadIntegerText(Name, N) ? N != 0 : Default;
}

int TSettingsKey::ReadInteger(const QString &Name, int Default) const
{
    int N = 0;
    return ReadIntegerText(Name, N) ? N : Default;
}

QString TSettingsKey::ReadString(const QString &Name, const QString &Default) const
{
    if (!FOpened)
        return Default;
    const QVariant V = FSettings->value(Name);
    return V.typeId() == QMetaType::QString ? V.toString() : Default;
}

void TSettingsKey::WriteBool(const QString &Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }

void TSettingsKey::WriteInteger(const QString &Name, int Value)
{
    FSettings->setValue(Name, Value);
    FWritten = true;
}

void TSettingsKey::WriteString(const QString &Name, const QString &Value)
{
    FSettings->setValue(Name, Value);
    FWritten = true;
}

bool TSettingsKey::Close()
{
    if (FClosed)
        return true;
    FClosed = true;
    if (!FWritten)
        return true;
    // The file is replaced atomically, so a failed write leaves the stored values intact.
    // What could not be written may linger in QSettings' cache for this run; callers
    // that must store it write it again (the options dialog does).
    FSettings->sync();
    return FSettings->status() == QSettings::NoError;
}

bool ReadOptionValues(TOptionValues &Values)
{
    TSettingsKey Key;
    if (!Key.Opened())
        return false;
    Values.WriteLog = Key.ReadBool(QStringLiteral("WriteLog"), false);
    Values.ConfirmDel = Key.ReadBool(QStringLiteral("ConfirmDel"), false);
    Values.Threads = std::clamp(Key.ReadInteger(QStringLiteral("Threads"), DefaultThreads),
                                MinThreads, MaxThreads);
    const int Charset = Key.ReadInteger(QStringLiteral("DefaultCharset"), DefaultCharsetRow);
    Values.DefaultCharset = Charset >= 0 && Charset <= 18 ? Charset : DefaultCharsetRow;
    Values.ProfDir = Key.ReadString(QStringLiteral("ProfDir"), QString());
    return true;
}

bool WriteOptionValues(const TOptionValues &Values, unsigned Flags)
{
    if (Flags == 0)
        return true;
    TSettingsKey Key;
    if (!Key.Opened())
        return false;
    if (Flags & ofWriteLog)
        Key.WriteBool(QStringLiteral("WriteLog"), Values.WriteLog);
    if (Flags & ofConfirmDel)
        Key.WriteBool(QStringLiteral("ConfirmDel"), Values.ConfirmDel);
    if (Flags & ofThreads)
        Key.WriteInteger(QStringLiteral("Threads"), Values.Threads);
    if ((Flags & ofDefaultCharset) && Values.DefaultCharset >= 0)
        Key.WriteInteger(QStringLiteral("DefaultCharset"), Values.DefaultCharset);
    if (Flags & ofProfDir)
        Key.WriteString(QStringLiteral("ProfDir"), Values.ProfDir);
    return Key.Close();
}

bool LoadDirSettings()
{
    TSettingsKey Key;
    if (!Key.Opened())
        return false;
    DataBaseDir = Key.ReadString(QStringLiteral("DataBaseDir"), QString());
    MailDir = Key.ReadString(QStringLiteral("MailDir"), QString());
    SQLFileDir = Key.ReadString(QStringLiteral("SQLFileDir"), QString());
    SQLDataBase = Key.ReadString(QStringLiteral("SQLDataBase"), QString());
    return true;
}

bool SaveDataBaseDir() { return SaveOneString(QStringLiteral("DataBaseDir"), DataBaseDir); }
bool SaveMailDir() { return SaveOneString(QStringLiteral("MailDir"), MailDir); }
bool SaveSQLFileDir() { return SaveOneString(QStringLiteral("SQLFileDir"), SQLFileDir); }
bool SaveSQLDataBase() { return SaveOneString(QStringLiteral("SQLDataBase"), SQLDataBase); }

} // namespace qf::shell
