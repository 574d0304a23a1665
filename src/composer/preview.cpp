#include "composer/preview.h"

#include "delivery/charsets.h"
#include "delivery/idexception.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace qf::composer {

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The charset the preview file is written in and names. The browser reads neither UTF-7
// nor "x-user-defined" (this platform's own text, sent as UTF-8), so those pages are
// written and named as UTF-8.
QString FileCharset(const QString &Charset)
{
    const QString Lower = Charset.trimmed().toLower();
    if (Lower.isEmpty() || Lower == QLatin1String("utf-7") ||
        Lower == QLatin1String("x-user-defined"))
        return QStringLiteral("utf-8");
    return Charset;
}

} // namespace

QStringList TextLines(const QString &Text)
{
    QStringList Lines;
    qsizetype Start = 0;
    const qsizetype N = Text.size();
    for (qsizetype i = 0; i < N; ++i) {
        const QChar C = Text[i];
        if (C != QLatin1Char('\r') && C != QLatin1Char('\n'))
            continue;
        Lines << Text.mid(Start, i - Start);
        if (C == QLatin1Char('\r') && i + 1 < N && Text[i + 1] == QLatin1Char('\n'))
            ++i;
        Start = i + 1;
    }
    if (Start < N)
        Lines << Text.mid(Start);
    return Lines;
}

QString LinesText(const QStringList &Lines)
{
    QString Text;
    for (const QString &Line : Lines)
        Text += Line + CrLf;
    return Text;
}

TPreview::TPreview()
    : ExpandPlaceholders([](const QString &Text) { return Text; }),
      EvaluateName([](const QString &, QString &) { return false; }),
      CharsetName([] { return QStringLiteral("utf-8"); })
{}

QString TPreview::PreviewTo(const QString &ToText) const
{
    QString Value;
    return EvaluateName(ToText, Value) ? Value : ToText;
}

QString TPreview::PreviewSubject(const QString &Subject) const
{
    return ExpandPlaceholders(Subject);
}

QString TPreview::PreviewFileName() { return QDir::tempPath() + QStringLiteral("/$qfprev_.html"); }

QString TPreview::PageText(const QString &MergedBody, bool Html, const QString &Charset)
{
    QString Text = LinesText(TextLines(MergedBody));
    // Plain text is shown as the recipient gets it: markup as typed, every line break kept,
    // long lines wrapped. The line end after the opening tag is the one a parser drops.
    if (!Html)
        return QStringLiteral("<HEAD>") + CrLf +
               QStringLiteral(
                   "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/plain; charset=%1\">")
                   .arg(Charset) +
               CrLf + QStringLiteral("</HEAD>") + CrLf +
               QStringLiteral("<PRE style=\"white-space: pre-wrap; overflow-wrap: anywhere\">") +
               CrLf + Text.toHtmlEscaped() + QStringLiteral("</PRE>") + CrLf;
    const qsizetype P = Text.indexOf(QLatin1String("<HEAD>"), 0, Qt::CaseInsensitive);
    if (P < 0)
        return Text;
    qsizetype Q = P + 6;
    // A line end right after the tag is stepped over.
    for (int i = 0; i < 2; ++i)
        if (Q < Text.size() - 1 && Text[Q].unicode() < 33)
            ++Q;
    Text.insert(
        Q, QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=%1\">")
                   .arg(Charset) +
               CrLf);
    return Text;
}

bool TPreview::Build(bool Html, const QString &Body, QString *Error)
{
    const QString Charset = FileCharset(CharsetName());
    FPreviewLines = TextLines(PageText(ExpandPlaceholders(Body), Html, Charset));
    FPreviewFile = PreviewFileName();
    FPreviewDirty = false;
    try {
        if (FPreviewLines.isEmpty())
            FPreviewLines << QString();
        // Characters the charset lacks become character references, as in the message.
        delivery::TCharsetEncoder Encoder(Charset);
        const QByteArray Bytes =
            Encoder.Encode(LinesText(FPreviewLines), delivery::TCharsetEncoder::umHtmlReference);
        QSaveFile F(FPreviewFile);
        if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size() || !F.commit())
            throw delivery::EIdException(F.errorString());
    } catch (const delivery::EIdException &E) {
        FPreviewDirty = true;
        if (Error)
            *Error = E.Message();
        return false;
    }
    return true;
}

void TPreview::RemoveFile()
{
    if (!FPreviewFile.isEmpty())
        QFile::remove(FPreviewFile);
}

} // namespace qf::composer
