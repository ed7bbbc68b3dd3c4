#include "dictionaries/CMS_ConstTemplates.h"

void CMS_ConstTemplates::Load()
{
    Init(kSign, kSubfolder, nullptr, true);
    ImportPackages(1);
    ImportPackages(2);
}

void CMS_ConstTemplates::ImportPackages(int32_t /*kind*/)
{
    // Template packages are ZIP archives; their import is added together with the
    // archive reader. Until then waiting packages stay where they are.
}
