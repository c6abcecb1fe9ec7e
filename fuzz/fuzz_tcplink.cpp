// The bytes as lines from a controller peer, through the TCP link's line handler while the link
// waits for its identity (request 1) and for a call (request 2): only an answer carrying one of
// those ids may end the wait for it.
#include "fuzzinput.h"
#include "tcpcontrollerlink.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavrin {

class TcpControllerLinkProbe
{
public:
    static void feed(const QByteArray& bytes)
    {
        TcpControllerLink link;
        link.lastId = 2;
        link.identityId = 1;
        link.awaitedId = 2;
        for (const QByteArray& line : bytes.split('\n')) {
            const bool awaitingIdentity = link.identityId != 0;
            const bool awaitingCall = link.awaitedId != 0;
            link.handleLine(line);
            const double id =
                QJsonDocument::fromJson(line).object().value(QStringLiteral("id")).toDouble();
            // Up exactly when the identity is read, from an answer to request 1; a call has its
            // answer exactly when it waits no longer, and only from an answer to request 2.
            if (link.online != (link.identityId == 0) ||
                (awaitingIdentity && link.online && id != 1.0) ||
                link.awaitedReply.has_value() != (link.awaitedId == 0) ||
                (awaitingCall && link.awaitedId == 0 && id != 2.0))
                __builtin_trap();
        }
        // The queued connection report, delivered rather than piling up.
        QCoreApplication::processEvents();
    }
};

} // namespace tavrin

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tavrin::TcpControllerLinkProbe::feed(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    return 0;
}
