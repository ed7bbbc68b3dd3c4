#include "support/TextCodec.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>

#include <climits>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>

namespace {

// Finding a codec by name costs far more than converting a record's name, and
// Qt keeps every codec it hands out for the life of the process.
QTextCodec* codec_for(const char* code_page)
{
    static std::mutex mutex;
    static std::map<std::string, QTextCodec*, std::less<>> codecs;
    std::lock_guard<std::mutex> lock(mutex);
    const auto known = codecs.find(code_page);
    if (known != codecs.end())
        return known->second;
    QTextCodec* codec = QTextCodec::codecForName(code_page);
    if (codec != nullptr)
        codecs.emplace(code_page, codec);
    return codec;
}

} // namespace

std::string to_utf8(const char* code_page, const std::string& text)
{
    QTextCodec* codec = codec_for(code_page);
    if (codec == nullptr)
        throw std::runtime_error(std::string("to_utf8: no text codec for ") + code_page);
    if (text.size() > static_cast<size_t>(INT_MAX))
        throw std::runtime_error("to_utf8: text too long");
    const QByteArray utf8 = codec->toUnicode(text.data(), static_cast<int>(text.size())).toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}
