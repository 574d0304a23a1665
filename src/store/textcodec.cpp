#include "store/textcodec.h"

#include <QStringDecoder>

bool IsValidUtf8(QByteArrayView Bytes) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = dec.decode(Bytes);
    return !dec.hasError();
}

QString DecodeCp1252(QByteArrayView Bytes) {
    // 0x80..0x9F differ from Latin-1; the five undefined codes map to the C1 controls as Windows does.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(Bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < Bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(Bytes[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return out;
}

QString DecodeUtf8OrCp1252(QByteArrayView Bytes) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = dec.decode(Bytes);
    return dec.hasError() ? DecodeCp1252(Bytes) : s;
}
