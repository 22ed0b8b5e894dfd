#pragma once

#include <QHostAddress>
#include <QUdpSocket>

namespace zelvar::test {

// A UDP port free on all four transceiver addresses 127.0.0.1 to 127.0.0.4
// just now, or 0 when none was found.
inline quint16 FreeLoopbackPort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        QUdpSocket probe;
        if (!probe.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0,
                        QAbstractSocket::DontShareAddress)) {
            continue;
        }
        const quint16 port = probe.localPort();
        bool freeEverywhere = true;
        for (int n = 2; n <= 4 && freeEverywhere; ++n) {
            QUdpSocket other;
            freeEverywhere = other.bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(n)), port,
                                        QAbstractSocket::DontShareAddress);
        }
        if (freeEverywhere) return port;
    }
    return 0;
}

}  // namespace zelvar::test
