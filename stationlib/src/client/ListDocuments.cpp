// The list documents through which records travel between the library and its
// host: a root named after the record kind with "list" appended, one element
// per record, the record's fields as var elements.

#include "client/CMS_HelperClientLib.h"

#include "archive/CFieldArchive.h"
#include "archive/CObjectStoreXmlHelper.h"
#include "base/CXmlHelper.h"
#include "base/XmlListWriter.h"
#include "base/XmlHelpers.h"

#include <tinyxml.h>

namespace {

// The declaration's encoding tells the parser to keep the Windows-1251 bytes as
// they are; the printer writes the declaration in its own form.
std::string skeleton(const std::string& root)
{
    return "<?xml version=\"1.0\"  encoding=\"windows-1251\">\r\n<" + root + ">\r\n</" + root + ">";
}

bool parse(CXmlHelper& xml, const std::string& text)
{
    return xml_parse(*xml.GetDocument(), text);
}

std::string print(const TiXmlDocument& document)
{
    TiXmlPrinter printer;
    printer.SetIndent("\t");
    printer.SetLineBreak("\r\n");
    document.Accept(&printer);
    return printer.Str();
}

bool append_record(TiXmlElement& root, const CObjectStoreXmlHelper* record, const std::string& tag)
{
    if (record == nullptr)
        return false;
    TiXmlNode* element = root.InsertEndChild(TiXmlElement(tag));
    if (element == nullptr)
        return false;
    CFieldArchive archive(element);
    return record->Save(&archive);
}

// The document written without a tree; false when only the tree gives the
// document's bytes (a tag the skeleton parse would not keep whole, a key
// written twice) or a record fails, which fails the tree as well.
bool write_list(const std::vector<const CObjectStoreXmlHelper*>& records, const std::string& tag,
                std::string& text, bool& failed)
{
    if (!XmlListWriter::IsPlainName(tag))
        return false;
    XmlListWriter writer(tag + "list");
    for (const CObjectStoreXmlHelper* record : records) {
        if (record == nullptr) {
            failed = true;
            return false;
        }
        writer.BeginRecord(tag);
        CFieldArchive archive(&writer);
        if (!record->Save(&archive)) {
            failed = true;
            return false;
        }
        if (writer.Repeated())
            return false;
        writer.EndRecord();
    }
    text = writer.Finish();
    return true;
}

} // namespace

std::string CMS_HelperClientLib::RecordToXml(const CObjectStoreXmlHelper& record, const std::string& tag)
{
    return BuildListXml(std::vector<const CObjectStoreXmlHelper*>{&record}, tag);
}

std::string CMS_HelperClientLib::BuildListXml(const std::vector<const CObjectStoreXmlHelper*>& records,
                                              const std::string& tag)
{
    std::string text;
    bool failed = false;
    if (write_list(records, tag, text, failed))
        return text;
    if (failed)
        return std::string();
    return BuildListXmlTree(records, tag);
}

std::string CMS_HelperClientLib::BuildListXmlTree(const std::vector<const CObjectStoreXmlHelper*>& records,
                                                  const std::string& tag)
{
    const std::string root = tag + "list";
    CXmlHelper xml;
    if (!parse(xml, skeleton(root)))
        return std::string();
    TiXmlElement* rootElement = xml.GetDocument()->FirstChildElement(root);
    if (rootElement == nullptr)
        return std::string();
    for (const CObjectStoreXmlHelper* record : records)
        if (!append_record(*rootElement, record, tag))
            return std::string();
    return print(*xml.GetDocument());
}

bool CMS_HelperClientLib::LoadListXml(const std::string& text, const std::string& tag,
                                      CObjectStoreXmlHelper& record)
{
    CXmlHelper xml;
    // A host hands back the text it read: its fields come back byte for byte.
    if (!xml_parse_exact_text(*xml.GetDocument(), text))
        return false;
    // Children are looked up by name, so a comment or another element before
    // the record is passed over.
    TiXmlNode* rootNode = xml.GetDocument()->FirstChild(tag + "list");
    TiXmlElement* root = rootNode != nullptr ? rootNode->ToElement() : nullptr;
    if (root == nullptr)
        return false;
    TiXmlNode* recordNode = root->FirstChild(tag);
    TiXmlElement* element = recordNode != nullptr ? recordNode->ToElement() : nullptr;
    if (element == nullptr)
        return false;
    CFieldArchive archive(element);
    return record.Load(&archive, 0);
}
