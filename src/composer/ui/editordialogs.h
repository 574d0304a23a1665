#pragma once
// The HTML editor's dialogs: "Insert Table" (TTabForm, created once, keeping its values
// between uses), the hyperlink, image and font dialogs that stand in for the editing
// control's own, and TDialogPrompter, which hands them to TDomWork.

#include "composer/domwork.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qf::composer {

// Message boxes of the composer carry the program's name.
inline const QString MessageTitle = QStringLiteral("Quillfast");

// A number edit with up and down arrows: the arrows keep to the limits, typing does not
// (the text is read when the dialog closes).
class TUpDownEdit : public QWidget {
    Q_OBJECT
public:
    TUpDownEdit(int MaxLength, int Min, int Max, int Initial, QWidget *Parent = nullptr);
    QLineEdit *Edit;
    QPushButton *Up, *Down;
    void Step(int Delta);

private:
    int FMin, FMax;
};

class TTabForm : public QDialog {
    Q_OBJECT
public:
    explicit TTabForm(QWidget *Parent = nullptr);

    TUpDownEdit *Rows, *Columns, *BorderSize, *CellPadding, *CellSpacing;
    QCheckBox *SpecifyWidth;
    QLineEdit *WidthEdit;
    QRadioButton *InPixels, *InPercent;
    QPushButton *OkButton, *CancelButton;

    // The Insert Table command: the dialog, then the table at the selection.
    void InsertTable(TDomWork &DomWork);

protected:
    void showEvent(QShowEvent *Event) override;
};

class THyperlinkForm : public QDialog {
    Q_OBJECT
public:
    explicit THyperlinkForm(QWidget *Parent = nullptr);
    QComboBox *LinkType;
    QLineEdit *Url;
    void SetUrl(const QString &Value);
};

class TImageForm : public QDialog {
    Q_OBJECT
public:
    explicit TImageForm(QWidget *Parent = nullptr);
    QLineEdit *Source, *AltText, *Border;
    QComboBox *Alignment;
    QPushButton *Browse;
    TImageAttrs Attrs() const;
};

class TFontForm : public QDialog {
    Q_OBJECT
public:
    explicit TFontForm(QWidget *Parent = nullptr);
    QComboBox *FontName, *FontSize;
    QPushButton *ColorButton;
    QCheckBox *Bold, *Italic, *Underline;
    void SetSpec(const TFontAttrs &Attrs);
    TFontAttrs Attrs() const;

private:
    void ShowColor();
    int FColor = 0;
};

class TDialogPrompter : public TDomPrompter {
public:
    explicit TDialogPrompter(QWidget *Parent) : FParent(Parent) {}
    bool AskHyperlink(QString &Url) override;
    bool AskImage(TImageAttrs &Attrs) override;
    bool AskFont(TFontAttrs &Attrs) override;
    void ShowError(const QString &Message) override;

private:
    QWidget *FParent;
};

} // namespace qf::composer
