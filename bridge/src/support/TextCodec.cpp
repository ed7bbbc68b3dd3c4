#include "support/TextCodec.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>

#include <climits>
#include <stdexcept>

std::string to_utf8(const char* code_page, const std::string& text)
{
    QTextCodec* codec = QTextCodec::codecForName(code_page);
    if (codec == nullptr)
        throw std::runtime_error(std::string("to_utf8: no text codec for ") + code_page);
    if (text.size() > static_cast<size_t>(INT_MAX))
        throw std::runtime_error("to_utf8: text too long");
    const QByteArray utf8 = codec->toUnicode(text.data(), static_cast<int>(text.size())).toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}
