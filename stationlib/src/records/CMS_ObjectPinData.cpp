#include "records/CMS_ObjectPinData.h"

CMS_ObjectPinData::CMS_ObjectPinData(const CMS_ObjectPinData& other) : FieldTableRecord(other)
{
    AssignWhole(other);
}

const RecordFields<CMS_ObjectPinData>& CMS_ObjectPinData::Fields()
{
    using F = RecordField<CMS_ObjectPinData>;
    using R = CMS_ObjectPinData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("ObjectID", &R::ObjectID),
        F::Int("Index", &R::Index),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Text("Name", &R::Name),
        F::Text("inExpr", &R::inExpr),
        F::Text("outExpr", &R::outExpr),
        F::Text("Settings", &R::Settings),
        F::Int("State", &R::State, kDynamic),
        F::Int("DynamicState", &R::DynamicState, kDynamic),
        F::Text("Value", &R::Value, kDynamic),
        F::Int("OriginServerId", &R::OriginServerId),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}
