#include "controllerreply.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The value as the controller's JSON text gives it: numbers parsed from text are held apart
// from numbers built in code, so the judging is tested on both.
QJsonValue parsed(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson("[" + text + "]", &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("test data is not JSON: %s", text.constData());
    return document.array().first();
}

} // namespace

class TestControllerReply : public QObject
{
    Q_OBJECT

private slots:
    void judging_data();
    void judging();
    void dhAnswer_data();
    void dhAnswer();
};

void TestControllerReply::judging_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("success");

    QTest::addRow("code 0.0") << QByteArray(R"({"code": 0.0})") << true;
    QTest::addRow("code -0") << QByteArray(R"({"code": -0})") << true;
    QTest::addRow("code 0e5") << QByteArray(R"({"code": 0e5})") << true;
    QTest::addRow("code 1e-300") << QByteArray(R"({"code": 1e-300})") << false;
    QTest::addRow("code -1") << QByteArray(R"({"code": -1})") << false;
    QTest::addRow("code 2^31") << QByteArray(R"({"code": 2147483648})") << false;
    QTest::addRow("code 2^32") << QByteArray(R"({"code": 4294967296})") << false;
    QTest::addRow("code -2^31") << QByteArray(R"({"code": -2147483648})") << false;
    QTest::addRow("code 2^64") << QByteArray(R"({"code": 18446744073709551616})") << false;
    QTest::addRow("code null") << QByteArray(R"({"code": null})") << true;
    QTest::addRow("success null, code 0") << QByteArray(R"({"success": null, "code": 0})") << true;
    QTest::addRow("success null, code 1") << QByteArray(R"({"success": null, "code": 1})") << false;
    QTest::addRow("success 0 is no bool") << QByteArray(R"({"success": 0})") << true;
    QTest::addRow("names are case-sensitive")
        << QByteArray(R"({"Success": false, "CODE": 1})") << true;
    QTest::addRow("only the top level counts")
        << QByteArray(R"({"data": {"success": false, "code": 1}})") << true;
    QTest::addRow("success true, code text")
        << QByteArray(R"({"success": true, "code": "x"})") << true;
    QTest::addRow("number -0") << QByteArray("-0") << true;
    QTest::addRow("number 1e-300") << QByteArray("1e-300") << false;
    QTest::addRow("number -1") << QByteArray("-1") << false;
    QTest::addRow("empty string") << QByteArray(R"("")") << true;
    QTest::addRow("string false") << QByteArray(R"("false")") << true;
    QTest::addRow("array of false") << QByteArray("[false]") << true;
    QTest::addRow("false") << QByteArray("false") << false;
    QTest::addRow("null") << QByteArray("null") << false;
}

void TestControllerReply::judging()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, success);
    QCOMPARE(controllerReplySucceeded(parsed(reply)), success);
}

void TestControllerReply::dhAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("links");
    QTest::addColumn<QVector<double>>("values");

    QTest::addRow("null") << QByteArray("null") << 0 << QVector<double>{};
    QTest::addRow("array at the top")
        << QByteArray(R"([{"data": {"DH_PARAMS_LINK": [1, 2, 3, 4]}}])") << 0 << QVector<double>{};
    QTest::addRow("data is an array")
        << QByteArray(R"({"data": [{"DH_PARAMS_LINK": [1]}]})") << 0 << QVector<double>{};
    QTest::addRow("member beside data")
        << QByteArray(R"({"DH_PARAMS_LINK": [1], "data": {}})") << 0 << QVector<double>{};
    QTest::addRow("empty array") << QByteArray(R"({"data": {"DH_PARAMS_LINK": []}})") << 0
                                 << QVector<double>{};
    QTest::addRow("non-numbers read as 0, count kept")
        << QByteArray(R"({"data": {"DH_PARAMS_LINK": [null, "2", [3], {"4": 4}, false, 1e308,
                                                      -0.5]}})")
        << 7 << QVector<double>{0, 0, 0, 0, 0, 1e308, -0.5};
}

void TestControllerReply::dhAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, links);
    QFETCH(QVector<double>, values);

    const QJsonArray array = dhParamsLinkArray(parsed(answer));
    QCOMPARE(array.size(), links);
    QCOMPARE(dhParamsLinkValues(array), values);
}

LUMORA_TEST_MAIN(TestControllerReply)
#include "tst_controllerreply.moc"
