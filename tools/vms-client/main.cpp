// vms-client: logs into the bridge as the video system does (usage below).

#include "VmsClient.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "usage: vms-client HOST PORT LOGIN PASSWORD\n"
    "Logs into the bridge's video-system port as the Orvanta video system does,\n"
    "prints the element tree with each element's level and then one line per\n"
    "update, until the bridge closes the connection (status 0; 1 when the\n"
    "connection or the login fails).\n";

int wrong_arguments(const std::string& what)
{
    std::cerr << "vms-client: " << what << " (--help shows the usage)\n";
    return kVmsClientUsage;
}

bool valid_port(const char* text)
{
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && port >= 1 && port <= 65535;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (argc != 5)
        return wrong_arguments("HOST PORT LOGIN PASSWORD expected, " + std::to_string(argc - 1) + " given");
    if (!valid_port(argv[2]))
        return wrong_arguments(std::string("PORT takes 1 to 65535, not '") + argv[2] + "'");
    VmsClient client(std::cout);
    return client.Run(argv[1], argv[2], argv[3], argv[4]);
}
