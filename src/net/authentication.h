#pragma once

#include <QString>

// What follows a successful token request: the store information of the
// session, and the hand-off string that logs the operator into web pages.
class Authentication final
{
public:
    Authentication() = delete;

    // Fills addressId, startups and storeType of the session; a failed call
    // changes nothing. Blocks the calling thread.
    static bool getStoreInfo();

    // Lower-case hex of userName + ":" + password, each character's low byte
    // XOR-ed with the configured two-letter key.
    static QString webToken(const QString &userName, const QString &password);
};
