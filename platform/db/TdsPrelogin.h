#pragma once

#include <QString>

namespace db::tds {

enum class Encryption
{
    Offered,    // the server encrypts a session that asks for it
    NotOffered, // the server would run the session in clear
    Unknown,    // no answer, or not one of a TDS server
};

// Asks a TDS server, in the first message of its protocol (which carries no
// login), whether it encrypts the session. Tells why a login that demanded
// encryption failed.
Encryption askEncryption(const QString& host, int port, int timeoutMilliseconds);

} // namespace db::tds
