#include "zip/ZipCompatibility.h"

#include "zip/CZipException.h"

namespace ZipCompatibility {
namespace {

// UNIX mode bits in the high half of the external attributes.
constexpr uint32_t kUnixFolder = 1u << 30;
constexpr uint32_t kUnixOwnerRead = 1u << 24;
constexpr uint32_t kUnixOwnerWrite = 1u << 23;
constexpr uint32_t kUnixOwnerExecute = 1u << 22;
// MS-DOS bits.
constexpr uint32_t kDosReadOnly = 0x01;
constexpr uint32_t kDosHidden = 0x02;
constexpr uint32_t kDosFolder = 0x10;
constexpr uint32_t kDosArchive = 0x20;

uint32_t Identity(uint32_t attributes)
{
    return attributes;
}

uint32_t UnixToDos(uint32_t attributes)
{
    uint32_t dos = (attributes & kUnixFolder) ? kDosFolder : 0;
    if (!(attributes & kUnixOwnerWrite))
        dos |= kDosReadOnly;
    if (!(attributes & kUnixOwnerRead))
        dos |= kDosHidden;
    if (!(attributes & kUnixOwnerExecute))
        dos |= kDosArchive;
    return dos;
}

uint32_t DosToUnix(uint32_t attributes)
{
    const bool readOnly = attributes & kDosReadOnly;
    const bool hidden = attributes & kDosHidden;
    uint32_t mode = 0x1B40000; // rw-rw-r--
    if (readOnly && hidden)
        mode = 0;
    else if (readOnly)
        mode = 0x1240000; // r--r--r--
    else if (hidden)
        mode = 0x900000; // -w--w----
    return mode | ((attributes & kDosFolder) ? 0x40000010 : 0x80000000);
}

uint32_t MacintoshBits(uint32_t attributes)
{
    return attributes & (kDosReadOnly | kDosFolder);
}

struct Converter
{
    uint32_t (*toDos)(uint32_t);
    uint32_t (*fromDos)(uint32_t);
};

// Indexed by system id 0 to 10; ids without a converter cannot be converted.
constexpr Converter kConverters[] = {
    {Identity, Identity},           // 0 MS-DOS and FAT
    {nullptr, nullptr},             // 1
    {nullptr, nullptr},             // 2
    {UnixToDos, DosToUnix},         // 3 UNIX
    {nullptr, nullptr},             // 4
    {nullptr, nullptr},             // 5
    {Identity, Identity},           // 6 OS/2 HPFS
    {MacintoshBits, MacintoshBits}, // 7 Macintosh
    {nullptr, nullptr},             // 8
    {nullptr, nullptr},             // 9
    {Identity, Identity},           // 10 Windows NTFS
};
constexpr int kLastSystemId = 10;

} // namespace

bool IsPlatformSupported(int systemId)
{
    return systemId >= 0 && systemId <= kLastSystemId && kConverters[systemId].toDos != nullptr;
}

uint32_t ConvertFileAttributes(uint32_t attributes, int fromSystem, int toSystem)
{
    if (fromSystem == toSystem || fromSystem > kLastSystemId || toSystem > kLastSystemId)
        return attributes;
    if (!IsPlatformSupported(fromSystem) || !IsPlatformSupported(toSystem))
        CZipException::Throw(CZipException::kAttributesNotConvertible);
    return kConverters[toSystem].fromDos(kConverters[fromSystem].toDos(attributes));
}

} // namespace ZipCompatibility
