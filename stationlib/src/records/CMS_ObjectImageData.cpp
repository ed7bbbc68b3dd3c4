#include "records/CMS_ObjectImageData.h"

const RecordFields<CMS_ObjectImageData>& CMS_ObjectImageData::Fields()
{
    using F = RecordField<CMS_ObjectImageData>;
    using R = CMS_ObjectImageData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Number", &R::Number),
        F::Int("ObjectID", &R::ObjectID),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Text("Name", &R::Name),
        F::Text("Descr", &R::Descr),
        F::Text("Settings", &R::Settings),
        F::Text("Objects", &R::Objects),
        F::Int("DataSize", &R::DataSize),
        F::Block("Data", &R::DataSize, &R::Data),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}
