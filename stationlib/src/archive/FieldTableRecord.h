#pragma once

#include <memory>
#include <string>

#include "archive/CObjectStoreXmlHelper.h"
#include "archive/RecordFieldTable.h"

// Base of the records whose Load and Save run one field table, R::Fields(), in
// the record's wire order. CreateNew makes a default R. A record kept in the data
// store overrides GetStoreFileName; the others have no file.
template <class R>
class FieldTableRecord : public CObjectStoreXmlHelper
{
public:
    bool Load(CFieldArchive* archive, int flag) override
    {
        return load_record_fields(R::Fields(), static_cast<R&>(*this), archive, flag, LoadSource());
    }

    bool Save(CFieldArchive* archive) const override
    {
        return save_record_fields(R::Fields(), static_cast<const R&>(*this), archive);
    }

    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override { return std::make_unique<R>(); }

    std::string GetStoreFileName() const override { return std::string(); }

protected:
    FieldTableRecord() = default;
    FieldTableRecord(const FieldTableRecord&) = default;
    FieldTableRecord& operator=(const FieldTableRecord&) = default;
};
