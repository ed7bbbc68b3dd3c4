#pragma once

#include "dictionaries/CMS_ContainerXml.h"

// The station's device type documents, refilled at each login and handed to the
// host as the device-type list.
class CMS_ConstDevices : public CMS_ContainerXml
{
};
