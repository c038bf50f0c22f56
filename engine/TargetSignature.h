// Whether a program carries an Authenticode signature: a change to the file
// breaks it, so the writer removes the certificate table, and the user is
// asked first.
#pragma once

#include "TargetPath.h"

#include <windows.h>

#include <string>

struct CTargetSignature
{
    // The certificate table holds a PKCS #7 signed-data entry.
    bool isSigned = false;
    // Its signer's simple display name (SignerName.h); empty when the
    // platform cannot read it.
    std::wstring signer;
};

// Reads the certificate table that path's header names (data directory 4,
// at a file offset, read with file I/O; nothing more is read when the header
// names none). A file that is not a well-formed image counts as unsigned:
// the writer refuses it and the command says why. FALSE, with the file's
// last error, when it cannot be opened or read. Out of memory throws
// std::bad_alloc.
BOOL ReadTargetSignature(const CTargetPath& path, CTargetSignature& signature);
