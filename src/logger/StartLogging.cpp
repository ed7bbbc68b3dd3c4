#include "logger/Logger.h"

#include "utils/Assertion.h"
#include "utils/FileFunctions.h"
#include "utils/ProcessLogger.h"

#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

void start_logging(const std::string& log_dir, const std::string& crashlog_dir, const std::string& log_filename,
                   const std::string& identity, uint64_t max_file_size)
{
    KORVEL_ASSERT(!crashlog_dir.empty() && (!identity.empty() || !log_filename.empty()));
    if (!log_dir.empty() && !log_filename.empty()) {
        // The previous run's log is kept where crash logs go; failures here are
        // not worth stopping for.
        const fs::path name(log_filename);
        const std::string stem = name.stem().string(), extension = name.extension().string();
        const std::string log_path = log_dir + "/" + log_filename;
        boost::system::error_code ignored;
        fs::create_directories(crashlog_dir, ignored);
        try {
            move_file(log_path, crashlog_dir + "/" + stem + ".bkp" + extension, true);
        } catch (const std::exception&) {
            fs::remove(log_path, ignored);
        }
        fs::remove(log_dir + "/" + stem + ".older" + extension, ignored);
    }
    if (g_logger.load() != nullptr)
        return;
    auto logger = std::make_unique<Logger>(log_dir, crashlog_dir, log_filename, identity, max_file_size, 0, "");
    Logger* expected = nullptr;
    // Lives until the process ends, unless another thread installed one first.
    if (g_logger.compare_exchange_strong(expected, logger.get()))
        logger.release();
}
