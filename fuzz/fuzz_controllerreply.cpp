// The bytes as a controller reply (any JSON value, or the bytes as one string when they are no
// JSON), judged as a write command's reply, rendered for the audit trail and read as the DH
// answer; null and no value beside it.
#include "controllerreply.h"
#include "fuzzinput.h"

#include <QJsonDocument>
#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QJsonArray parsed = QJsonDocument::fromJson("[" + bytes + "]").array();
    const QJsonValue reply = parsed.isEmpty() ? QJsonValue(QString::fromUtf8(bytes)) : parsed[0];
    for (const QJsonValue& value : {reply, QJsonValue(), QJsonValue(QJsonValue::Undefined)}) {
        // Null and no value never succeed; the DH answer has a value per link.
        const QJsonArray links = dhParamsLinkArray(value);
        if ((controllerReplySucceeded(value) && (value.isNull() || value.isUndefined())) ||
            dhParamsLinkValues(links).size() != links.size())
            __builtin_trap();
        jsonValueToText(value);
    }
    return 0;
}
