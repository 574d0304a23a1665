#pragma once
// The "Options" dialog. It lives for the whole run; its controls hold the options in
// force, which the rest of the program reads from them.

#include "shell/settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace qf::shell {

// A line edit with a button that browses for a folder.
class TDirectoryEdit : public QWidget {
    Q_OBJECT
public:
    explicit TDirectoryEdit(QWidget *Parent = nullptr);
    QString text() const;
    void setText(const QString &Text);
    QLineEdit *Edit;
    QToolButton *Button;
signals:
    void textChanged(const QString &Text);
};

class TOptForm : public QDialog {
    Q_OBJECT
public:
    explicit TOptForm(QWidget *Parent = nullptr);

    QGroupBox *GroupBox1;
    QCheckBox *CheckBox1; // "Write Log"
    QCheckBox *CheckBox2; // "Confirmation of Deleting Records"
    QSpinBox *UpDown1;    // the number edit with its arrows; Edit1 is its text
    QLineEdit *Edit1;
    QComboBox *ComboBox1;           // "Default Charset"
    TDirectoryEdit *DirectoryEdit1; // "Path of Profiles"
    QPushButton *OkButton;
    QPushButton *CancelButton;

    std::uint8_t FLogChanged = 0;
    std::uint8_t FConfirmChanged = 0;
    std::uint8_t FThreadsChanged = 0;
    std::uint8_t FCharsetChanged = 0;
    std::uint8_t FProfDirChanged = 0;

    void FormCreate();
    void FormShow();
    // Reads the five options into the controls; false when the settings cannot be read.
    bool LoadOptions();

    TOptionValues Values() const;
    void SetValues(const TOptionValues &Values);
    unsigned ChangedFlags() const;

    // Options confirmed with OK that could not be stored yet; they stay in force
    // for this run and are written with the next OK that can write.
    unsigned UnsavedFlags() const { return FUnsavedFlags; }

    // Edit > "Options...": show modally, then store what changed or put the controls back.
    void Options1Click();
    void OptionsClosed(int Result);

protected:
    void showEvent(QShowEvent *Event) override;

private:
    TOptionValues FShownValues;
    unsigned FUnsavedFlags = 0;
};

inline TOptForm *OptForm = nullptr;

} // namespace qf::shell
