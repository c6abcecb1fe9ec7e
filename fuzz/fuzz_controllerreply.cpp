// The bytes as a controller reply: the document and each of its members (or, when the bytes are
// no JSON document, the bytes as one string) judged as a write command's reply, rendered for the
// audit trail and read as the DH answer; every nested value is judged too.
#include "controllerreply.h"
#include "jsoncheck.h"

#include <QJsonDocument>

#include <cmath>
#include <cstdint>

namespace {

using lumora::fuzz::check;

void judge(const QJsonValue& reply)
{
    const bool verdict = controllerReplySucceeded(reply);
    switch (reply.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        check(!verdict, "null and no value never succeed");
        break;
    case QJsonValue::Bool:
        check(verdict == reply.toBool(), "a bool is its own verdict");
        break;
    case QJsonValue::Double:
        check(verdict == (reply.toDouble() == 0.0), "a number succeeds exactly when it is 0");
        break;
    case QJsonValue::String:
    case QJsonValue::Array:
        check(verdict, "a string or an array always succeeds");
        break;
    case QJsonValue::Object: {
        const QJsonValue success = reply[QStringLiteral("success")];
        const QJsonValue code = reply[QStringLiteral("code")];
        if (success.isBool())
            check(verdict == success.toBool(), "a bool \"success\" decides");
        else if (code.isDouble())
            check(verdict == (code.toDouble() == 0.0), "a number \"code\" succeeds only as 0");
        else
            check(verdict, "an object without either succeeds");
        // The looked-up members may be Undefined: they are replies of their own.
        judge(success);
        judge(code);
        break;
    }
    }
}

void judgeAll(const QJsonValue& value)
{
    judge(value);
    if (value.isArray()) {
        for (const QJsonValue& element : value.toArray())
            judgeAll(element);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            judgeAll(it.value());
    }
}

void render(const QJsonValue& value)
{
    const QString text = jsonValueToText(value);
    switch (value.type()) {
    case QJsonValue::Null:
        check(text == QLatin1String("null"), "null reads \"null\"");
        break;
    case QJsonValue::Undefined:
        check(text == QLatin1String("undefined"), "no value reads \"undefined\"");
        break;
    case QJsonValue::Bool:
        check(text == QLatin1String(value.toBool() ? "true" : "false"), "a bool reads as itself");
        break;
    case QJsonValue::String:
        check(text == value.toString(), "a string is shown as it is");
        break;
    case QJsonValue::Double: {
        bool ok = false;
        const double number = value.toDouble();
        const double back = text.toDouble(&ok);
        check(ok && std::fabs(back - number) <= 1e-14 * std::fabs(number),
              "a number's text reads back to fifteen digits");
        break;
    }
    case QJsonValue::Array:
    case QJsonValue::Object: {
        QJsonParseError error;
        const QJsonDocument back = QJsonDocument::fromJson(text.toUtf8(), &error);
        check(error.error == QJsonParseError::NoError && !text.contains(QLatin1Char('\n')),
              "a container is one line of JSON");
        const QJsonValue reread =
            back.isArray() ? QJsonValue(back.array()) : QJsonValue(back.object());
        check(lumora::fuzz::hasNulName(value) || lumora::fuzz::sameJson(reread, value),
              "a container's text reads back to it");
        break;
    }
    }
}

void readDh(const QJsonValue& answer)
{
    const QJsonArray links = dhParamsLinkArray(answer);
    const QJsonValue member = answer.isObject() && answer[QStringLiteral("data")].isObject()
                                  ? answer[QStringLiteral("data")][QStringLiteral("DH_PARAMS_LINK")]
                                  : QJsonValue();
    check(links == (member.isArray() ? member.toArray() : QJsonArray()),
          "the DH links are data.DH_PARAMS_LINK when it is an array, else none");
    const QVector<double> values = dhParamsLinkValues(links);
    check(values.size() == links.size(), "one value per link element");
    for (int i = 0; i < links.size(); ++i) {
        const QJsonValue element = links.at(i);
        check(values.at(i) == (element.isDouble() ? element.toDouble() : 0.0),
              "a number is kept, anything else reads as 0");
    }
}

void examine(const QJsonValue& value)
{
    judge(value);
    render(value);
    readDh(value);
}

} // namespace

// Qt 5.15's JSON parser loses a few hundred bytes on some objects with a duplicated member
// (for example {"d":{"L":["1.5",true,6]},"d":{"L":["1.5",true,6]}}); a leak of this code's own
// allocations has no QtCore frame and still shows.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    judge(QJsonValue(QJsonValue::Undefined));
    judge(QJsonValue(QJsonValue::Null));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (document.isNull()) {
        examine(QJsonValue(QString::fromUtf8(bytes)));
        return 0;
    }

    const QJsonValue top =
        document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    examine(top);
    judgeAll(top);
    if (document.isArray()) {
        for (const QJsonValue& element : document.array())
            examine(element);
    } else {
        const QJsonObject object = document.object();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            examine(it.value());
    }
    return 0;
}
