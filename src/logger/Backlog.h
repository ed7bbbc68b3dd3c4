#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fixed ring of the latest log text, for a Logger without a file name. No lock
// of its own: callers hold the global logger mutex.
class Backlog
{
public:
    explicit Backlog(uint32_t size);
    void write(const char* text);
    // Writes the ring to a new file, oldest byte first. False when a file of
    // that name exists (it is left alone); one that cannot be made otherwise is
    // reported on standard error.
    bool dump(const std::string& name) const;

private:
    std::vector<char> m_buffer;
    size_t m_position = 0;
    bool m_wrapped = false; // older text lies after m_position
};
