#include "zip/CZipAbstractFile.h"

bool CZipAbstractFile::Open(const std::string&, int, bool)
{
    return true;
}

CZipAbstractFile::~CZipAbstractFile() = default;
