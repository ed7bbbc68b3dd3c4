#pragma once

#include <tinyxml.h>

// Owner of one TinyXML document; list documents, templates and settings are
// built and parsed through one of these.
class CXmlHelper
{
public:
    CXmlHelper() = default;
    virtual ~CXmlHelper() = default;

    TiXmlDocument* GetDocument() { return &m_document; }
    const TiXmlDocument* GetDocument() const { return &m_document; }

private:
    TiXmlDocument m_document;
};
