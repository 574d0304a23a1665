#include "store/textcodec.h"

#include <cstdint>

namespace qf::store {

bool IsValidUtf8(QByteArrayView Bytes)
{
    const auto *p = reinterpret_cast<const uint8_t *>(Bytes.data());
    const auto *End = p + Bytes.size();
    while (p < End) {
        const uint8_t c = *p++;
        if (c < 0x80)
            continue;
        int More;
        uint32_t Code;
        if (c >= 0xC2 && c <= 0xDF) {
            More = 1;
            Code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            More = 2;
            Code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            More = 3;
            Code = c & 0x07;
        } else
            return false;
        if (End - p < More)
            return false;
        for (int i = 0; i < More; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            Code = (Code << 6) | (p[i] & 0x3F);
        }
        p += More;
        if ((More == 2 && (Code < 0x800 || (Code >= 0xD800 && Code <= 0xDFFF))) ||
            (More == 3 && (Code < 0x10000 || Code > 0x10FFFF)))
            return false;
    }
    return true;
}

QString DecodeCp1252(QByteArrayView Bytes)
{
    // 0x80..0x9F differ from Latin-1; the five undefined codes map to the C1 controls as Windows
    // does.
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

QString DecodeUtf8OrCp1252(QByteArrayView Bytes)
{
    return IsValidUtf8(Bytes) ? QString::fromUtf8(Bytes) : DecodeCp1252(Bytes);
}

} // namespace qf::store
