#include "tables/ui/filterpage.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

namespace qf::tables {

TFilterPage::TFilterPage(QWidget *Parent) : QWidget(Parent)
{
    setObjectName(QStringLiteral("FilterPage"));
    auto *Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    auto *Header = new QLabel(QStringLiteral("Filter Expression of Logical Type"), this);
    Header->setFrameShape(QFrame::Panel);
    Header->setAlignment(Qt::AlignCenter);
    Layout->addWidget(Header);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    QFont Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    Fixed.setPixelSize(15);
    Memo1->setFont(Fixed);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Layout->addWidget(Memo1, 1);
    CheckBox1 = new QCheckBox(QStringLiteral("Use Filter"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setContentsMargins(6, 4, 6, 4);
    Layout->addWidget(CheckBox1);
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] {
        if (OnModified)
            OnModified();
    });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] {
        if (OnModified)
            OnModified();
    });
}

QString TFilterPage::FilterText() const { return Memo1->toPlainText(); }

bool TFilterPage::UseFilter() const { return CheckBox1->isChecked(); }

void TFilterPage::ShowErrorPlace(int Place)
{
    Memo1->setEnabled(true);
    Memo1->setFocus(Qt::OtherFocusReason);
    QTextCursor Cursor = Memo1->textCursor();
    Cursor.setPosition(qBound(0, Place, Memo1->document()->characterCount() - 1));
    Memo1->setTextCursor(Cursor);
}

} // namespace qf::tables
