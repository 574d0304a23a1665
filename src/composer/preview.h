#pragma once
// TPreview builds the preview page of the message for the current record: the "To:" and
// "Subject:" lines and the body page, written to the preview file "$qfprev_.html" in the
// temporary folder with a META line naming the message charset. The merge of one record
// plugs in through ExpandPlaceholders and EvaluateName; until it does, texts stay as they
// stand. FPreviewDirty keeps a second build from starting while the browser still loads
// the page of the first. The window shows the file and deletes it when it closes.

#include <QString>
#include <QStringList>
#include <functional>

namespace qf::composer {

class TPreview {
public:
    TPreview();

    QStringList FPreviewLines;
    QString FPreviewFile;
    bool FPreviewDirty = true;

    std::function<QString(const QString &)> ExpandPlaceholders;
    std::function<bool(const QString &Name, QString &Value)> EvaluateName;
    // The MIME name of the message charset.
    std::function<QString()> CharsetName;

    // The To line: the value of the field named in the To box, else the box's text.
    QString PreviewTo(const QString &ToText) const;
    QString PreviewSubject(const QString &Subject) const;

    static QString PreviewFileName();
    // The page for a merged body: an HTML body gets the META line after its head tag, a
    // plain one a head of its own and its text escaped in a wrapping PRE. Lines end in CR LF.
    static QString PageText(const QString &MergedBody, bool Html, const QString &Charset);

    // Merges Body, writes the page to FPreviewFile and clears FPreviewDirty; on a failure
    // sets FPreviewDirty again and returns false with the reason in Error.
    bool Build(bool Html, const QString &Body, QString *Error = nullptr);

    // Deletes the preview file (the window closes).
    void RemoveFile();
};

// The lines of a text as a string list takes them (CR LF, LF or CR end a line), and the
// list's text: every line followed by CR LF.
QStringList TextLines(const QString &Text);
QString LinesText(const QStringList &Lines);

} // namespace qf::composer
