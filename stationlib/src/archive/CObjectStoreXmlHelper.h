#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CByteStream;
class CFieldArchive;

// Base of every station record: one Load and one Save over a field archive serve
// both the station's byte form and the XML documents of the host.
class CObjectStoreXmlHelper
{
public:
    CObjectStoreXmlHelper() = default;
    // Records are handed out as owned base pointers (CreateNew).
    virtual ~CObjectStoreXmlHelper() = default;

    // Reads the fields in the record's order; false at the first that fails, or
    // for a null archive. A non-zero flag reads the dynamic fields but keeps the
    // record's own values of them.
    virtual bool Load(CFieldArchive* archive, int flag) = 0;
    // Writes the fields in the same order; false for a null archive.
    virtual bool Save(CFieldArchive* archive) const = 0;
    // Copies a record of the same class through the byte form; memory-only values
    // are recomputed by Load or left as they are.
    virtual bool AssignFrom(const CObjectStoreXmlHelper* other, int flag);
    // A new default record of the same class (not a copy).
    virtual std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const = 0;
    // The record's file in the library's data store, or "".
    virtual std::string GetStoreFileName() const = 0;

    bool LoadFromStream(CByteStream* stream, int flag);
    bool SaveToStream(CByteStream* stream) const;

protected:
    // For a copy constructor: AssignFrom (other, 0), throwing RecordCopyError
    // when the copy is not whole.
    void AssignWhole(const CObjectStoreXmlHelper& other);

    // The stream being read stays the reader's: a copied record starts unbound.
    CObjectStoreXmlHelper(const CObjectStoreXmlHelper&) {}
    CObjectStoreXmlHelper& operator=(const CObjectStoreXmlHelper&) { return *this; }

    // The stream LoadFromStream reads while its Load runs, else null; a data block
    // is checked against the bytes left in it before it is allocated.
    const CByteStream* LoadSource() const { return m_loadSource; }

    // <library folder>/Data/<kind>/<id>.xml, creating the kind's folder; "" when
    // the folder cannot be made.
    static std::string StoreFileName(const char* kind_folder, int32_t id);

private:
    const CByteStream* m_loadSource = nullptr;
};
