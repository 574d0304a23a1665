#include "composer/projectitems.h"

#include "store/dlist.h"

namespace qf::composer {

void PutString(store::TDList &List, const QString &Key, int Kind, const QString &Value)
{
    List.Add(Key, Kind, new QString(Value));
}

void PutInt32(store::TDList &List, const QString &Key, int Kind, int32_t Value)
{
    List.Add(Key, Kind, new int32_t(Value));
}

void PutByte(store::TDList &List, const QString &Key, int Kind, uint8_t Value)
{
    List.Add(Key, Kind, new uint8_t(Value));
}

namespace {

void *DataOf(const store::TDList &List, const QString &Key, TPayload Payload)
{
    int Structure = 0;
    void *Data = nullptr;
    if (!List.Find(Key, Structure, Data) || !Data || PayloadOfKind(Structure) != Payload)
        return nullptr;
    return Data;
}

} // namespace

bool GetString(const store::TDList &List, const QString &Key, QString &Value)
{
    QString *Data = StringData(List, Key);
    if (Data)
        Value = *Data;
    return Data;
}

bool GetInt32(const store::TDList &List, const QString &Key, int32_t &Value)
{
    auto *Data = static_cast<int32_t *>(DataOf(List, Key, plInt32));
    if (Data)
        Value = *Data;
    return Data;
}

bool GetByte(const store::TDList &List, const QString &Key, uint8_t &Value)
{
    auto *Data = static_cast<uint8_t *>(DataOf(List, Key, plByte));
    if (Data)
        Value = *Data;
    return Data;
}

QString *StringData(const store::TDList &List, const QString &Key)
{
    return static_cast<QString *>(DataOf(List, Key, plString));
}

} // namespace qf::composer
