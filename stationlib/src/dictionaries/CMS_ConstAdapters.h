#pragma once

#include "dictionaries/CMS_ContainerXml.h"

// The station's adapter type documents, refilled at each login.
class CMS_ConstAdapters : public CMS_ContainerXml
{
};
