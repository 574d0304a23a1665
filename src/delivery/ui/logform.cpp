#include "delivery/ui/logform.h"

#include "delivery/maillog.h"
#include "delivery/ui/boxparent.h"

#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QShowEvent>
#include <QVBoxLayout>

namespace qf::delivery {

namespace {
const QString BoxTitle = QStringLiteral("Quillfast");
} // namespace

TLogForm::TLogForm(QWidget *Parent) : QDialog(Parent), FileName(DefaultLogFileName())
{
    setObjectName(QStringLiteral("LogForm"));
    setWindowTitle(QStringLiteral("Log"));
    resize(435, 300);
    auto *L = new QVBoxLayout(this);
    RxRichEdit1 = new QPlainTextEdit(this);
    RxRichEdit1->setObjectName(QStringLiteral("RxRichEdit1"));
    RxRichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont Font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    Font.setPixelSize(15);
    RxRichEdit1->setFont(Font);
    L->addWidget(RxRichEdit1);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Button1 = new QPushButton(QStringLiteral("Save"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Clear"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    for (QPushButton *B : {Button1, Button2, Button3}) {
        B->setAutoDefault(false);
        Buttons->addWidget(B);
    }
    L->addLayout(Buttons);
    connect(Button1, &QPushButton::clicked, this, &TLogForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TLogForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TLogForm::Button3Click);
}

void TLogForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TLogForm::FormShow()
{
    QFile F(FileName);
    if (F.open(QIODevice::ReadOnly)) {
        QString Text = QString::fromUtf8(F.readAll());
        Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        RxRichEdit1->setPlainText(Text);
    } else {
        QMessageBox::critical(
            BoxParent(this), BoxTitle,
            QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, F.errorString()));
    }
    RxRichEdit1->setFocus();
}

void TLogForm::Button1Click()
{
    // The log's lines end with CR LF, as the mailing writes them.
    QString Text = RxRichEdit1->toPlainText();
    QByteArray Bytes = Text.toUtf8();
    Bytes.replace("\n", "\r\n");
    if (!Text.isEmpty() && !Text.endsWith(QLatin1Char('\n')))
        Bytes += "\r\n";
    QSaveFile F(FileName);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size() || !F.commit()) {
        QMessageBox::critical(
            BoxParent(this), BoxTitle,
            QStringLiteral("Cannot write file \"%1\". %2").arg(FileName, F.errorString()));
        return;
    }
    accept();
}

void TLogForm::Button3Click() { RxRichEdit1->clear(); }

} // namespace qf::delivery
