#pragma once
// The open file that a store's owner reads its entry data from or writes it to.
// Reads never go past what the file holds: a short read marks the handle damaged.

#include <QString>
#include <cstdint>
#include <string>

namespace qf::store {

class TFileHandle {
public:
    // Writing: bytes are collected and reach the disk when the save completes.
    void Write(const void *Data, size_t Count);
    void WriteInt32(int32_t Value);

    // Reading: returns how many bytes were read (fewer only at the end of the file).
    size_t Read(void *Data, size_t Count);
    bool ReadInt32(int32_t &Value);
    int64_t Position() const { return FPos; }
    int64_t Remaining() const { return int64_t(FBuf.size()) - FPos; }
    bool AtEnd() const { return Remaining() <= 0; }
    bool Damaged() const { return FDamaged; }
    void MarkDamaged() { FDamaged = true; }

    // For the store itself.
    static TFileHandle ForReading(std::string Bytes);
    const std::string &Bytes() const { return FBuf; }

private:
    std::string FBuf;
    int64_t FPos = 0;
    bool FDamaged = false;
};

// Length-prefixed strings: a 4-byte little-endian length, then the bytes.
void FileWriteStr(TFileHandle &H, const std::string &S);
void FileWriteStr(TFileHandle &H, const QString &S); // as UTF-8
// A length that cannot be read counts as 0; a length that is negative or runs past the end
// reads as empty and marks the handle damaged.
std::string FileReadStr(TFileHandle &H);
QString FileReadQStr(TFileHandle &H); // UTF-8, or Windows-1252 when the bytes are not valid UTF-8

} // namespace qf::store
