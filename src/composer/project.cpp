#include "composer/project.h"

#include "composer/projectitems.h"
#include "store/storefile.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace qf::composer {

const QString DefaultDocument =
    QStringLiteral("<HTML>\r\n<HEAD>\r\n<TITLE></TITLE>\r\n</HEAD>\r\n<BODY>\r\n<DIV>&nbsp;</"
                   "DIV>\r\n</BODY>\r\n</HTML>");

TCommandLine ParseCommandLine(const QStringList &Arguments)
{
    TCommandLine Result;
    for (const QString &Argument : Arguments) {
        const QString Ext = QFileInfo(Argument).suffix().toLower();
        if (Ext == QLatin1String("dbf")) {
            if (Result.Table.isEmpty())
                Result.Table = Argument;
        } else if (Ext == QLatin1String("mdb")) {
            if (Result.Database.isEmpty())
                Result.Database = Argument;
        } else if (Ext == QLatin1String("qfx") || Ext.isEmpty()) {
            if (Result.Project.isEmpty())
                Result.Project = Argument;
        }
    }
    return Result;
}

TMailProject::TMailProject()
    : FOwnStore(std::make_unique<store::TDList>()), DList1(*FOwnStore), FModified(FOwnModified)
{
    bindStore();
}

TMailProject::TMailProject(store::TDList &Store, bool &Modified)
    : DList1(Store), FModified(Modified)
{
    bindStore();
}

void TMailProject::bindStore()
{
    DList1.Separator = '~';
    DList1.OnSaveStructure = [this](store::TDList *, int Structure, void *Properties,
                                    store::TFileHandle &H,
                                    int) { saveStructure(Structure, Properties, H); };
    DList1.OnLoadStructure = [this](store::TDList *, int Structure, void *&Properties,
                                    store::TFileHandle &H,
                                    int) { loadStructure(Structure, Properties, H); };
    if (!DList1.OnDisposeStructure)
        DList1.OnDisposeStructure = [](store::TDList *, int Structure, void *Properties) {
            disposeStructure(Structure, Properties);
        };
}

TMailProject::~TMailProject()
{
    if (FOwnStore) {
        FOwnStore->Clear(); // while the dispose event still runs
    } else {
        DList1.OnSaveStructure = nullptr;
        DList1.OnLoadStructure = nullptr;
    }
}

void TMailProject::saveStructure(int Structure, void *Properties, store::TFileHandle &H)
{
    // Missing data is written as the kind's zero value, so that the file stays readable.
    switch (PayloadOfKind(Structure)) {
    case plInt32: H.WriteInt32(Properties ? *static_cast<int32_t *>(Properties) : 0); break;
    case plString:
        store::FileWriteStr(H, Properties ? *static_cast<QString *>(Properties) : QString());
        break;
    case plByte: {
        const uint8_t B = Properties ? *static_cast<uint8_t *>(Properties) : 0;
        H.Write(&B, 1);
        break;
    }
    case plNone: break;
    }
}

void TMailProject::loadStructure(int Structure, void *&Properties, store::TFileHandle &H)
{
    switch (PayloadOfKind(Structure)) {
    case plInt32: {
        int32_t V = 0;
        if (H.ReadInt32(V))
            Properties = new int32_t(V);
        break;
    }
    case plString: {
        QString S = store::FileReadQStr(H);
        if (!H.Damaged())
            Properties = new QString(std::move(S));
        break;
    }
    case plByte: {
        uint8_t B = 0;
        if (H.Read(&B, 1) == 1)
            Properties = new uint8_t(B);
        break;
    }
    case plNone: break;
    }
}

void TMailProject::disposeStructure(int Structure, void *Properties)
{
    switch (PayloadOfKind(Structure)) {
    case plInt32: delete static_cast<int32_t *>(Properties); break;
    case plString: delete static_cast<QString *>(Properties); break;
    case plByte: delete static_cast<uint8_t *>(Properties); break;
    case plNone: break;
    }
}

void TMailProject::error(const QString &Message) const
{
    if (OnError)
        OnError(Message);
}

void TMailProject::StoreMessageSettings()
{
    const TMessageSettings S = GetMessageSettings ? GetMessageSettings() : TMessageSettings{};
    PutString(DList1, QString::fromLatin1(ItemFText), kindFText, S.FText);
    PutByte(DList1, QString::fromLatin1(ItemUseF), kindUseF, S.UseF ? 1 : 0);
    PutString(DList1, QString::fromLatin1(ItemDoc), kindDoc, S.Doc);
    PutString(DList1, QString::fromLatin1(ItemFrom), kindFrom, S.From);
    PutByte(DList1, QString::fromLatin1(ItemSubMail), kindSubMail, S.SubMail);
    PutString(DList1, QString::fromLatin1(ItemSubject), kindSubject, S.Subject);
    PutString(DList1, QString::fromLatin1(ItemToAddr), kindToAddr, S.ToAddr);
    PutString(DList1, QString::fromLatin1(ItemPlain), kindPlain, S.Plain);
    PutInt32(DList1, QString::fromLatin1(ItemCharset), kindCharset, CharsetIndex);
}

TMessageSettings TMailProject::LoadMessageSettings()
{
    TMessageSettings S;
    auto Key = [](const char *Name) { return QString::fromLatin1(Name); };
    GetString(DList1, Key(ItemFText), S.FText);
    uint8_t B = 0;
    if (GetByte(DList1, Key(ItemUseF), B))
        S.UseF = B != 0;
    GetString(DList1, Key(ItemDoc), S.Doc);
    GetString(DList1, Key(ItemFrom), S.From);
    GetByte(DList1, Key(ItemSubMail), S.SubMail);
    GetString(DList1, Key(ItemSubject), S.Subject);
    GetString(DList1, Key(ItemToAddr), S.ToAddr);
    GetString(DList1, Key(ItemPlain), S.Plain);
    int32_t Charset = -1;
    // A row outside the table (a damaged or foreign file) counts as missing.
    if (!GetInt32(DList1, Key(ItemCharset), Charset) || Charset < 0 || Charset >= CharsetCount) {
        Charset = ReadDefaultCharset ? ReadDefaultCharset() : DefaultCharsetIndex;
        if (Charset < 0 || Charset >= CharsetCount)
            Charset = DefaultCharsetIndex;
    }
    S.Charset = Charset;
    CharsetIndex = Charset;
    if (ApplyMessageSettings)
        ApplyMessageSettings(S);
    call(OnCaptionChanged);
    return S;
}

QByteArray TMailProject::TextHash(const QString &Text)
{
    return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char *>(Text.constData()),
                                                   Text.size() * qsizetype(sizeof(QChar))),
                                    QCryptographicHash::Sha256);
}

void TMailProject::ResetModified()
{
    FModified = false;
    FDocChecksum.clear();
    FSourceSum = TextHash(SourceText ? SourceText() : QString());
    FPlainSum = TextHash(PlainText ? PlainText() : QString());
}

void TMailProject::TakeDocChecksum(const QString &DocumentHtml)
{
    if (FDocChecksum.isEmpty())
        FDocChecksum = TextHash(DocumentHtml);
}

bool TMailProject::IsModified()
{
    if (FModified)
        return true;
    QString Doc;
    if (!FDocChecksum.isEmpty() && EditorDocument && EditorDocument(Doc) &&
        TextHash(Doc) != FDocChecksum) {
        FModified = true;
        return true;
    }
    if (TextHash(SourceText ? SourceText() : QString()) == FSourceSum &&
        TextHash(PlainText ? PlainText() : QString()) == FPlainSum)
        return false;
    FModified = true;
    return true;
}

bool TMailProject::AskToSave()
{
    if (!IsModified())
        return true;
    switch (AskSaveProject ? AskSaveProject() : saCancel) {
    case saCancel: return false;
    case saNo: return true;
    case saYes: SaveProject(); return !FModified;
    }
    return false;
}

void TMailProject::NewProject()
{
    if (!AskToSave())
        return;
    ProjectFileName.clear();
    DList1.Clear();
    call(RefillLists);
    LoadMessageSettings();
    call(AfterLoad);
    ResetModified();
}

void TMailProject::OpenProject()
{
    QString FileName;
    if (!ChooseOpenFile || !ChooseOpenFile(FileName) || FileName.isEmpty())
        return;
    if (!AskToSave())
        return;
    OpenMailFile(FileName);
    ResetModified();
}

bool TMailProject::OpenMailFile(const QString &FileName)
{
    MailDir = QFileInfo(FileName).absolutePath() + QLatin1Char('/');
    if (OnMailDirChanged)
        OnMailDirChanged(MailDir);
    ProjectFileName = FileName;
    DList1.Clear();
    QString Error;
    const bool Loaded = DList1.LoadFromFile(FileName, 1, &Error);
    call(RefillLists);
    LoadMessageSettings();
    call(AfterLoad);
    if (!Loaded)
        error(
            QStringLiteral("The project \"%1\" could not be read completely: %2\n"
                           "What could be read is shown; saving writes the project anew and keeps "
                           "the file as it was under \"Backup of %3\".")
                .arg(FileName, Error, QFileInfo(FileName).fileName()));
    return Loaded;
}

QString TMailProject::SaveTarget(const QString &FileName)
{
    return QFileInfo(FileName).suffix().isEmpty() ? FileName + QStringLiteral(".qfx") : FileName;
}

bool TMailProject::writeFile(const QString &FileName)
{
    StoreMessageSettings();
    DList1.SetRange(std::string(), 0, 2);
    // Every item goes to the file whatever the store's filter event collects at the moment.
    auto Filter = std::move(DList1.OnFilter);
    DList1.OnFilter = nullptr;
    QString Error;
    const bool Saved = DList1.SaveToFile(SaveTarget(FileName), 1, &Error);
    DList1.OnFilter = std::move(Filter);
    if (!Saved) {
        error(QStringLiteral("The project could not be saved: %1\nThe previous file is unchanged.")
                  .arg(Error));
        return false;
    }
    ResetModified();
    return true;
}

bool TMailProject::SaveProject()
{
    if (ProjectFileName.isEmpty())
        return SaveProjectAs();
    call(BeforeSave);
    return writeFile(ProjectFileName);
}

bool TMailProject::SaveProjectAs()
{
    QString FileName = ProjectFileName;
    if (!ChooseSaveFile || !ChooseSaveFile(FileName) || FileName.isEmpty())
        return false;
    call(BeforeSave);
    const QString Previous = ProjectFileName;
    MailDir = QFileInfo(FileName).absolutePath() + QLatin1Char('/');
    if (OnMailDirChanged)
        OnMailDirChanged(MailDir);
    ProjectFileName = FileName;
    if (!writeFile(FileName)) {
        ProjectFileName = Previous; // the project is not bound to a file it never wrote
        return false;
    }
    call(OnCaptionChanged);
    return true;
}

bool TMailProject::CloseQuery()
{
    if (!AskToSave())
        return false;
    ResetModified();
    return true;
}

void TMailProject::OpenCommandLineProject(const QString &FileName)
{
    const QFileInfo Info(FileName);
    if (!Info.isFile()) {
        error(Info.exists()
                  ? QStringLiteral("The project \"%1\" named on the command line is no file.")
                        .arg(FileName)
                  : QStringLiteral("The project \"%1\" named on the command line does not exist.")
                        .arg(FileName));
        return;
    }
    OpenMailFile(FileName);
    ResetModified();
}

} // namespace qf::composer
