#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "threads/CCritSect.h"

class CByteStream;
class TiXmlDocument;
class TiXmlNode;

// A set of XML documents of one kind, each naming its type in Root.General.Typ
// and its name in Root.General.Name; filled from the station's answers or from a
// folder of files.
//
// The containers are shared by every client instance of the process, and one
// instance may refill a container while another reads it. So a new document set is
// built aside and swapped in under the lock, and lookups hand out shared owners of
// documents that stay valid after a later refill.
class CMS_ContainerXml
{
public:
    using Document = std::shared_ptr<const TiXmlDocument>;

    // A file written from a library resource when the container's folder lacks it.
    // A table ends at the entry without a name.
    struct DefaultFile
    {
        int resource_id;
        const char* file_name;
    };

    CMS_ContainerXml();
    virtual ~CMS_ContainerXml();
    CMS_ContainerXml(const CMS_ContainerXml&) = delete;
    CMS_ContainerXml& operator=(const CMS_ContainerXml&) = delete;

    // Called after every successful AddDocuments; nothing in the base.
    virtual void Load();

    // Sign and folder (the library folder, subfolder) set, default files written,
    // then the folder loaded.
    void Init(const std::string& sign, const std::string& subfolder, const DefaultFile* defaults,
              bool overwrite);
    // Writes the default files into the folder (creating it): every one when
    // overwrite is set, else only those missing.
    void EnsureDefaultFiles(bool overwrite);
    // The documents become the "*.xml" files of the folder whose Root.Sign equals
    // the sign exactly; files that do not parse are left out.
    void LoadFolder();
    // Rebuilds the names map and the types list from the documents.
    void Reindex();

    // The documents become those of the stream: int32 count, then count
    // length-prefixed texts. When a text cannot be read the documents read so far
    // are kept, the index stays as it was and the result is false.
    bool AddDocuments(CByteStream* stream);
    // The first document of the type, or none.
    Document FindByType(int32_t type) const;
    // The printed text of FindByType(type), or "".
    std::string GetDocumentText(int32_t type) const;
    // The documents as AddDocuments reads them; false as soon as a write fails.
    bool WriteDocuments(CByteStream* stream) const;

    std::string GetSign() const;
    // With its trailing separator; empty until Init.
    std::string GetFolder() const;
    std::vector<Document> GetDocuments() const;
    std::map<int32_t, std::string> GetNamesByType() const;
    std::vector<int32_t> GetTypes() const;

    // The type number of a document: the atoi value of a Root.General.Typ made of
    // decimal digits (one leading "-" allowed), 0 for any other text; false when
    // the text is empty or missing.
    static bool GetDocumentType(const TiXmlNode* document, int32_t& type);
    // The first document of the type in a set taken from GetDocuments, or none.
    static Document FindFirstOfType(const std::vector<Document>& documents, int32_t type);

private:
    void SwapDocuments(std::vector<Document>& documents, bool reindex);

    std::string m_sign;
    std::string m_folder;
    const DefaultFile* m_defaults = nullptr;
    std::vector<Document> m_documents;
    mutable CCritSect m_lock;
    std::map<int32_t, std::string> m_namesByType;
    std::vector<int32_t> m_types;
};
