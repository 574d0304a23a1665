#pragma once
// "Select Charset": the message charsets in table order, one line each ("Arabic (Windows),
// windows-1256"), so that a line's row is the charset's index.

#include <QDialog>

class QListWidget;
class QPushButton;

namespace qf::composer {

class TCharSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TCharSetForm(QWidget *Parent = nullptr);

    QListWidget *ListBox1;
    QPushButton *OkBtn, *CancelBtn;

    // Shows the dialog with line Index selected; true with Index set when closed with "Ok".
    bool Execute(int &Index);

protected:
    void showEvent(QShowEvent *Event) override;

private:
    void UpdateOk();
};

} // namespace qf::composer
