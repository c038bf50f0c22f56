// Who signed a program: the simple display name of the certificate that
// signed the PKCS #7 message embedded in its certificate table.
#pragma once

#include <windows.h>

#include <string>

// Read with the platform's crypto API, without verifying the signature or
// its chain: checking revocation may wait on a network the machine does not
// have, and the user is told who signed, not that it was verified. Empty
// when the library, the message or the certificate cannot be read.
// file: the program's name as the file calls take it (CTargetPath::Platform).
std::wstring ReadSignerName(LPCWSTR file);
