#include "delivery/ui/proform.h"

#include "delivery/ui/boxparent.h"
#include "store/reader.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace qf::delivery {

namespace {

const QString BoxTitle = QStringLiteral("Quillfast");
const char *const LabelTexts[6] = {"SMTP Server", "Port",           "User ID",
                                   "Name",        "E-mail Address", "Replay Address"};

} // namespace

TProForm::TProForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("ProForm"));
    setWindowTitle(QStringLiteral("Profiles"));
    resize(367, 286);

    auto *Top = new QHBoxLayout(this);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    Top->addWidget(ListBox1, 1);
    auto *Right = new QVBoxLayout;
    auto *Grid = new QGridLayout;
    for (int I = 0; I < 6; ++I) {
        Labels[size_t(I)] = new QLabel(QString::fromLatin1(LabelTexts[I]), this);
        Labels[size_t(I)]->setObjectName(QStringLiteral("Label%1").arg(I + 1));
        auto *E = new QLineEdit(this);
        E->setObjectName(QStringLiteral("Edit%1").arg(I + 1));
        E->installEventFilter(this);
        Labels[size_t(I)]->setBuddy(E);
        Edits[size_t(I)] = E;
        Grid->addWidget(Labels[size_t(I)], I, 0);
        Grid->addWidget(E, I, 1);
    }
    Right->addLayout(Grid);
    auto *Buttons = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("Add..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Delete"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Close"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    for (QPushButton *B : {Button1, Button2, Button3}) {
        B->setAutoDefault(false);
        Buttons->addWidget(B);
    }
    Right->addStretch();
    FileLabel = new QLabel(this);
    FileLabel->setObjectName(QStringLiteral("FileLabel"));
    FileLabel->setWordWrap(true);
    FileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Right->addWidget(FileLabel);
    Right->addLayout(Buttons);
    Top->addLayout(Right, 2);

    // A click makes the row current before it selects it; the profile shows once it is selected.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { ListBox1Click(); });
    connect(Button1, &QPushButton::clicked, this, &TProForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TProForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TProForm::Button3Click);

    FOwnReader = std::make_unique<store::TReader>();
    FOwnReader->SetDefaultDelimiters();
    ProfileFile = [](QString *) {
        return ProfileFileName(QString(),
                               QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    };
    InputName = [this](const QString &Caption, QString &Text) {
        bool Ok = false;
        Text = QInputDialog::getText(this, Caption, QString(), QLineEdit::Normal, QString(), &Ok);
        return Ok;
    };
}

TProForm::~TProForm() = default;

void TProForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TProForm::FormShow()
{
    FLoadMessage.clear();
    QString Warning;
    const QString File = ProfileFile(&Warning);
    Profiles.Load(File, &FLoadMessage);
    // Said in the dialog, not in a box: a missing folder falls back to the default file.
    FileLabel->setText(
        Warning.isEmpty()
            ? QStringLiteral("Profiles file: \"%1\"").arg(QDir::toNativeSeparators(File))
            : Warning);
    RefreshProfiles();
    FChanged = false;
    if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(0);
    ShowProfile();
    ListBox1->setFocus();
    if (!FLoadMessage.isEmpty())
        QMessageBox::warning(BoxParent(this), BoxTitle, FLoadMessage);
}

void TProForm::RefreshProfiles()
{
    const QSignalBlocker Block(ListBox1);
    const QStringList Names = Profiles.Names();
    ListBox1->clear();
    ListBox1->addItems(Names);
    if (!MainProfileList)
        return;
    // The user's choice stays while it names a profile; else the project's profile is chosen.
    const QString Chosen =
        MainProfileList->currentIndex() >= 0 ? MainProfileList->currentText() : QString();
    const QString From = Names.contains(Chosen) ? Chosen : FromProfile ? FromProfile() : QString();
    MainProfileList->clear();
    MainProfileList->addItems(Names);
    MainProfileList->setCurrentIndex(Names.indexOf(From));
}

QString TProForm::SelectedName() const
{
    const QListWidgetItem *Item = ListBox1->currentItem();
    return Item && Item->isSelected() ? Item->text() : QString();
}

void TProForm::ShowProfile()
{
    const QString Name = SelectedName();
    Button2->setEnabled(!Name.isEmpty());
    for (size_t I = 0; I < Edits.size(); ++I) {
        Edits[I]->setEnabled(!Name.isEmpty());
        QString Value;
        if (Name.isEmpty())
            Edits[I]->clear();
        else if (Profiles.Value(ProfileItems[I], Name, Value))
            Edits[I]->setText(Value);
    }
}

void TProForm::EditExit(int Index)
{
    const QString Name = SelectedName();
    if (!Name.isEmpty())
        Profiles.SetValue(ProfileItems[size_t(Index)], Name, Edits[size_t(Index)]->text());
}

bool TProForm::ValidName(const QString &Text) const
{
    const store::TReader &R = Reader ? *Reader : *FOwnReader;
    for (const QChar C : Text)
        // "_" parts a key into levels and "~" ends the item name: either would hide the profile.
        if (R.IsDelimiter(C) || C == QLatin1Char('_') || C == QLatin1Char('~'))
            return false;
    return true;
}

void TProForm::Button1Click()
{
    QString Text;
    if (!InputName || !InputName(QStringLiteral("Add Profile"), Text) || Text.isEmpty())
        return;
    FChanged = true;
    if (!ValidName(Text)) {
        QMessageBox::critical(BoxParent(this), BoxTitle, QStringLiteral("Invalid Name"));
        return;
    }
    const QString Name = Text.toUpper();
    if (Profiles.Names().contains(Name)) {
        QString Shown = Text;
        Shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QMessageBox::information(BoxParent(this), BoxTitle,
                                 QStringLiteral("Profile \"%1\" already exists").arg(Shown));
        return;
    }
    Profiles.AddProfile(Name);
    RefreshProfiles();
    for (int I = 0; I < ListBox1->count(); ++I)
        if (ListBox1->item(I)->text().compare(Text, Qt::CaseInsensitive) == 0)
            ListBox1->setCurrentRow(I);
    ShowProfile();
    ListBox1->setFocus();
}

void TProForm::Button2Click()
{
    const QString Name = SelectedName();
    if (Name.isEmpty())
        return;
    FChanged = true;
    const int Index = ListBox1->currentRow();
    Profiles.DeleteProfile(Name.toUpper());
    RefreshProfiles();
    if (Index < ListBox1->count())
        ListBox1->setCurrentRow(Index);
    else if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(ListBox1->count() - 1);
    ShowProfile();
    ListBox1->setFocus();
}

void TProForm::done(int Result)
{
    // Escape closes without moving the focus: what the focused edit holds is kept too.
    for (int I = 0; I < int(Edits.size()); ++I)
        if (Edits[size_t(I)]->hasFocus())
            EditExit(I);
    QDialog::done(Result);
    FormClose();
}

void TProForm::FormClose()
{
    if (!FChanged)
        return;
    QString Error;
    const QString File = ProfileFile(nullptr);
    QDir().mkpath(QFileInfo(File).absolutePath()); // the data folder of a first run
    if (!Profiles.Save(File, &Error))
        QMessageBox::critical(BoxParent(this), BoxTitle,
                              QStringLiteral("The profiles could not be saved.\n%1").arg(Error));
    FChanged = false;
}

bool TProForm::eventFilter(QObject *Watched, QEvent *Event)
{
    for (int I = 0; I < int(Edits.size()); ++I) {
        if (Watched != Edits[size_t(I)])
            continue;
        if (Event->type() == QEvent::KeyPress || Event->type() == QEvent::MouseButtonPress)
            FChanged = true;
        else if (Event->type() == QEvent::FocusOut)
            EditExit(I);
    }
    return QDialog::eventFilter(Watched, Event);
}

} // namespace qf::delivery
