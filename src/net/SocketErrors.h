#pragma once
// Socket error numbers as the program reports them (the classic WinSock
// numbering), and the mapping of POSIX errno values onto them.
//
// Name lookups end with 11001 "Host not found" when the name does not exist
// (the resolver says so, or the name lies under the reserved "invalid",
// which is answered without asking anyone), and with 11002 when the
// resolver could not answer at all (no name server reachable).
#include <QString>

namespace lb::net {

enum : int {
    wsaEINTR = 10004,
    wsaEBADF = 10009,
    wsaEINVAL = 10022,
    wsaEWOULDBLOCK = 10035,
    wsaEINPROGRESS = 10036,
    wsaENOTSOCK = 10038,
    wsaECONNABORTED = 10053,
    wsaECONNRESET = 10054,
    wsaEISCONN = 10056,
    wsaENOTCONN = 10057,
    wsaETIMEDOUT = 10060,
    wsaECONNREFUSED = 10061,
    wsaEHOSTUNREACH = 10065,
    wsaNOTINITIALISED = 10093,
    wsaHOST_NOT_FOUND = 11001,
    wsaTRY_AGAIN = 11002,
    wsaNO_RECOVERY = 11003,
    wsaNO_DATA = 11004,
};

// Readable text of an error number; "Not a WinSock error" for unknown numbers.
QString socketErrorDesc(int error);

// The error number for a POSIX errno value (0 stays 0).
int errnoToSocketError(int err);

} // namespace lb::net
