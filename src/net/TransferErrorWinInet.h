#pragma once

// windows.h comes before every other Windows header.
#include <windows.h>

#include <wininet.h>

#include <string>

#include "net/Transfer.h"

// What WinINet's error codes mean for a session, and how they are told.
namespace strivo {

// What WinINet's last error means for the workers; a time-out after the
// connection was made is the answer's, before it the connection's.
TransferError ErrorFor(DWORD error, bool connected);

// WinINet's words on an error, for the failures whose kind alone is not
// enough to act on: "WinINet 12045: certificate authority not trusted".
std::string DetailFor(DWORD error);

}  // namespace strivo
