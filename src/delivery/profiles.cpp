#include "delivery/profiles.h"

#include "store/storefile.h"

#include <QDir>
#include <QFileInfo>

namespace qf::delivery {

QString ProfileKey(const QString &Item, const QString &Name)
{
    return QStringLiteral("Pr~") + Item + QLatin1Char('~') + Name;
}

QString ProfileNameFromKey(const QString &Key)
{
    return Key.mid(Key.lastIndexOf(QLatin1Char('~')) + 1);
}

QString ProfileFileName(const QString &ProfDir, const QString &DefaultDir, QString *Warning)
{
    QString Dir = ProfDir;
    if (Dir.endsWith(QLatin1Char('/')) || Dir.endsWith(QLatin1Char('\\')))
        Dir.chop(1);
    if (!Dir.isEmpty() && QFileInfo(Dir).isDir())
        return Dir + QLatin1Char('/') + ProfileFileBaseName;
    QString Default = DefaultDir;
    if (!Default.isEmpty() && !Default.endsWith(QLatin1Char('/')))
        Default += QLatin1Char('/');
    if (Warning && !Dir.isEmpty())
        *Warning = QStringLiteral("The folder \"%1\" of \"Path of Profiles\" does not exist. The "
                                  "profiles are read from and saved to \"%2\".")
                       .arg(Dir, QDir::toNativeSeparators(Default + ProfileFileBaseName));
    return Default + ProfileFileBaseName;
}

TProfiles::TProfiles()
{
    DList1.Separator = '_';
    DList1.OnDisposeStructure = [](store::TDList *, int Structure, void *Properties) {
        if (Structure == ProfileStructure)
            delete static_cast<QString *>(Properties);
    };
    DList1.OnLoadStructure = [](store::TDList *, int Structure, void *&Properties,
                                store::TFileHandle &H, int) {
        if (Structure == ProfileStructure)
            Properties = new QString(store::FileReadQStr(H));
    };
    DList1.OnSaveStructure = [](store::TDList *, int Structure, void *Properties,
                                store::TFileHandle &H, int) {
        if (Structure == ProfileStructure)
            store::FileWriteStr(H, Properties ? *static_cast<QString *>(Properties) : QString());
    };
}

bool TProfiles::Load(const QString &FileName, QString *Message)
{
    DList1.Clear();
    if (!QFileInfo::exists(FileName))
        return true;
    QString Error;
    if (DList1.LoadFromFile(FileName, ProfileFileFormat, &Error))
        return true;
    if (Message)
        *Message = Error;
    return false;
}

bool TProfiles::Save(const QString &FileName, QString *Error)
{
    DList1.SetRange(std::string(), 0, 2);
    return DList1.SaveToFile(FileName, ProfileFileFormat, Error);
}

QStringList TProfiles::Names()
{
    QStringList List;
    DList1.SetRange(ProfileKey(ProfileItems[0], QString()), 0, 0);
    for (bool Ok = DList1.First(); Ok; Ok = DList1.Next()) {
        std::string Key;
        DList1.GetKey(Key);
        List << ProfileNameFromKey(QString::fromStdString(Key));
    }
    return List;
}

void TProfiles::AddProfile(const QString &Name)
{
    int Structure = 0;
    void *Properties = nullptr;
    if (DList1.Find(ProfileKey(ProfileItems[0], Name), Structure, Properties))
        return;
    for (const QString &Item : ProfileItems)
        DList1.Add(ProfileKey(Item, Name), ProfileStructure,
                   new QString(Item == QLatin1String("Port") ? QStringLiteral("25") : QString()));
}

void TProfiles::DeleteProfile(const QString &Name)
{
    for (const QString &Item : ProfileItems)
        DList1.Delete(ProfileKey(Item, Name));
}

bool TProfiles::Value(const QString &Item, const QString &Name, QString &Value) const
{
    int Structure = 0;
    void *Properties = nullptr;
    if (!DList1.Find(ProfileKey(Item, Name), Structure, Properties) ||
        Structure != ProfileStructure || !Properties)
        return false;
    Value = *static_cast<QString *>(Properties);
    return true;
}

bool TProfiles::SetValue(const QString &Item, const QString &Name, const QString &Value)
{
    int Structure = 0;
    void *Properties = nullptr;
    if (!DList1.Find(ProfileKey(Item, Name), Structure, Properties) ||
        Structure != ProfileStructure || !Properties)
        return false;
    *static_cast<QString *>(Properties) = Value;
    return true;
}

bool TProfiles::LoadSelectedProfile(const QString &Name, TSenderProfile &Profile) const
{
    QString *Fields[] = {&Profile.FSmtpHost,   &Profile.FSmtpPort,      &Profile.FSmtpUser,
                         &Profile.FSenderName, &Profile.FSenderAddress, &Profile.FReplyAddress};
    for (size_t I = 0; I < ProfileItems.size(); ++I) {
        Fields[I]->clear();
        Value(ProfileItems[I], Name, *Fields[I]);
    }
    // The reply address may be empty.
    for (size_t I = 0; I + 1 < ProfileItems.size(); ++I)
        if (Fields[I]->isEmpty())
            return false;
    return true;
}

} // namespace qf::delivery
