#include "shell/optform.h"

#include "delivery/charsets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

namespace qf::shell {

TDirectoryEdit::TDirectoryEdit(QWidget *Parent) : QWidget(Parent)
{
    Edit = new QLineEdit(this);
    Button = new QToolButton(this);
    Button->setText(QStringLiteral("..."));
    Button->setToolTip(QStringLiteral("Browse"));
    auto *L = new QHBoxLayout(this);
    L->setContentsMargins(0, 0, 0, 0);
    L->setSpacing(2);
    L->addWidget(Edit);
    L->addWidget(Button);
    setFocusProxy(Edit);
    connect(Edit, &QLineEdit::textChanged, this, &TDirectoryEdit::textChanged);
    connect(Button, &QToolButton::clicked, this, [this] {
        const QString Dir =
            QFileDialog::getExistingDirectory(this, QStringLiteral("Select Folder"), Edit->text());
        if (!Dir.isEmpty())
            Edit->setText(Dir);
    });
}

QString TDirectoryEdit::text() const { return Edit->text(); }
void TDirectoryEdit::setText(const QString &Text) { Edit->setText(Text); }

TOptForm::TOptForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("OptForm"));
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(298, 263);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(8, 6, 282, 212);

    // Created in their tab order: CheckBox2, CheckBox1, DirectoryEdit1, ComboBox1, UpDown1.
    CheckBox2 = new QCheckBox(QStringLiteral("Confirmation of Deleting Records"), GroupBox1);
    CheckBox2->setGeometry(12, 36, 258, 20);
    CheckBox1 = new QCheckBox(QStringLiteral("Write Log"), GroupBox1);
    CheckBox1->setGeometry(12, 12, 258, 20);

    auto *Label3 = new QLabel(QStringLiteral("Path of Profiles"), GroupBox1);
    Label3->setGeometry(12, 148, 258, 18);
    DirectoryEdit1 = new TDirectoryEdit(GroupBox1);
    DirectoryEdit1->setGeometry(12, 168, 258, 26);
    Label3->setBuddy(DirectoryEdit1);

    auto *Label2 = new QLabel(QStringLiteral("Default Charset"), GroupBox1);
    Label2->setGeometry(12, 96, 258, 18);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setGeometry(12, 116, 258, 24);
    Label2->setBuddy(ComboBox1);

    auto *Label1 = new QLabel(QStringLiteral("Threads/connections"), GroupBox1);
    Label1->setGeometry(12, 64, 150, 22);
    UpDown1 = new QSpinBox(GroupBox1);
    UpDown1->setGeometry(170, 64, 100, 24);
    UpDown1->setRange(MinThreads, MaxThreads);
    UpDown1->setWrapping(false);
    UpDown1->setValue(DefaultThreads);
    Edit1 = UpDown1->findChild<QLineEdit *>();
    Label1->setBuddy(UpDown1);

    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setGeometry(128, 228, 75, 26);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(213, 228, 75, 26);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    connect(CheckBox1, &QCheckBox::clicked, this, [this] { FLogChanged = 1; });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { FConfirmChanged = 1; });
    // Typed text and the arrows both change the edit's text.
    connect(UpDown1, &QSpinBox::textChanged, this, [this] { FThreadsChanged = 1; });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { FCharsetChanged = 1; });
    connect(DirectoryEdit1, &TDirectoryEdit::textChanged, this, [this] { FProfDirChanged = 1; });

    FormCreate();
}

void TOptForm::FormCreate()
{
    for (const delivery::TCharsetInfo &Row : delivery::CharsetTable)
        ComboBox1->addItem(QString::fromLatin1(Row.DisplayName) + QStringLiteral(", ") +
                           QString::fromLatin1(Row.MimeName));
    ComboBox1->setCurrentIndex(-1);
    LoadOptions();
}

bool TOptForm::LoadOptions()
{
    TOptionValues V = Values();
    if (!ReadOptionValues(V))
        return false;
    SetValues(V);
    return true;
}

TOptionValues TOptForm::Values() const
{
    TOptionValues V;
    V.WriteLog = CheckBox1->isChecked();
    V.ConfirmDel = CheckBox2->isChecked();
    V.Threads = UpDown1->value();
    V.DefaultCharset = ComboBox1->currentIndex();
    V.ProfDir = DirectoryEdit1->text();
    return V;
}

void TOptForm::SetValues(const TOptionValues &V)
{
    CheckBox1->setChecked(V.WriteLog);
    CheckBox2->setChecked(V.ConfirmDel);
    UpDown1->setValue(V.Threads);
    ComboBox1->setCurrentIndex(V.DefaultCharset);
    DirectoryEdit1->setText(V.ProfDir);
}

unsigned TOptForm::ChangedFlags() const
{
    return (FLogChanged ? ofWriteLog : 0u) | (FConfirmChanged ? ofConfirmDel : 0u) |
           (FThreadsChanged ? ofThreads : 0u) | (FCharsetChanged ? ofDefaultCharset : 0u) |
           (FProfDirChanged ? ofProfDir : 0u);
}

void TOptForm::FormShow()
{
    OkButton->setFocus(Qt::OtherFocusReason);
    FLogChanged = FConfirmChanged = FThreadsChanged = FCharsetChanged = FProfDirChanged = 0;
    FShownValues = Values();
}

void TOptForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    FormShow();
}

void TOptForm::Options1Click() { OptionsClosed(exec()); }

void TOptForm::OptionsClosed(int Result)
{
    if (Result == QDialog::Accepted) {
        // A typed thread count that is still being edited counts as entered.
        UpDown1->interpretText();
        const unsigned Flags = ChangedFlags() | FUnsavedFlags;
        if (WriteOptionValues(Values(), Flags))
            FUnsavedFlags = 0;
        else
            FUnsavedFlags = Flags; // no message; the controls keep the new values
        return;
    }
    // Cancel puts back the stored options; options that could not be stored stay as
    // they were in force when the dialog was shown.
    if (FUnsavedFlags != 0 || !LoadOptions())
        SetValues(FShownValues);
}

} // namespace qf::shell
