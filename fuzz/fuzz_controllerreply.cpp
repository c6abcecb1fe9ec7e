// The bytes as a controller reply: the document and every value nested in it (or, when the
// bytes are no JSON document, the bytes as one string) judged as a write command's reply,
// rendered for the audit trail and read as the DH answer.
#include "controllerreply.h"
#include "fuzzinput.h"

#include <QJsonDocument>
#include <QJsonObject>

static void examine(const QJsonValue& value)
{
    // Null and no value never succeed; the DH answer has a value per link.
    const QJsonArray links = dhParamsLinkArray(value);
    if ((controllerReplySucceeded(value) && (value.isNull() || value.isUndefined())) ||
        dhParamsLinkValues(links).size() != links.size())
        __builtin_trap();
    jsonValueToText(value);
    if (value.isObject()) {
        for (const QJsonValue& member : value.toObject())
            examine(member);
    }
    for (const QJsonValue& element : value.toArray())
        examine(element);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    examine(document.isNull()    ? QJsonValue(QString::fromUtf8(bytes))
            : document.isArray() ? QJsonValue(document.array())
                                 : QJsonValue(document.object()));
    examine(QJsonValue(QJsonValue::Undefined));
    return 0;
}
