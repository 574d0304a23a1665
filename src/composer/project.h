#pragma once
// The mail project: the project store with the payloads of its items (see projectitems.h), the
// message settings and their defaults, the project file (New, Open, Save, Save As), the change
// state with the "Save Project?" question, and the files named on the command line. It knows no
// widgets: the window binds the hooks below to its controls and dialogs; tests bind them to
// plain values.
//
// Changes are found by comparing hashes of the texts, so an edit that keeps a byte sum (two
// characters swapped) is still a change. A project file that cannot be written is reported, the
// previous file stays as it was and the project stays changed; a file that cannot be read whole
// opens as far as it is whole, with a message.

#include "store/dlist.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

namespace qf::composer {

// The HTML source of a new project (CR LF line breaks).
extern const QString DefaultDocument;
constexpr int CharsetCount = 19;
constexpr int DefaultCharsetIndex = 15; // "User Defined"

// The values of the items "FText" .. "Charset", as the controls hold them.
struct TMessageSettings {
    QString FText;
    bool UseF = false;
    QString Doc = DefaultDocument;
    QString From;
    uint8_t SubMail = 4; // 0 plain text, 4 HTML
    QString Subject;
    QString ToAddr;
    QString Plain;
    int Charset = DefaultCharsetIndex;

    bool operator==(const TMessageSettings &) const = default;
};

enum TSaveAnswer { saYes, saNo, saCancel };

// The files named on the command line: the first project (".qfx" or no extension), the first
// Access database (".mdb"), the first dBASE table (".dbf"); extensions compared without regard
// to case, names kept as given.
struct TCommandLine {
    QString Project, Database, Table;
};
TCommandLine ParseCommandLine(const QStringList &Arguments);

class TMailProject {
    std::unique_ptr<store::TDList> FOwnStore;
    bool FOwnModified = false;

public:
    // With a store and a change flag of its own.
    TMailProject();
    // Over the window's project store and change flag, which outlive it.
    TMailProject(store::TDList &Store, bool &Modified);
    ~TMailProject();
    TMailProject(const TMailProject &) = delete;
    TMailProject &operator=(const TMailProject &) = delete;

    // The project store ("~" separates levels); its save and load events are ours, and its
    // dispose event releases the items' data (unless the store has one already).
    store::TDList &DList1;

    QString ProjectFileName; // as chosen; empty for a new project
    QString MailDir;         // folder of the last opened or saved project, with a trailing "/"
    int CharsetIndex = DefaultCharsetIndex;
    bool &FModified; // the project changed
    // Hashes of the texts at the last reset; an empty document hash: none taken yet.
    QByteArray FDocChecksum, FSourceSum, FPlainSum;

    // The window's side. Unset hooks do nothing (or give the defaults).
    std::function<TMessageSettings()> GetMessageSettings;
    // Fills the controls in the items' order, runs the format's command, refills the To box
    // and selects its field.
    std::function<void(const TMessageSettings &Settings)> ApplyMessageSettings;
    std::function<int()> ReadDefaultCharset; // the "DefaultCharset" setting
    // The HTML editor's document; false while none is loaded.
    std::function<bool(QString &Html)> EditorDocument;
    std::function<QString()> SourceText, PlainText;
    // Before a file is written: the calculated field being edited is stored and the HTML
    // editor's pending changes are carried into the source.
    std::function<void()> BeforeSave;
    // The calculated-field list and the attachment list refilled from the store.
    std::function<void()> RefillLists;
    // After the settings were loaded: the profile list and the HTML editor's document.
    std::function<void()> AfterLoad;
    std::function<TSaveAnswer()> AskSaveProject;
    std::function<bool(QString &FileName)> ChooseOpenFile, ChooseSaveFile;
    std::function<void(const QString &Dir)> OnMailDirChanged; // stores "MailDir"
    std::function<void()> OnCaptionChanged;
    std::function<void(const QString &Message)> OnError;

    void StoreMessageSettings();
    // Reads the items, each with its default when missing, and applies them.
    TMessageSettings LoadMessageSettings();

    // Clears the store and loads the file; false, after a message, when it could not be read
    // whole (what was whole stays loaded).
    bool OpenMailFile(const QString &FileName);
    void ResetModified();
    bool IsModified();
    // The first display change of the HTML editor after a reset takes the document's hash.
    void TakeDocChecksum(const QString &DocumentHtml);

    // "Save Project?" when changed; false when the command is to stop.
    bool AskToSave();
    void NewProject();
    void OpenProject();
    // False when the project was not written (cancelled or failed).
    bool SaveProject();
    bool SaveProjectAs();
    // The close query: true when the window may close.
    bool CloseQuery();

    // Opens the project named on the command line; a missing one is reported and not bound.
    void OpenCommandLineProject(const QString &FileName);

    // ".qfx" added to a name without extension.
    static QString SaveTarget(const QString &FileName);
    static QByteArray TextHash(const QString &Text);

private:
    void saveStructure(int Structure, void *Properties, store::TFileHandle &H);
    void loadStructure(int Structure, void *&Properties, store::TFileHandle &H);
    static void disposeStructure(int Structure, void *Properties);
    void bindStore();
    bool writeFile(const QString &FileName);
    void error(const QString &Message) const;
    void call(const std::function<void()> &Hook) const
    {
        if (Hook)
            Hook();
    }
};

} // namespace qf::composer
