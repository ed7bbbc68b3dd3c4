#include "records/CMS_PersonData.h"

#include "base/CByteStream.h"
#include "base/StringHelpers.h"

const RecordFields<CMS_PersonData>& CMS_PersonData::Fields()
{
    using F = RecordField<CMS_PersonData>;
    using R = CMS_PersonData;
    static const RecordField<R> rows[] = {
        F::Int("ID", &R::ID),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Text("Name", &R::Name),
        F::Text("Settings", &R::Settings),
        F::Text("Key", &R::Key),
        F::Int("OriginServerId", &R::OriginServerId),
        F::Then(&R::ParsePersObjects),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}

std::string CMS_PersonData::GetStoreFileName() const
{
    return StoreFileName("Persons", ID);
}

bool CMS_PersonData::ReadStation(CByteStream* stream)
{
    // The station's list carries the person exactly in the record's own order.
    return LoadFromStream(stream, 0);
}

void CMS_PersonData::ParsePersObjects()
{
    ReadClientSettings(Settings);
    std::vector<std::string> pieces;
    split_commas(settings_get(Settings, "PersObjects", std::string()), pieces);
    PersObjects.clear();
    for (const std::string& piece : pieces)
        PersObjects.push_back(crt_atoi(piece.c_str()));
}
