#include "dictionaries/CMS_ContainerXml.h"

#include <tinyxml.h>

#include <utility>

#include "base/CByteStream.h"
#include "base/FileHelpers.h"
#include "base/ModuleInfo.h"
#include "base/StringHelpers.h"
#include "base/XmlHelpers.h"
#include "base/XmlResources.h"
#include "threads/CCritSectLock.h"

CMS_ContainerXml::CMS_ContainerXml() = default;

CMS_ContainerXml::~CMS_ContainerXml() = default;

void CMS_ContainerXml::Load()
{
}

void CMS_ContainerXml::Init(const std::string& sign, const std::string& subfolder, const DefaultFile* defaults,
                            bool overwrite)
{
    {
        CCritSectLock lock(m_lock);
        m_sign = sign;
        m_folder = library_folder() + kPathSeparator + subfolder + kPathSeparator;
        m_defaults = defaults;
    }
    EnsureDefaultFiles(overwrite);
    LoadFolder();
}

void CMS_ContainerXml::EnsureDefaultFiles(bool overwrite)
{
    std::string folder;
    const DefaultFile* defaults = nullptr;
    {
        CCritSectLock lock(m_lock);
        folder = m_folder;
        defaults = m_defaults;
    }
    if (defaults == nullptr)
        return;
    std::string bare = folder;
    while (bare.size() > 1 && bare.back() == kPathSeparator)
        bare.pop_back();
    create_directories(bare);
    for (const DefaultFile* entry = defaults; entry->file_name != nullptr; ++entry)
        write_resource_file(entry->resource_id, folder + entry->file_name, overwrite);
}

void CMS_ContainerXml::LoadFolder()
{
    std::string folder;
    std::string sign;
    {
        CCritSectLock lock(m_lock);
        folder = m_folder;
        sign = m_sign;
    }
    // Files are parsed outside the lock; readers keep the old set until the swap.
    std::vector<Document> documents;
    std::vector<std::string> paths;
    list_files(paths, folder, "*.xml");
    for (const std::string& path : paths) {
        // The listing holds folders, FIFOs and devices too; none is a document.
        if (!is_regular_file(path))
            continue;
        auto document = std::make_shared<TiXmlDocument>();
        if (!xml_load_file(*document, path))
            continue;
        std::string file_sign;
        xml_get_path_text_c(file_sign, document.get(), "Root.Sign", "");
        if (file_sign == sign)
            documents.push_back(std::move(document));
    }
    SwapDocuments(documents, true);
}

void CMS_ContainerXml::Reindex()
{
    CCritSectLock lock(m_lock);
    m_namesByType.clear();
    m_types.clear();
    for (const Document& document : m_documents) {
        int32_t type = 0;
        if (!GetDocumentType(document.get(), type))
            continue;
        std::string name;
        xml_get_path_text_c(name, document.get(), "Root.General.Name", "");
        m_namesByType[type] = name;
        m_types.push_back(type);
    }
}

bool CMS_ContainerXml::AddDocuments(CByteStream* stream)
{
    if (stream == nullptr)
        return false;
    int32_t count = 0;
    if (!stream->ReadInt32(count))
        return false;
    // The count comes from the wire: documents are added as their texts arrive,
    // never reserved ahead.
    std::vector<Document> documents;
    std::string text;
    for (int32_t i = 0; i < count; ++i) {
        if (!stream->ReadString(text)) {
            SwapDocuments(documents, false);
            return false;
        }
        auto document = std::make_shared<TiXmlDocument>();
        // A text that does not parse is kept as far as the parser got.
        xml_parse_text(*document, text);
        documents.push_back(std::move(document));
    }
    SwapDocuments(documents, true);
    Load();
    return true;
}

CMS_ContainerXml::Document CMS_ContainerXml::FindByType(int32_t type) const
{
    CCritSectLock lock(m_lock);
    return FindFirstOfType(m_documents, type);
}

std::string CMS_ContainerXml::GetDocumentText(int32_t type) const
{
    std::string text;
    const Document document = FindByType(type);
    if (document)
        xml_node_to_text(document.get(), text);
    return text;
}

bool CMS_ContainerXml::WriteDocuments(CByteStream* stream) const
{
    if (stream == nullptr)
        return false;
    const std::vector<Document> documents = GetDocuments();
    if (!stream->WriteInt32(static_cast<int32_t>(documents.size())))
        return false;
    std::string text;
    for (const Document& document : documents) {
        xml_node_to_text(document.get(), text);
        if (!stream->WriteStdString(text))
            return false;
    }
    return true;
}

std::string CMS_ContainerXml::GetSign() const
{
    CCritSectLock lock(m_lock);
    return m_sign;
}

std::string CMS_ContainerXml::GetFolder() const
{
    CCritSectLock lock(m_lock);
    return m_folder;
}

std::vector<CMS_ContainerXml::Document> CMS_ContainerXml::GetDocuments() const
{
    CCritSectLock lock(m_lock);
    return m_documents;
}

std::map<int32_t, std::string> CMS_ContainerXml::GetNamesByType() const
{
    CCritSectLock lock(m_lock);
    return m_namesByType;
}

std::vector<int32_t> CMS_ContainerXml::GetTypes() const
{
    CCritSectLock lock(m_lock);
    return m_types;
}

bool CMS_ContainerXml::GetDocumentType(const TiXmlNode* document, int32_t& type)
{
    if (document == nullptr)
        return false;
    std::string text;
    xml_get_path_text_c(text, document, "Root.General.Typ", "");
    if (text.empty())
        return false;
    type = text_to_int(text);
    return true;
}

CMS_ContainerXml::Document CMS_ContainerXml::FindFirstOfType(const std::vector<Document>& documents, int32_t type)
{
    for (const Document& document : documents) {
        int32_t found = 0;
        if (GetDocumentType(document.get(), found) && found == type)
            return document;
    }
    return Document();
}

void CMS_ContainerXml::SwapDocuments(std::vector<Document>& documents, bool reindex)
{
    CCritSectLock lock(m_lock);
    m_documents.swap(documents);
    // The index follows the new set before any reader can see one without the other.
    if (reindex)
        Reindex();
}
