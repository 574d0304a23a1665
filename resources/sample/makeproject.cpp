// Writes the sample project Quillfast opens for a newcomer beside the sample table: letter.qfx, a
// short HTML letter (with its plain-text form) to the contacts of contacts.dbf, its subject and
// recipient field set, two placeholders of fields and one calculated field. Usage:
// make_sample_project <folder>

#include "composer/project.h"
#include "composer/projectitems.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

using namespace qf::composer;

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sample_project <folder>\n");
        return 2;
    }
    TMailProject Project;
    Project.GetMessageSettings = [] {
        TMessageSettings S;
        S.SubMail = 4;
        S.Subject = QStringLiteral("Your account in %CITY");
        S.ToAddr = QStringLiteral("EMAIL");
        S.Doc = QStringLiteral(
            "<HTML>\r\n<HEAD>\r\n<TITLE>Your account</TITLE>\r\n</HEAD>\r\n<BODY>\r\n"
            "<P>Dear %FULLNAME,</P>\r\n"
            "<P>thank you for being with us. Your account in <B>%CITY</B> stands at "
            "<B>%AMOUNT</B>.</P>\r\n"
            "<P>If anything about it looks wrong to you, simply answer this mail.</P>\r\n"
            "<P>Kind regards,<BR>\r\nThe Quillfast sample team</P>\r\n</BODY>\r\n</HTML>");
        S.Plain = QStringLiteral(
            "Dear %FULLNAME,\r\n\r\nthank you for being with us. Your account in %CITY stands at "
            "%AMOUNT.\r\n\r\n"
            "If anything about it looks wrong to you, simply answer this mail.\r\n\r\n"
            "Kind regards,\r\nThe Quillfast sample team");
        return S;
    };
    Project.CharsetIndex = 14; // UTF-8
    PutString(Project.DList1, QStringLiteral("CF~Expr~FULLNAME"), kindCalcExpr,
              QStringLiteral("FIRSTNAME + ' ' + LASTNAME"));
    PutInt32(Project.DList1, QStringLiteral("CF~Type~FULLNAME"), kindCalcType, 3);
    const QString FileName =
        QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("letter.qfx"));
    QString Error;
    Project.OnError = [&Error](const QString &Message) { Error = Message; };
    Project.ChooseSaveFile = [&FileName](QString &Name) {
        Name = FileName;
        return true;
    };
    QFile::remove(FileName);
    if (!Project.SaveProjectAs()) {
        std::fprintf(stderr, "%s\n", qPrintable(Error));
        return 1;
    }
    return 0;
}
