#include "composer/ui/editordialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

namespace qf::composer {

namespace {

// The conversion of a dialog's number text; a text that is not a number is reported
// as such and stops the command.
bool ToInteger(QWidget *Parent, const QString &Text, int &Value)
{
    bool Ok = false;
    Value = Text.trimmed().toInt(&Ok);
    if (!Ok)
        QMessageBox::critical(Parent, MessageTitle,
                              QStringLiteral("'%1' is not a valid integer value").arg(Text));
    return Ok;
}

QDialogButtonBox *OkCancel(QDialog *Dialog, QPushButton *&Ok, QPushButton *&Cancel)
{
    auto *Box = new QDialogButtonBox(Dialog);
    Ok = Box->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    Cancel = Box->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    Ok->setDefault(true);
    QObject::connect(Box, &QDialogButtonBox::accepted, Dialog, &QDialog::accept);
    QObject::connect(Box, &QDialogButtonBox::rejected, Dialog, &QDialog::reject);
    return Box;
}

QString ColorStyle(int Color)
{
    int R, G, B;
    IntToColor(Color, R, G, B);
    return QStringLiteral("background-color: %1").arg(QColor(R, G, B).name());
}

} // namespace

TUpDownEdit::TUpDownEdit(int MaxLength, int Min, int Max, int Initial, QWidget *Parent)
    : QWidget(Parent), FMin(Min), FMax(Max)
{
    auto *L = new QHBoxLayout(this);
    L->setContentsMargins(0, 0, 0, 0);
    L->setSpacing(0);
    Edit = new QLineEdit(QString::number(Initial), this);
    Edit->setMaxLength(MaxLength);
    Up = new QPushButton(QStringLiteral("\u25b2"), this);
    Down = new QPushButton(QStringLiteral("\u25bc"), this);
    for (QPushButton *B : {Up, Down}) {
        B->setFixedWidth(22);
        B->setAutoDefault(false);
        B->setFocusPolicy(Qt::NoFocus);
    }
    L->addWidget(Edit, 1);
    L->addWidget(Up);
    L->addWidget(Down);
    connect(Up, &QPushButton::clicked, this, [this] { Step(1); });
    connect(Down, &QPushButton::clicked, this, [this] { Step(-1); });
    setFocusProxy(Edit);
}

void TUpDownEdit::Step(int Delta)
{
    bool Ok = false;
    int V = Edit->text().trimmed().toInt(&Ok);
    if (!Ok)
        V = FMin;
    Edit->setText(QString::number(qBound(FMin, V + Delta, FMax)));
}

TTabForm::TTabForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("TabForm"));
    setWindowTitle(QStringLiteral("Insert Table"));
    auto *L = new QVBoxLayout(this);

    auto *Size = new QGroupBox(QStringLiteral("Size"), this);
    auto *SizeForm = new QFormLayout(Size);
    Rows = new TUpDownEdit(2, 0, 25, 2, Size);
    Columns = new TUpDownEdit(2, 0, 25, 2, Size);
    SizeForm->addRow(QStringLiteral("Rows"), Rows);
    SizeForm->addRow(QStringLiteral("Columns"), Columns);
    L->addWidget(Size);

    auto *Layout = new QGroupBox(QStringLiteral("Layout"), this);
    auto *LayoutForm = new QFormLayout(Layout);
    BorderSize = new TUpDownEdit(3, 0, 100, 1, Layout);
    CellPadding = new TUpDownEdit(3, 0, 100, 1, Layout);
    CellSpacing = new TUpDownEdit(3, 0, 100, 1, Layout);
    LayoutForm->addRow(QStringLiteral("Border Size"), BorderSize);
    LayoutForm->addRow(QStringLiteral("Cell Padding"), CellPadding);
    LayoutForm->addRow(QStringLiteral("Call Spacing"), CellSpacing);
    L->addWidget(Layout);

    auto *With = new QGroupBox(QStringLiteral("With"), this);
    auto *WithLayout = new QGridLayout(With);
    SpecifyWidth = new QCheckBox(QStringLiteral("Specify Width"), With);
    SpecifyWidth->setChecked(true);
    WidthEdit = new QLineEdit(QStringLiteral("100"), With);
    WidthEdit->setMaxLength(7);
    InPixels = new QRadioButton(QStringLiteral("in Pixels"), With);
    InPercent = new QRadioButton(QStringLiteral("in Percent"), With);
    InPercent->setChecked(true);
    WithLayout->addWidget(SpecifyWidth, 0, 0);
    WithLayout->addWidget(WidthEdit, 0, 1);
    WithLayout->addWidget(InPixels, 1, 1);
    WithLayout->addWidget(InPercent, 2, 1);
    L->addWidget(With);

    L->addWidget(OkCancel(this, OkButton, CancelButton));
}

void TTabForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    Rows->Edit->setFocus();
    Rows->Edit->selectAll();
}

void TTabForm::InsertTable(TDomWork &DomWork)
{
    if (exec() != QDialog::Accepted)
        return;
    const QString Width =
        TableWidth(SpecifyWidth->isChecked(), WidthEdit->text(), InPixels->isChecked());
    int Cols = 0, RowCount = 0;
    if (!ToInteger(this, Columns->Edit->text(), Cols) ||
        !ToInteger(this, Rows->Edit->text(), RowCount))
        return;
    DomWork.InsertTable(RowCount, Cols, BorderSize->Edit->text(), CellPadding->Edit->text(),
                        CellSpacing->Edit->text(), Width);
}

THyperlinkForm::THyperlinkForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("HyperlinkForm"));
    setWindowTitle(QStringLiteral("Hyperlink"));
    auto *L = new QVBoxLayout(this);
    auto *Group = new QGroupBox(QStringLiteral("Hyperlink Information"), this);
    auto *Form = new QFormLayout(Group);
    LinkType = new QComboBox(Group);
    LinkType->addItems({QStringLiteral("(other)"), QStringLiteral("file:"), QStringLiteral("ftp:"),
                        QStringLiteral("http:"), QStringLiteral("https:"),
                        QStringLiteral("mailto:"), QStringLiteral("news:")});
    Url = new QLineEdit(Group);
    Form->addRow(QStringLiteral("Type:"), LinkType);
    Form->addRow(QStringLiteral("URL:"), Url);
    L->addWidget(Group);
    QPushButton *Ok, *Cancel;
    L->addWidget(OkCancel(this, Ok, Cancel));
    // Picking a type starts the address with it, as typed addresses keep theirs.
    connect(LinkType, &QComboBox::activated, this, [this](int Index) {
        if (Index == 0)
            return;
        const QString Scheme = LinkType->itemText(Index);
        QString Rest = Url->text();
        const qsizetype Colon = Rest.indexOf(QLatin1Char(':'));
        if (Colon > 0 && !Rest.left(Colon).contains(QLatin1Char('/')))
            Rest = Rest.mid(Colon + 1);
        if (Scheme != QLatin1String("mailto:") && Scheme != QLatin1String("news:") &&
            !Rest.startsWith(QLatin1String("//")))
            Rest = QStringLiteral("//") + Rest;
        Url->setText(Scheme + Rest);
    });
    resize(420, sizeHint().height());
}

void THyperlinkForm::SetUrl(const QString &Value)
{
    Url->setText(Value.isEmpty() ? QStringLiteral("http://") : Value);
    const qsizetype Colon = Url->text().indexOf(QLatin1Char(':'));
    const int Index = Colon > 0 ? LinkType->findText(Url->text().left(Colon + 1)) : -1;
    LinkType->setCurrentIndex(Index < 0 ? 0 : Index);
}

TImageForm::TImageForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("ImageForm"));
    setWindowTitle(QStringLiteral("Image"));
    auto *L = new QVBoxLayout(this);
    auto *Form = new QFormLayout;
    auto *SourceRow = new QHBoxLayout;
    Source = new QLineEdit(this);
    Browse = new QPushButton(QStringLiteral("Browse..."), this);
    Browse->setAutoDefault(false);
    SourceRow->addWidget(Source, 1);
    SourceRow->addWidget(Browse);
    Form->addRow(QStringLiteral("Picture Source:"), SourceRow);
    AltText = new QLineEdit(this);
    Form->addRow(QStringLiteral("Alternate Text:"), AltText);
    Alignment = new QComboBox(this);
    Alignment->addItems({QStringLiteral("Not Set"), QStringLiteral("Left"), QStringLiteral("Right"),
                         QStringLiteral("Texttop"), QStringLiteral("Absmiddle"),
                         QStringLiteral("Baseline"), QStringLiteral("Absbottom"),
                         QStringLiteral("Bottom"), QStringLiteral("Middle"),
                         QStringLiteral("Top")});
    Form->addRow(QStringLiteral("Alignment:"), Alignment);
    Border = new QLineEdit(this);
    Border->setMaxLength(3);
    Form->addRow(QStringLiteral("Border Thickness:"), Border);
    L->addLayout(Form);
    QPushButton *Ok, *Cancel;
    L->addWidget(OkCancel(this, Ok, Cancel));
    connect(Browse, &QPushButton::clicked, this, [this] {
        const QString File = QFileDialog::getOpenFileName(
            this, QStringLiteral("Picture Source"), QString(),
            QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif *.bmp *.svg);;All files (*)"));
        if (!File.isEmpty())
            Source->setText(QUrl::fromLocalFile(File).toString());
    });
    resize(460, sizeHint().height());
}

TImageAttrs TImageForm::Attrs() const
{
    TImageAttrs S;
    S.Src = Source->text().trimmed();
    S.Alt = AltText->text();
    if (Alignment->currentIndex() > 0)
        S.Align = Alignment->currentText().toLower();
    S.Border = Border->text().trimmed();
    return S;
}

TFontForm::TFontForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("FontForm"));
    setWindowTitle(QStringLiteral("Font"));
    auto *L = new QVBoxLayout(this);
    auto *Form = new QFormLayout;
    FontName = new QComboBox(this);
    FontName->addItems(QFontDatabase::families());
    Form->addRow(QStringLiteral("Font:"), FontName);
    FontSize = new QComboBox(this);
    FontSize->addItem(QString());
    for (int i = 1; i <= 7; ++i)
        FontSize->addItem(QString::number(i));
    Form->addRow(QStringLiteral("Size:"), FontSize);
    ColorButton = new QPushButton(this);
    ColorButton->setAutoDefault(false);
    ColorButton->setFixedWidth(60);
    Form->addRow(QStringLiteral("Color:"), ColorButton);
    L->addLayout(Form);
    auto *Effects = new QGroupBox(QStringLiteral("Effects"), this);
    auto *E = new QHBoxLayout(Effects);
    Bold = new QCheckBox(QStringLiteral("Bold"), Effects);
    Italic = new QCheckBox(QStringLiteral("Italic"), Effects);
    Underline = new QCheckBox(QStringLiteral("Underline"), Effects);
    E->addWidget(Bold);
    E->addWidget(Italic);
    E->addWidget(Underline);
    L->addWidget(Effects);
    QPushButton *Ok, *Cancel;
    L->addWidget(OkCancel(this, Ok, Cancel));
    connect(ColorButton, &QPushButton::clicked, this, [this] {
        int R, G, B;
        IntToColor(FColor, R, G, B);
        const QColor C = QColorDialog::getColor(QColor(R, G, B), this, QStringLiteral("Color"));
        if (C.isValid()) {
            FColor = ColorToInt(C.red(), C.green(), C.blue());
            ShowColor();
        }
    });
    ShowColor();
}

void TFontForm::ShowColor() { ColorButton->setStyleSheet(ColorStyle(FColor)); }

void TFontForm::SetSpec(const TFontAttrs &Attrs)
{
    const int Index = FontName->findText(Attrs.Name, Qt::MatchFixedString);
    if (Index >= 0)
        FontName->setCurrentIndex(Index);
    else if (!Attrs.Name.isEmpty()) {
        FontName->insertItem(0, Attrs.Name); // a font the document names but this system lacks
        FontName->setCurrentIndex(0);
    }
    FontSize->setCurrentIndex(Attrs.Size >= 1 && Attrs.Size <= 7 ? Attrs.Size : 0);
    FColor = Attrs.Color;
    ShowColor();
    Bold->setChecked(Attrs.Bold);
    Italic->setChecked(Attrs.Italic);
    Underline->setChecked(Attrs.Underline);
}

TFontAttrs TFontForm::Attrs() const
{
    TFontAttrs S;
    S.Name = FontName->currentText();
    S.Size = FontSize->currentText().toInt();
    S.Color = FColor;
    S.Bold = Bold->isChecked();
    S.Italic = Italic->isChecked();
    S.Underline = Underline->isChecked();
    return S;
}

bool TDialogPrompter::AskHyperlink(QString &Url)
{
    THyperlinkForm F(FParent);
    F.SetUrl(Url);
    if (F.exec() != QDialog::Accepted)
        return false;
    Url = F.Url->text().trimmed();
    // An address that is only its type counts as none.
    if (Url.endsWith(QLatin1Char(':')) || Url.endsWith(QLatin1String("://")))
        Url.clear();
    return true;
}

bool TDialogPrompter::AskImage(TImageAttrs &Attrs)
{
    TImageForm F(FParent);
    F.Source->setText(Attrs.Src);
    if (F.exec() != QDialog::Accepted)
        return false;
    Attrs = F.Attrs();
    return !Attrs.Src.isEmpty();
}

bool TDialogPrompter::AskFont(TFontAttrs &Attrs)
{
    TFontForm F(FParent);
    F.SetSpec(Attrs);
    if (F.exec() != QDialog::Accepted)
        return false;
    Attrs = F.Attrs();
    return true;
}

void TDialogPrompter::ShowError(const QString &Message)
{
    QMessageBox::critical(FParent, MessageTitle, Message);
}

} // namespace qf::composer
