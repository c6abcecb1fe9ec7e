// The bytes as lines from a controller peer, through the TCP link's line handler while the link
// waits for its identity (request 1) and for a call (request 2): only an answer carrying one of
// those ids may end the wait for it.
#include "jsoncheck.h"
#include "tcpcontrollerlink.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>

namespace tavrin {

class TcpControllerLinkProbe
{
public:
    static void feed(const QByteArray& bytes)
    {
        using lumora::fuzz::check;
        TcpControllerLink link;
        link.lastId = 2;
        link.identityId = 1;
        link.awaitedId = 2;
        for (const QByteArray& line : bytes.split('\n')) {
            const bool awaitingIdentity = link.identityId != 0;
            const bool awaitingCall = link.awaitedId != 0;
            link.handleLine(line);
            const QJsonValue id =
                QJsonDocument::fromJson(line).object().value(QStringLiteral("id"));
            check(link.online == (link.identityId == 0) &&
                      (!awaitingIdentity || !link.online || id.toDouble() == 1.0),
                  "up exactly when the identity is read, from an answer to request 1");
            check(link.awaitedReply.has_value() == (link.awaitedId == 0),
                  "a call has its answer exactly when it waits no longer");
            check(!awaitingCall || link.awaitedId != 0 || id.toDouble() == 2.0,
                  "only an answer to request 2 ends the wait for it");
        }
        // The queued connection report, delivered rather than piling up.
        QCoreApplication::processEvents();
    }
};

} // namespace tavrin

// Qt 5.15's JSON parser loses a few hundred bytes on some objects with a duplicated member; a
// leak of this code's own allocations has no QtCore frame and still shows.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}

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
