#include "store/storefile.h"

#include "store/textcodec.h"

#include <cstring>

namespace qf::store {

void TFileHandle::Write(const void *Data, size_t Count)
{
    FBuf.append(static_cast<const char *>(Data), Count);
}

void TFileHandle::WriteInt32(int32_t Value)
{
    uint32_t u = uint32_t(Value);
    unsigned char b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    Write(b, 4);
}

size_t TFileHandle::Read(void *Data, size_t Count)
{
    int64_t avail = Remaining();
    size_t n = avail <= 0 ? 0 : std::min<size_t>(Count, size_t(avail));
    if (n)
        std::memcpy(Data, FBuf.data() + FPos, n);
    FPos += int64_t(n);
    if (n < Count)
        FDamaged = true;
    return n;
}

bool TFileHandle::ReadInt32(int32_t &Value)
{
    unsigned char b[4];
    if (Remaining() < 4) { // also at the very end: a number the owner expects is missing
        FDamaged = true;
        FPos = int64_t(FBuf.size());
        return false;
    }
    Read(b, 4);
    Value =
        int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return true;
}

TFileHandle TFileHandle::ForReading(std::string Bytes)
{
    TFileHandle h;
    h.FBuf = std::move(Bytes);
    return h;
}

void FileWriteStr(TFileHandle &H, const std::string &S)
{
    H.WriteInt32(int32_t(S.size()));
    H.Write(S.data(), S.size());
}

void FileWriteStr(TFileHandle &H, const QString &S)
{
    QByteArray u = S.toUtf8();
    FileWriteStr(H, std::string(u.constData(), size_t(u.size())));
}

std::string FileReadStr(TFileHandle &H)
{
    int32_t len = 0;
    if (!H.ReadInt32(len))
        return {};
    if (len < 0 || len > H.Remaining()) {
        H.MarkDamaged();
        return {};
    }
    std::string s(size_t(len), '\0');
    H.Read(s.data(), s.size());
    return s;
}

QString FileReadQStr(TFileHandle &H)
{
    std::string s = FileReadStr(H);
    return DecodeUtf8OrCp1252(QByteArrayView(s.data(), qsizetype(s.size())));
}

} // namespace qf::store
