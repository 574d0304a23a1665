#pragma once
// The restructure dialog and its two helpers: the field list of a dBASE table to be written
// (built from the open table, or empty to create one) edited in its own copy, the field dialog with
// its checks, and the copy options asked when records are copied. "Save As..." writes the list as
// a table and opens it in the workspace; nothing changes the open table before that.

#include "tables/restructure.h"
#include "tables/saveas.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace qf::tables {

class TTableWorkspace;

class TEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditForm(QWidget *Parent = nullptr);

    QLineEdit *Edit1;     // "Name"
    QComboBox *ComboBox1; // "Type": the index is the kind
    QLineEdit *Edit2;     // "Size"
    QPushButton *OkBtn, *CancelBtn;
    uint8_t FAddMode = 0;

    // Set before each show: the list and the row of the field being edited or added.
    TRestructure *FList = nullptr;
    int FIndex = -1;

    void FillEditFields();
    bool IsUniqueFieldName(const QString &Name) const;

protected:
    void showEvent(QShowEvent *Event) override; // FormShow
    void done(int Result) override;             // FormCloseQuery on OK
};

class TCopyOptForm : public QDialog {
    Q_OBJECT
public:
    explicit TCopyOptForm(QWidget *Parent = nullptr);

    QCheckBox *CheckBox1; // "Copy Data"
    QCheckBox *CheckBox2; // "Copy Only Filtered Records"
    QCheckBox *CheckBox3; // "Copy by Sorted Sequence"
    QPushButton *OkBtn;

    // The main window's state, set before each show.
    bool MainFiltered = false;
    bool MainSorted = false;

    void UpdateCopyOptions();

protected:
    void showEvent(QShowEvent *Event) override; // FormShow
    void reject() override {}                   // no close box: only "Ok" closes it
};

class TRestructForm : public QDialog {
    Q_OBJECT
public:
    TRestructForm(TTableWorkspace &Workspace, QWidget *Parent = nullptr);

    QTableWidget *StringGrid1;
    // Add, Edit, Delete, Save As..., Close; the arrows up and down.
    QPushButton *Button1, *Button2, *Button4, *Button3, *CloseBtn;
    QToolButton *SpeedButton1, *SpeedButton2;
    TEditForm *EditForm;
    TCopyOptForm *CopyOptForm;

    TRestructure List; // FFieldDefs and FCreateMode
    TSaveAsFlow Flow;  // the copy's filter hooks are the main window's

    // Caption and mode as the menu commands set them, then shown modally.
    int Execute(const QString &Caption, uint8_t CreateMode);

    void Button1Click();
    void Button2Click();
    void StringGrid1DblClick() { Button2Click(); }
    void Button4Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void Button3Click();
    void CloseBtnClick() { reject(); }
    void BuildFieldDefs();
    void FillFieldGrid();
    void FreeFieldDefs() { List.FreeFieldDefs(); }
    void ApplyEdit();

protected:
    void showEvent(QShowEvent *Event) override; // FormShow
    void done(int Result) override;             // FormClose

private:
    int SelectedRow() const;
    void SelectRow(int Row);

    TTableWorkspace &FWorkspace;
};

} // namespace qf::tables
