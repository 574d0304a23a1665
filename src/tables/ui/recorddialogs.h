#pragma once
// The small dialogs of the record commands: "Delete Record" asks before a record is deleted,
// "Find" asks for a field and a value. Both live for the whole program, so Find keeps its last
// field and value between uses.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qf::tables {

class TDelForm : public QDialog {
    Q_OBJECT
public:
    explicit TDelForm(QWidget *Parent = nullptr);
    QLabel *Label1;
    QCheckBox *CheckBox1; // "Do not perform this check"
    QPushButton *YesButton, *NoButton;

protected:
    void showEvent(QShowEvent *Event) override;
};

class TFindForm : public QDialog {
    Q_OBJECT
public:
    explicit TFindForm(QWidget *Parent = nullptr);
    QComboBox *FieldList; // "Field"
    QLineEdit *Edit1;     // "Value"
    QRadioButton *Exactly, *Including;
    QPushButton *OkButton, *CancelButton;

    // Refills the field list, selecting the remembered field again when it is offered; without
    // a selection the value is emptied.
    void SetFieldNames(const QStringList &Names);

protected:
    void showEvent(QShowEvent *Event) override;
};

} // namespace qf::tables
