#pragma once
// The "Profiles" dialog: lists the sender profiles, adds, deletes and edits them, and fills the
// main window's profile list. It loads the profile file each time it is shown (and once at
// start-up without showing) and writes it when it closes after a change; a file that cannot
// be written is reported and the previous one kept. The dialog names the file it uses.

#include "delivery/profiles.h"

#include <QDialog>
#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qf::store {
class TReader;
} // namespace qf::store

namespace qf::delivery {

class TProForm : public QDialog {
    Q_OBJECT
public:
    explicit TProForm(QWidget *Parent = nullptr);
    ~TProForm() override;

    QListWidget *ListBox1;
    std::array<QLineEdit *, 6> Edits; // Edit1 .. Edit6, in the order of ProfileItems
    std::array<QLabel *, 6> Labels;
    QPushButton *Button1, *Button2, *Button3; // "Add...", "Delete", "Close"
    QLabel *FileLabel; // which profile file is in use, said when the dialog opens

    TProfiles Profiles;
    bool FChanged = false;

    // Set by the main window.
    QComboBox *MainProfileList = nullptr; // the Mail page's "From" list
    std::function<QString()> FromProfile; // the project's profile name
    // Where "Profiles.dat" is, asked afresh; Warning (when given) gets what the user is to be
    // told about the place.
    std::function<QString(QString *Warning)> ProfileFile;
    // The one-line input dialog: false when cancelled.
    std::function<bool(const QString &Caption, QString &Text)> InputName;
    const store::TReader *Reader = nullptr; // its delimiters are not allowed in names

    void FormShow();
    void RefreshProfiles();
    void ShowProfile();
    void ListBox1Click() { ShowProfile(); }
    void Button1Click();
    void Button2Click();
    void Button3Click() { close(); }
    void FormClose();
    void EditExit(int Index);

    void done(int Result) override;

protected:
    void showEvent(QShowEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    QString SelectedName() const;
    bool ValidName(const QString &Text) const;

    std::unique_ptr<store::TReader> FOwnReader;
    QString FLoadMessage;
};

inline TProForm *ProForm = nullptr; // made once at start-up

} // namespace qf::delivery
