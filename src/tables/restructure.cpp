#include "tables/restructure.h"

#include "tables/data/dataset.h"

namespace qf::tables {

namespace {
// Upper case one character to one, as the writer's names ("ß" stays).
QString Upper(const QString &Text)
{
    QString Result;
    for (const char32_t Code : Text.toStdU32String()) {
        const char32_t Up = QChar::toUpper(Code);
        Result.append(QString::fromUcs4(&Up, 1));
    }
    return Result;
}

constexpr TDbfType kKinds[] = {dtC, dtN, dtD, dtL, dtM};
} // namespace

QString DbfTypeText(TDbfType Kind)
{
    return Kind <= dtM ? QString(QLatin1Char(DbfTypeLetter(Kind))) : QString();
}

void CopyPickList(const QStringList &Source, std::optional<QStringList> &Target)
{
    if (!Target)
        Target.emplace();
    if (!Source.isEmpty())
        *Target = Source;
}

void TRestructure::BuildFieldDefs(const TADOQuery &DataSet,
                                  const std::vector<TFieldEditInfo> &FieldInfo)
{
    FFieldDefs.clear();
    if (!DataSet.Active())
        return;
    for (int i = 0; i < DataSet.FieldCount(); ++i) {
        const TField &Field = DataSet.Fields(i);
        TFieldDefRec Def;
        Def.SourceName = Def.Name = Field.FieldName();
        Def.Kind = MapFieldTypeToDbf(Field.DataType());
        Def.Size = Def.Kind == dtC ? Field.Size() : DbfFieldWidth(Def.Kind, 0);
        if (size_t(i) < FieldInfo.size()) {
            const TFieldEditInfo &Info = FieldInfo[size_t(i)];
            Def.EditWidth = Info.EditWidth;
            Def.GridWidth = Info.GridWidth;
            if (HasPickList(Def.Kind))
                CopyPickList(Info.PickList, Def.PickList);
            Def.Template = Info.Template;
            Def.Autocomplete = Info.Autocomplete;
        } else if (HasPickList(Def.Kind)) {
            Def.PickList.emplace();
        }
        FFieldDefs.push_back(std::move(Def));
    }
}

QStringList TRestructure::RowTexts(int Index) const
{
    const TFieldDefRec &Def = FFieldDefs.at(size_t(Index));
    return {Def.Name, DbfTypeText(Def.Kind),
            Def.Kind == dtC ? QString::number(Def.Size) : QString()};
}

int TRestructure::Add()
{
    TFieldDefRec Def;
    Def.Kind = dtC;
    Def.Autocomplete = 1;
    FFieldDefs.push_back(Def);
    return int(FFieldDefs.size()) - 1;
}

void TRestructure::Delete(int Index)
{
    if (Index >= 0 && Index < int(FFieldDefs.size()))
        FFieldDefs.erase(FFieldDefs.begin() + Index);
}

bool TRestructure::MoveUp(int Index)
{
    if (Index < 1 || Index >= int(FFieldDefs.size()))
        return false;
    std::swap(FFieldDefs[size_t(Index)], FFieldDefs[size_t(Index) - 1]);
    return true;
}

bool TRestructure::MoveDown(int Index)
{
    if (Index < 0 || Index + 1 >= int(FFieldDefs.size()))
        return false;
    std::swap(FFieldDefs[size_t(Index)], FFieldDefs[size_t(Index) + 1]);
    return true;
}

bool TRestructure::IsUniqueFieldName(int Index, const QString &Name) const
{
    const QString Wanted = Upper(Name);
    for (int i = 0; i < int(FFieldDefs.size()); ++i)
        if (i != Index && Upper(FFieldDefs[size_t(i)].Name) == Wanted)
            return false;
    return true;
}

QString TRestructure::CheckField(int Index, const QString &Name, int TypeIndex,
                                 const QString &SizeText) const
{
    if (Name.trimmed().isEmpty())
        return QStringLiteral("Field Name Required");
    if (TypeIndex == 0) {
        if (SizeText.trimmed().isEmpty())
            return QStringLiteral("Field Size Required");
        bool Ok = false;
        const int Size = SizeText.trimmed().toInt(&Ok);
        if (!Ok)
            return QStringLiteral("Invalid Size");
        if (Size <= 0)
            return QStringLiteral("Field Size Required");
        if (Size > 254)
            return QStringLiteral("Maximum Size of Field is 254");
    }
    if (!IsUniqueFieldName(Index, Name))
        return QStringLiteral("Dublicate Field Name - \"%1\"").arg(Name);
    return QString();
}

void TRestructure::ApplyEdit(int Index, const QString &Name, int TypeIndex, const QString &SizeText)
{
    if (Index < 0 || Index >= int(FFieldDefs.size()))
        return;
    TFieldDefRec &Def = FFieldDefs[size_t(Index)];
    Def.Name = Upper(Name);
    if (TypeIndex < 0 || TypeIndex > 4)
        return;
    Def.Kind = kKinds[TypeIndex];
    Def.Size = Def.Kind == dtC ? SizeText.trimmed().toInt() : DbfFieldWidth(Def.Kind, 0);
}

} // namespace qf::tables
