#include "model/ElementRecord.h"

#include "utils/Assertion.h"

#include <boost/endian/conversion.hpp>

namespace {

// Records are shared by the model and the server; their checks name the common code.
const char kRecordSource[] = "korvel\\korvel-common";

} // namespace

void append_element_record(const KorvelElementPtr& element, uint8_t level, std::vector<uint8_t>& out)
{
    if (!element)
        assertion_failed("element", kRecordSource, __LINE__);
    const size_t start = out.size();
    out.resize(start + kElementRecordFixedSize + element->Name.size());
    uint8_t* p = out.data() + start;
    p[0] = level;
    const int32_t fields[] = {element->ID,          element->Group, element->ObjectID, element->Type,
                              element->StateLevel, element->State, element->Number};
    for (size_t i = 0; i < 7; ++i)
        boost::endian::store_little_s32(p + 1 + 4 * i, fields[i]);
    boost::endian::store_little_u32(p + 29, static_cast<uint32_t>(element->Name.size()));
    element->Name.copy(reinterpret_cast<char*>(p + kElementRecordFixedSize), element->Name.size());
}

bool read_element_record(const uint8_t* data, size_t size, size_t& offset, ElementRecord& record)
{
    if (offset > size || size - offset < kElementRecordFixedSize)
        return false;
    const uint8_t* p = data + offset;
    const uint32_t name_length = boost::endian::load_little_u32(p + 29);
    if (size - offset - kElementRecordFixedSize < name_length)
        return false;
    record.level = p[0];
    int32_t* const fields[] = {&record.ID,          &record.Group, &record.ObjectID, &record.Type,
                               &record.StateLevel, &record.State, &record.Number};
    for (size_t i = 0; i < 7; ++i)
        *fields[i] = boost::endian::load_little_s32(p + 1 + 4 * i);
    record.Name.assign(reinterpret_cast<const char*>(p + kElementRecordFixedSize), name_length);
    offset += kElementRecordFixedSize + name_length;
    return true;
}
