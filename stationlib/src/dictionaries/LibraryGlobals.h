#pragma once

class CMS_ConstAdapters;
class CMS_ConstDevices;
class CMS_ConstDictionaries;
class CMS_ConstTemplates;

// The library's one set of constant dictionaries, filled from the station at
// login and read when events are applied to objects.
CMS_ConstDictionaries& const_dictionaries();

// The station's device and adapter type documents, refilled at every login.
CMS_ConstDevices& const_devices();
CMS_ConstAdapters& const_adapters();
// The object and schedule templates of the library's folder.
CMS_ConstTemplates& const_templates();
