#pragma once
// The record editor "Edit Record": one label and one editor per field of the open table, flowed
// across a scroll box, a record navigator, the buttons New, Delete, Apply, Restore and Close, and
// the record position in its status bar. It lives for the whole program and follows the
// workspace's dataset: its controls are built when a table opens and freed when it closes.
//
// Typed text stays in the editors until Apply writes it into the record and posts it; when the
// table refuses it, the message names the table and the editors keep what was typed. Moving to
// another record or closing the dialog first saves or asks, so nothing typed vanishes silently.

#include "tables/data/dataset.h"
#include "tables/fieldrecords.h"

#include <QDialog>
#include <QPointer>
#include <functional>
#include <set>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QToolButton;

namespace qf::tables {

class TTableWorkspace;

class TEditDB : public QDialog {
    Q_OBJECT
public:
    explicit TEditDB(TTableWorkspace &Workspace, QWidget *Parent = nullptr);
    ~TEditDB() override;

    QScrollArea *ScrollBox1;
    QToolButton *NavFirst, *NavPrior, *NavNext, *NavLast;
    QPushButton *NewButton, *DeleteButton, *ApplyButton, *RestoreButton, *CloseButton;
    QStatusBar *StatusBar1;
    QLabel *StatusPanel;
    QMenu *PopupMenu1;
    QAction *Template1, *Autocomplete1;

    // Per field, as the field records: the label and the editor (a QComboBox for C, N and D,
    // a QCheckBox for L, a QPlainTextEdit for M); property "Tag" holds the field index.
    std::vector<QLabel *> Labels;
    std::vector<QWidget *> Editors;
    QPointer<QWidget> FLastEditor;

    // The editor of the named field (case-insensitive), nullptr when there is none.
    QWidget *EditorOf(const QString &FieldName) const;
    // The editors holding text not yet written into the record.

    void UpdateEditRecordButtons();
    void FocusEditor();
    void LayOut();
    // The combo boxes' items after the pick lists changed (a post, a layout file).
    void RefreshPickLists();

    // The buttons. ApplyClick is false when the record could not be saved.
    bool ApplyClick();
    void RestoreClick();
    void NewClick();
    void DeleteClick();

    // The field records' Delete command (the window's DeleteCurrentRecord).
    std::function<void()> OnDelete;
    // Shows a failure; a message box unless a test replaces it.
    std::function<void(const QString &Message)> OnError;

public slots:
    void done(int Result) override;

protected:
    void resizeEvent(QResizeEvent *Event) override;
    void showEvent(QShowEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void Build();
    void Clear();
    QStringList FieldNames() const;
    void LoadValues();
    void WriteTypedValues();
    bool SaveTypedValues();
    void Typed(int Field);
    void Navigate(const std::function<void()> &Move);
    void ShowPopup(QWidget *Editor, const QPoint &Pos);
    void Fail(const QString &Message);
    QString EditorText(int Field) const;
    // Characters the field's box shows: its editor width, and for numbers and dates the widest
    // value the field can hold.
    int BoxChars(int Field) const;
    TFieldEditInfo *Info(int Field) const;

    TTableWorkspace &FWs;
    TDataSource *FDataSource;
    std::set<int> FDirty;
    QStringList FBuiltNames;
    bool FLoading = false;
    bool FReadOnlyReported = false;
};

} // namespace qf::tables
