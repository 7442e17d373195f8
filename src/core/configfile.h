#pragma once

#include <QByteArray>
#include <QString>

// Process-wide configuration: the web shop and API addresses read from
// "data/config.json" in the working directory at start-up and switched once
// per login by store type. Every accessor may be called from any thread and
// returns a consistent copy.
class configFile final
{
public:
    configFile() = delete;

    // Creates "data" when missing and reads "data/config.json"; a missing,
    // empty or malformed file silently keeps the defaults; one that is not a
    // regular file or is too large keeps them with a log line.
    static void readConfig();
    // Points the API, cart and products addresses at `baseUrl` (flag true)
    // or `baseUrlW`; an empty target changes nothing.
    static void switchBackend(bool ordinaryStore);
    static void resetToDefaults();

    static QString apiUrl();
    static QString cartUrl();
    static QString productsUrl();
    static QString baseUrl();
    static QString baseUrlW();
    static bool autoLogin();
    static QString productPath();

    // Deployment values shared with the web shop and the object store.
    static QString imageHost();     // scheme and host of the public image address, no trailing "/"
    static QByteArray webKey();     // the two-letter key of the account hand-off string
    static int requestTimeoutSec(); // whole-call limit of one backend call, 1 to 600 s
    // The studio's own certificate authorities (PEM), trusted for https
    // beside the system's; an absolute path, empty when none is named.
    static QString caFile();

    static QString defaultHost();
};
