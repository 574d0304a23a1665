#pragma once
// Asks for one line of text (the name of a new calculated field, of a new sender
// profile). Callers set the caption, empty Edit1, show it modally and read Edit1.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qf::shell {

class TAddWordForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddWordForm(QWidget *Parent = nullptr);

    QLabel *Label1;
    QLineEdit *Edit1;
    QPushButton *OkButton;
    QPushButton *CancelButton;

    void FormShow();

protected:
    void showEvent(QShowEvent *Event) override;
};

inline TAddWordForm *AddWordForm = nullptr;

} // namespace qf::shell
