#pragma once
// Helpers of the window tests: a table file of contacts, and a user who answers message boxes.

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QtEndian>
#include <functional>
#include <ostream>
#include <utility>
#include <vector>

// A dBASE III table of character fields (UTF-8, said so by a ".cpg" file beside it).
inline void WriteDbf(const QString &FileName, const std::vector<std::pair<QByteArray, int>> &Fields,
                     const std::vector<QStringList> &Rows)
{
    int RecordLength = 1;
    for (const auto &F : Fields)
        RecordLength += F.second;
    const int HeaderLength = 32 + 32 * int(Fields.size()) + 1;
    QByteArray H(32, '\0');
    H[0] = 0x03;
    H[1] = 124;
    H[2] = 1;
    H[3] = 1;
    qToLittleEndian<quint32>(quint32(Rows.size()), H.data() + 4);
    qToLittleEndian<quint16>(quint16(HeaderLength), H.data() + 8);
    qToLittleEndian<quint16>(quint16(RecordLength), H.data() + 10);
    for (const auto &F : Fields) {
        QByteArray D(32, '\0');
        memcpy(D.data(), F.first.constData(), size_t(qMin<qsizetype>(F.first.size(), 10)));
        D[11] = 'C';
        D[16] = char(F.second);
        H += D;
    }
    H += '\x0D';
    for (const QStringList &Row : Rows) {
        H += ' ';
        for (size_t I = 0; I < Fields.size(); ++I)
            H += Row.value(int(I)).toUtf8().leftJustified(Fields[I].second, ' ', true);
    }
    H += '\x1A';
    QFile F(FileName);
    if (F.open(QIODevice::WriteOnly))
        F.write(H);
    QFile C(FileName.left(FileName.size() - 4) + QStringLiteral(".cpg"));
    if (C.open(QIODevice::WriteOnly))
        C.write("UTF-8");
}

// Answers every message box that comes up, as Answer says (by default its first button of
// OK, Yes, Abort), and keeps their texts and places.
class TBoxAnswerer {
public:
    TBoxAnswerer()
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!Box || !Box->isVisible() || Box == FLast)
                return;
            FLast = Box;
            Texts << Box->text();
            Geometries << Box->frameGeometry();
            QMessageBox::StandardButton B = Answer ? Answer(Box->text()) : QMessageBox::NoButton;
            if (B == QMessageBox::NoButton)
                for (auto Try : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Abort})
                    if (Box->button(Try)) {
                        B = Try;
                        break;
                    }
            Box->button(B)->click();
        });
        FTimer.start();
    }
    QStringList Texts;
    QList<QRect> Geometries; // where each box was on the screen
    std::function<QMessageBox::StandardButton(const QString &Text)> Answer;

private:
    QTimer FTimer;
    QPointer<QMessageBox> FLast;
};

// Texts in failure messages as text.
inline void PrintTo(const QString &S, std::ostream *Os) { *Os << '"' << S.toStdString() << '"'; }
