#include "composer/mailviews.h"

namespace qf::composer {

void TMailViews::SourceChanged()
{
    FSourceChanged = true;
    FHtmlChanged = false;
}

void TMailViews::DisplayChanged()
{
    FSourceChanged = false;
    FHtmlChanged = true;
}

bool TMailViews::DocumentComplete()
{
    FDomWork->Ready = true;
    FHtmlChanged = false;
    if (!FFirstDocumentLoad)
        return false;
    FFirstDocumentLoad = false;
    FDomWork->LoadBlockFormats();
    return true;
}

void TMailViews::AssignHTML()
{
    FDomWork->SetDocumentHTML(SourceText ? SourceText() : QString());
    FSourceChanged = false;
}

void TMailViews::EditorToSource()
{
    const QString Html = FDomWork->DocumentHTML();
    if (SetSourceText)
        SetSourceText(Html);
    FHtmlChanged = false;
    FSourceChanged = false;
}

void TMailViews::EditShown()
{
    if (FSourceChanged)
        AssignHTML();
}

void TMailViews::SourceShown()
{
    if (FHtmlChanged)
        EditorToSource();
}

void TMailViews::SyncForPreview()
{
    if (FSourceChanged)
        AssignHTML();
    else if (FHtmlChanged)
        EditorToSource();
}

void TMailViews::CarryEditorChanges()
{
    // When both flags are set, the source wins.
    if (FHtmlChanged && !FSourceChanged)
        EditorToSource();
}

QString TMailViews::MessageBody()
{
    if (FMailFormat != HtmlFormat)
        return PlainText ? PlainText() : QString();
    CarryEditorChanges();
    return SourceText ? SourceText() : QString();
}

} // namespace qf::composer
