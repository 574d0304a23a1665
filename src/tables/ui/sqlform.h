#pragma once
// The "Execute SQL" dialog: the database (an Access file or a dBASE folder), the statement, and
// loading and saving statements as .sql files; and the "Select Folder" dialog that picks a dBASE
// folder. Both live for the whole program, so the statement, kind and path stay between uses.
// The settings behind them belong to the window: it fills the two paths in and stores them
// when the hooks report a change.

#include <QDialog>
#include <functional>

class QComboBox;
class QFileDialog;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

namespace qf::tables {

class TSeldirForm : public QDialog {
    Q_OBJECT
public:
    explicit TSeldirForm(QWidget *Parent = nullptr);
    QComboBox *DriveComboBox1;
    QTreeView *DirectoryListBox1;
    QPushButton *OkButton, *CancelButton;

    QString Directory() const;
    void SetDirectory(const QString &Folder);

private:
    QFileSystemModel *FModel;
};

class TSQLForm : public QDialog {
    Q_OBJECT
public:
    explicit TSQLForm(QWidget *Parent = nullptr);

    QWidget *Panel1;
    QLabel *Label1;
    QComboBox *ComboBox1; // "Microsoft Access Database", "DBase Directory"
    QLineEdit *Edit1;
    QPushButton *BrowseButton;
    QPlainTextEdit *Memo1;
    QPushButton *ExecuteButton, *CancelButton, *LoadButton, *SaveButton;
    TSeldirForm *SeldirForm = nullptr; // made on the first Browse for a folder

    // The settings "SQLDataBase" and "SQLFileDir", as the window keeps them.
    QString SQLDataBase;
    QString SQLFileDir;
    std::function<void(const QString &Folder)> OnSQLFileDirChanged;
    // Shows a failure; a message box unless a test replaces it.
    std::function<void(const QString &Message)> OnError;

    void FormShow();
    void FormResize();
    void Button1Click(); // "Load..."
    void Button2Click(); // "Save As.."
    void Button3Click(); // "Browse"

protected:
    void showEvent(QShowEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;

private:
    void Fail(const QString &Message);
    void ChangeFileDir(const QString &FileName);
};

} // namespace qf::tables
