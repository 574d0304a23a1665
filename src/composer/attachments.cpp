#include "composer/attachments.h"

#include "composer/projectitems.h"
#include "store/dlist.h"

#include <QFileInfo>

namespace qf::composer {

namespace {

QString Key() { return QString::fromLatin1(ItemAttach); }

} // namespace

QStringList AttachLines(const QString &Text)
{
    QStringList Lines;
    qsizetype Start = 0;
    const qsizetype N = Text.size();
    while (Start < N) {
        qsizetype End = Start;
        while (End < N && Text[End] != u'\r' && Text[End] != u'\n')
            ++End;
        Lines.append(Text.mid(Start, End - Start));
        if (End < N && Text[End] == u'\r' && End + 1 < N && Text[End + 1] == u'\n')
            ++End;
        Start = End + 1;
    }
    return Lines;
}

bool TAttachments::HasItem() const
{
    int Structure = 0;
    void *Data = nullptr;
    return FDlist.Find(Key(), Structure, Data);
}

QStringList TAttachments::Lines() const
{
    QString Text;
    GetString(FDlist, Key(), Text);
    return AttachLines(Text);
}

void TAttachments::EnsureItem()
{
    if (!StringData(FDlist, Key()))
        PutString(FDlist, Key(), kindAttach, QString());
}

int TAttachments::Add(const QStringList &FileNames)
{
    EnsureItem();
    QString &Text = *StringData(FDlist, Key());
    for (const QString &Name : FileNames) {
        if (Text.isEmpty()) {
            Text = Name;
        } else {
            if (!Text.endsWith(QLatin1Char('\n')))
                Text += QStringLiteral("\r\n");
            Text += Name;
        }
    }
    return int(AttachLines(Text).size()) - 1;
}

bool TAttachments::Remove(int Index, int &Select)
{
    QString *Text = StringData(FDlist, Key());
    if (!Text)
        return false;
    QStringList L = AttachLines(*Text);
    if (Index < 0 || Index >= L.size())
        return false;
    L.removeAt(Index);
    QString NewText;
    for (const QString &Line : L)
        NewText += Line + QStringLiteral("\r\n");
    *Text = NewText;
    Select = L.isEmpty() ? -1 : std::min(Index, int(L.size()) - 1);
    return true;
}

QString TAttachments::CheckFiles(const QStringList &FileNames)
{
    QStringList Missing;
    for (const QString &Name : FileNames) {
        const QFileInfo Info(Name);
        if (!Info.isFile())
            Missing.append(QStringLiteral("\"%1\" does not exist").arg(Name));
        else if (!Info.isReadable())
            Missing.append(QStringLiteral("\"%1\" cannot be read").arg(Name));
    }
    if (Missing.isEmpty())
        return {};
    return QStringLiteral(
               "No mail was sent: the attachment %1. Remove it from the Attachments page "
               "or put the file back, then start again.")
        .arg(Missing.join(QStringLiteral("; the attachment ")));
}

} // namespace qf::composer
