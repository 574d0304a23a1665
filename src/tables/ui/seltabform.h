#pragma once
// The table picker of an Access database: a list of its tables, "Select" enabled exactly while
// an entry is selected, a double click selecting at once.

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace qf::tables {

class TSelTabForm : public QDialog {
    Q_OBJECT
public:
    explicit TSelTabForm(QWidget *Parent = nullptr);

    QListWidget *ListBox1;
    QPushButton *Select, *Cancel;

    // Shows the picker over Names; true with Chosen set when an entry was selected.
    bool Pick(const QStringList &Names, QString &Chosen);

protected:
    void showEvent(QShowEvent *Event) override;

private:
    void UpdateSelect();
};

} // namespace qf::tables
