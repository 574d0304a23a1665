#pragma once
// The "Calculated Fields" page: the names in the store's key order beside the selected field's
// expression and its type, with Add and Delete. Every change goes to the project store through
// TCalcFields: the type at once, the expression when the memo loses the focus (or Memo2Exit is
// called, as the project save does). The window binds the hooks: the name dialog, message boxes,
// the project's modified flag and the edit-command refresh.

#include "tables/calc/calcfields.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace qf::tables {

class TCalcFieldPage : public QWidget {
    Q_OBJECT
public:
    TCalcFieldPage(TCalcFields &Fields, QWidget *Parent = nullptr);

    QListWidget *ListBox1;
    QPlainTextEdit *Memo2;
    QComboBox *ComboBox1;
    QPushButton *Button8;  // "Add"
    QPushButton *Button14; // "Delete"

    bool FExprChanged = false;

    // Asks for a name in the one-line input dialog captioned Caption; true with Text on OK.
    std::function<bool(const QString &Caption, QString &Text)> AskName;
    std::function<void(const QString &Text)> ShowError; // error icon, OK
    std::function<void(const QString &Text)> ShowInfo;  // information icon, OK
    std::function<void()> OnModified;                   // the project changed
    std::function<void()> OnEditCommands;               // refresh of the edit commands
    std::function<void()> OnMemoExit;                   // the format commands follow the focus

    void RefreshCalcFieldList();
    void UpdateCalcFieldControls();
    void Button8Click();
    void Button14Click();
    void ListBox1Click();
    void Memo2Change();
    void Memo2Exit();
    void ComboBox1Change();
    // The selected name, empty without a selection.
    QString Selected() const;

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void ShowSelected();
    TCalcFields &FFields;
    bool FFilling = false; // selection changes made here are no clicks
};

} // namespace qf::tables
