#include "utils/LanguageNames.h"

#include "utils/LogFunctions.h"

#include <boost/filesystem.hpp>
#include <boost/regex.hpp>

#include <exception>

std::set<std::string> i18n_codes_available(const char* folder)
{
    namespace fs = boost::filesystem;
    // The library's own language needs no file.
    std::set<std::string> codes{"en"};
    if (folder == nullptr)
        return codes;
    try {
        const std::string base(folder);
        const boost::regex pattern("ramlocore-([[:alpha:]]{2})\\.qm");
        for (const std::string& candidate : {base, base + "/i18n/", base + "/../Resources/i18n/"}) {
            if (!fs::is_directory(candidate))
                continue;
            for (const fs::directory_entry& entry : fs::directory_iterator(candidate)) {
                if (!fs::is_regular_file(entry.status()))
                    continue;
                boost::smatch match;
                const std::string name = entry.path().filename().string();
                if (boost::regex_match(name, match, pattern))
                    codes.insert(match[1].str());
            }
        }
    } catch (const std::exception& error) {
        log_warning("i18n_codes_available error, %s\n", error.what());
    }
    return codes;
}
