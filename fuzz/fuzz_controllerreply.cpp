// The bytes as a controller reply: the document and every value nested in it (or, when the
// bytes are no JSON document, the bytes as one string) judged as a write command's reply,
// rendered for the audit trail and read as the DH answer.
#include "controllerreply.h"
#include "fuzzinput.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

void examine(const QJsonValue& value)
{
    const bool verdict = controllerReplySucceeded(value);
    lumora::fuzz::check(!verdict || !(value.isNull() || value.isUndefined()),
                        "null and no value never succeed");
    jsonValueToText(value);
    const QJsonArray links = dhParamsLinkArray(value);
    lumora::fuzz::check(dhParamsLinkValues(links).size() == links.size(),
                        "one value per link element");
    if (value.isArray()) {
        for (const QJsonValue& element : value.toArray())
            examine(element);
    } else if (value.isObject()) {
        examine(value[QStringLiteral("no such member")]);
        for (const QJsonValue& member : value.toObject())
            examine(member);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (document.isNull())
        examine(QString::fromUtf8(bytes));
    else
        examine(document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()));
    return 0;
}
