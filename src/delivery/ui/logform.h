#pragma once
// The "Log" window: shows the mailing log file, lets the user edit or clear the text, and
// saves it back over the file.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace qf::delivery {

class TLogForm : public QDialog {
    Q_OBJECT
public:
    explicit TLogForm(QWidget *Parent = nullptr);

    QPlainTextEdit *RxRichEdit1;
    QPushButton *Button1, *Button2, *Button3; // "Save", "Cancel", "Clear"
    QString FileName;                         // the log file

    void FormShow();
    void Button1Click();
    void Button2Click() { reject(); }
    void Button3Click();

protected:
    void showEvent(QShowEvent *Event) override;
};

inline TLogForm *LogForm = nullptr; // made once at start-up

} // namespace qf::delivery
