// The bytes as a controller reply (any JSON value, or the bytes as one string when they are no
// JSON), judged as a write command's reply, rendered for the audit trail and read as the DH
// answer.
#include "controllerreply.h"
#include "fuzzinput.h"

#include <QJsonDocument>
#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QJsonArray parsed = QJsonDocument::fromJson("[" + bytes + "]").array();
    const QJsonValue reply = parsed.isEmpty() ? QJsonValue(QString::fromUtf8(bytes)) : parsed[0];
    // Null never succeeds; the DH answer has a value per link.
    const QJsonArray links = dhParamsLinkArray(reply);
    if ((controllerReplySucceeded(reply) && reply.isNull()) ||
        dhParamsLinkValues(links).size() != links.size())
        __builtin_trap();
    jsonValueToText(reply);
    return 0;
}
