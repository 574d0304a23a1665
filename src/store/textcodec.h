#pragma once
// Decoding of 8-bit text that came from elsewhere.

#include <QByteArrayView>
#include <QString>
#include <bit>
#include <cstdint>
#include <cstring>

namespace qf::store {

// Whether no byte is above 0x7F, eight at a time: field texts are short and mostly ASCII. Inline,
// since the filter and the merge ask it per value.
inline bool IsAscii(QByteArrayView Bytes)
{
    const char *p = Bytes.data(), *End = p + Bytes.size();
    uint64_t Any = 0;
    for (; End - p >= 8; p += 8) {
        uint64_t Word;
        std::memcpy(&Word, p, sizeof Word);
        Any |= Word;
    }
    for (; p < End; ++p)
        Any |= uint8_t(*p);
    return !(Any & 0x8080808080808080ull);
}

// A stored text's width without the blanks (spaces, NULs) that pad it on the right, eight bytes at
// a time.
inline int TrimmedWidth(const char *Bytes, int Width)
{
    for (; Width >= 8; Width -= 8) {
        uint64_t Word;
        std::memcpy(&Word, Bytes + Width - 8, sizeof Word);
        if (const uint64_t Other = Word & 0xDFDFDFDFDFDFDFDFull)
            return Width - std::countl_zero(Other) / 8;
    }
    while (Width > 0 && (Bytes[Width - 1] & 0xDF) == 0)
        --Width;
    return Width;
}

bool IsValidUtf8(QByteArrayView Bytes);
QString DecodeCp1252(QByteArrayView Bytes);
// UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString DecodeUtf8OrCp1252(QByteArrayView Bytes);

} // namespace qf::store
