// vms-client HOST PORT LOGIN PASSWORD
// Logs into the bridge as the video system does, prints the element tree and
// then one line per update, until the bridge closes the connection.

#include "VmsClient.h"

#include <cstring>
#include <iostream>

int main(int argc, char** argv)
{
    const char usage[] = "usage: vms-client HOST PORT LOGIN PASSWORD\n";
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::cout << usage;
        return 0;
    }
    if (argc != 5) {
        std::cerr << usage;
        return kVmsClientUsage;
    }
    VmsClient client(std::cout);
    return client.Run(argv[1], argv[2], argv[3], argv[4]);
}
