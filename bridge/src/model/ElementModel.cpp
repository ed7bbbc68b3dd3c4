#include "model/ElementModel.h"

#include "model/AlarmLevels.h"
#include "support/BridgeAssert.h"
#include "support/BridgeLog.h"

ElementMap g_group_map;
std::mutex g_model_mutex;

bool apply_object_event(const KorvelEvent& event, KorvelElementPtr& changed, bool apply)
{
    std::lock_guard<std::mutex> lock(g_model_mutex);
    const auto group = g_group_map.find(event.ObjectGroupID);
    if (group == g_group_map.end() || !group->second)
    {
        log_message(kLogInfo, "event for unknown group id = %i\n", event.ObjectGroupID);
        return false;
    }
    const ElementMap& objects = group->second->children;
    const auto object = objects.find(event.ObjectID);
    if (object == objects.end() || !object->second)
    {
        log_message(kLogInfo, "event for unknown object %i at group id %i\n", event.ObjectID, event.ObjectGroupID);
        return false;
    }
    changed = object->second;
    BRIDGE_ASSERT(changed);
    if (!apply)
        return true;

    const int level = level_for_event(event.Type, event.SubType);
    if (level < 0 || level == changed->StateLevel)
        return false;
    changed->StateLevel = level;
    return true;
}

void apply_sensor_event(const KorvelEventPtr& e, std::vector<KorvelElementPtr>& changed)
{
    BRIDGE_ASSERT(e);
    KorvelElementPtr object;
    if (!apply_object_event(*e, object, false))
        return;

    std::lock_guard<std::mutex> lock(g_model_mutex);
    const bool all = e->SensorNumber == ALL_SENSORS;
    bool concerned_any = false;
    for (const auto& entry : object->children)
    {
        const KorvelElementPtr& to_change = entry.second;
        if (!to_change || (!all && to_change->Number != e->SensorNumber))
            continue;
        concerned_any = true;
        log_message(kLogVerbose, "event for group id %i, object %s (id %i), sensor %s (%i): %s\n", object->Group,
                    object->Name.c_str(), object->ID, to_change->Name.c_str(), to_change->Number, e->Text.c_str());
        const int level = level_for_event(e->Type, e->SubType);
        if (level < 0 || level == to_change->StateLevel)
        {
            log_message(kLogVerbose, "same state %i for type %i, subtype %i\n", to_change->StateLevel, e->Type,
                        e->SubType);
        }
        else if (!(all && to_change->StateLevel == 0))
        {
            // An event for every sensor leaves those at level 0 as they are.
            BRIDGE_ASSERT(to_change);
            to_change->StateLevel = level;
            changed.push_back(to_change);
        }
        if (!all)
            break;
    }
    if (!all && !concerned_any)
        log_message(kLogInfo, "unknown sensor num %i for object id %i\n", e->SensorNumber, e->ObjectID);
}
