#include "tables/ui/calcfieldpage.h"

#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace qf::tables {

TCalcFieldPage::TCalcFieldPage(TCalcFields &Fields, QWidget *Parent)
    : QWidget(Parent), FFields(Fields)
{
    setObjectName(QStringLiteral("CalcFieldPage"));
    auto *Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    auto *Splitter = new QSplitter(Qt::Horizontal, this);
    ListBox1 = new QListWidget(Splitter);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    auto *Right = new QWidget(Splitter);
    auto *RightLayout = new QVBoxLayout(Right);
    RightLayout->setContentsMargins(0, 0, 0, 0);
    auto *Header = new QLabel(QStringLiteral("Expression"), Right);
    Header->setFrameShape(QFrame::Panel);
    Header->setAlignment(Qt::AlignCenter);
    RightLayout->addWidget(Header);
    Memo2 = new QPlainTextEdit(Right);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    QFont Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    Fixed.setPixelSize(15);
    Memo2->setFont(Fixed);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RightLayout->addWidget(Memo2, 1);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({160, 400});
    Layout->addWidget(Splitter, 1);

    auto *Row = new QHBoxLayout;
    Row->setContentsMargins(6, 4, 6, 4);
    Button8 = new QPushButton(QStringLiteral("Add"), this);
    Button8->setObjectName(QStringLiteral("Button8"));
    Button14 = new QPushButton(QStringLiteral("Delete"), this);
    Button14->setObjectName(QStringLiteral("Button14"));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("Integer"), QStringLiteral("Float"),
                         QStringLiteral("Boolean"), QStringLiteral("String"),
                         QStringLiteral("DateTime")});
    ComboBox1->setCurrentIndex(-1);
    Row->addWidget(Button8);
    Row->addWidget(Button14);
    Row->addSpacing(12);
    Row->addWidget(new QLabel(QStringLiteral("Type of Field"), this));
    Row->addWidget(ComboBox1);
    Row->addStretch(1);
    Layout->addLayout(Row);

    connect(Button8, &QPushButton::clicked, this, &TCalcFieldPage::Button8Click);
    connect(Button14, &QPushButton::clicked, this, &TCalcFieldPage::Button14Click);
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] {
        if (!FFilling)
            ListBox1Click();
    });
    connect(Memo2, &QPlainTextEdit::textChanged, this, &TCalcFieldPage::Memo2Change);
    connect(ComboBox1, &QComboBox::activated, this, &TCalcFieldPage::ComboBox1Change);
    Memo2->installEventFilter(this);
    UpdateCalcFieldControls();
}

bool TCalcFieldPage::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == Memo2 && Event->type() == QEvent::FocusOut)
        Memo2Exit();
    return QWidget::eventFilter(Watched, Event);
}

QString TCalcFieldPage::Selected() const
{
    const QListWidgetItem *Item =
        ListBox1->currentRow() >= 0 ? ListBox1->item(ListBox1->currentRow()) : nullptr;
    return Item ? Item->text() : QString();
}

void TCalcFieldPage::RefreshCalcFieldList()
{
    FFilling = true;
    ListBox1->clear();
    Memo2->clear();
    ComboBox1->setCurrentIndex(-1);
    ListBox1->addItems(FFields.RefreshCalcFieldList());
    ListBox1->setCurrentRow(-1);
    FFilling = false;
    // Nothing is selected now: a New or an Open that finds no field must not leave Delete on.
    UpdateCalcFieldControls();
}

void TCalcFieldPage::UpdateCalcFieldControls()
{
    const bool Any = !Selected().isEmpty();
    Button14->setEnabled(Any);
    Memo2->setEnabled(Any);
    ComboBox1->setEnabled(Any);
    if (!Any) {
        if (!Memo2->document()->isEmpty())
            Memo2->clear();
        ComboBox1->setCurrentIndex(-1);
    }
}

void TCalcFieldPage::ShowSelected()
{
    const QString Name = Selected();
    if (Name.isEmpty())
        return;
    QString Expression;
    if (FFields.Expression(Name, Expression))
        Memo2->setPlainText(Expression);
    int32_t Type;
    if (FFields.TypeCode(Name, Type))
        ComboBox1->setCurrentIndex(Type >= 0 && Type < ComboBox1->count() ? Type : -1);
}

void TCalcFieldPage::Button8Click()
{
    QString Text;
    if (AskName && AskName(QStringLiteral("Add Field"), Text) && !Text.isEmpty()) {
        if (!FFields.ValidName(Text)) {
            if (ShowError)
                ShowError(QStringLiteral("Invalid Name"));
            return;
        }
        const QString Upper = CalcFieldName(Text);
        for (int i = 0; i < ListBox1->count(); ++i)
            if (ListBox1->item(i)->text() == Upper) {
                if (ShowInfo)
                    ShowInfo(QStringLiteral("Field \"%1\" already exists").arg(Text));
                return;
            }
        if (OnModified)
            OnModified();
        FFields.Add(Text);
        RefreshCalcFieldList();
        FFilling = true;
        for (int i = 0; i < ListBox1->count(); ++i)
            if (ListBox1->item(i)->text().compare(Text, Qt::CaseInsensitive) == 0 ||
                ListBox1->item(i)->text() == Upper) {
                ListBox1->setCurrentRow(i);
                break;
            }
        FFilling = false;
    }
    ListBox1Click();
    ListBox1->setFocus();
}

void TCalcFieldPage::Button14Click()
{
    const QString Name = Selected();
    if (!Name.isEmpty()) {
        if (OnModified)
            OnModified();
        const int Index = ListBox1->currentRow();
        FFields.Delete(Name);
        RefreshCalcFieldList();
        FFilling = true;
        if (ListBox1->count() > Index)
            ListBox1->setCurrentRow(Index);
        else if (ListBox1->count() > 0)
            ListBox1->setCurrentRow(ListBox1->count() - 1);
        FFilling = false;
        if (Selected().isEmpty()) {
            Memo2->clear();
            ComboBox1->setCurrentIndex(-1);
        } else {
            ShowSelected();
        }
    }
    ListBox1->setFocus();
    UpdateCalcFieldControls();
}

void TCalcFieldPage::ListBox1Click()
{
    ShowSelected();
    UpdateCalcFieldControls();
}

void TCalcFieldPage::Memo2Change()
{
    FExprChanged = true;
    if (OnModified)
        OnModified();
    if (OnEditCommands)
        OnEditCommands();
}

void TCalcFieldPage::Memo2Exit()
{
    const QString Name = Selected();
    if (FExprChanged && !Name.isEmpty())
        FFields.SetExpression(Name, Memo2->toPlainText());
    if (OnMemoExit)
        OnMemoExit();
}

void TCalcFieldPage::ComboBox1Change()
{
    const QString Name = Selected();
    if (Name.isEmpty())
        return;
    if (OnModified)
        OnModified();
    FFields.SetTypeCode(Name, ComboBox1->currentIndex());
}

} // namespace qf::tables
