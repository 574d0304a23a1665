#pragma once
// The "Filter" page: the filter expression and the "Use Filter" switch. Neither touches the open
// table; the workspace reads them at the next opening. The window binds the modified hook.

#include <QWidget>
#include <functional>

class QCheckBox;
class QPlainTextEdit;

namespace qf::tables {

class TFilterPage : public QWidget {
    Q_OBJECT
public:
    explicit TFilterPage(QWidget *Parent = nullptr);

    QPlainTextEdit *Memo1;
    QCheckBox *CheckBox1; // "Use Filter"

    std::function<void()> OnModified;

    QString FilterText() const;
    bool UseFilter() const;
    // The memo enabled and focused, its caret after the character at the 1-based Place.
    void ShowErrorPlace(int Place);
};

} // namespace qf::tables
