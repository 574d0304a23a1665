#pragma once
// TMailViews keeps the message's views in step: the mail format (0 plain text, 4 HTML),
// the WYSIWYG editor (through TDomWork) and the HTML source, brought together lazily
// through the change flags. The source text is the HTML that is stored, previewed and
// sent; every reader of the body calls CarryEditorChanges (or MessageBody) first. The
// plain text is kept apart and never derived from the HTML. The window supplies the
// texts of the source and plain-text views; setting the source must keep its undo
// history. User interface thread only.

#include "composer/domwork.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace qf::composer {

class TMailViews {
public:
    static constexpr std::uint8_t PlainFormat = 0, HtmlFormat = 4;

    explicit TMailViews(TDomWork *DomWork) : FDomWork(DomWork) {}

    std::function<QString()> SourceText;
    std::function<void(const QString &)> SetSourceText;
    std::function<QString()> PlainText;

    std::uint8_t FMailFormat = HtmlFormat;
    bool FHtmlChanged = false;
    bool FSourceChanged = false;
    bool FFirstDocumentLoad = true;

    // The source view's text changed (also when a transfer set it).
    void SourceChanged();
    // Any edit or caret move in the WYSIWYG editor.
    void DisplayChanged();
    // The editor's document is complete. True on the first completion: the caller fills
    // the Styles box from the block formats loaded here, then calls AssignHTML.
    bool DocumentComplete();

    // Source to editor.
    void AssignHTML();
    // Editor to source.
    void EditorToSource();

    // The "Edit" and "Source" sub-pages shown, and the preview about to be built.
    void EditShown();
    void SourceShown();
    void SyncForPreview();
    // For readers of the HTML body (save, mailing): pending editor changes into the source.
    void CarryEditorChanges();
    // The body of the current format, with pending editor changes carried first.
    QString MessageBody();

private:
    TDomWork *FDomWork;
};

} // namespace qf::composer
