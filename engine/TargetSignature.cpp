#include "TargetSignature.h"

#include "SignerName.h"

#include "pe/PeImage.h"
#include "pe/Win32FileSource.h"

namespace
{
// The start of a WIN_CERTIFICATE entry (wintrust.h): its length with the
// header, revision and type; the entry's data follows.
struct CertificateEntryHeader
{
    DWORD length;
    WORD revision;
    WORD type;
};
constexpr WORD kPkcsSignedData = 0x0002; // WIN_CERT_TYPE_PKCS_SIGNED_DATA

// Whether the table at [offset, offset + size) holds a signed-data entry.
// Only the entries' headers are read; each entry starts on an 8-byte
// boundary after the one before.
bool HoldsSignedData(pe::Source& source, uint32_t offset, uint32_t size)
{
    const uint64_t end = uint64_t(offset) + size;
    for (uint64_t at = offset; end - at >= sizeof(CertificateEntryHeader);)
    {
        CertificateEntryHeader entry;
        source.Read(at, &entry, sizeof entry);
        if (entry.type == kPkcsSignedData)
            return true;
        // A length that would not move on ends a damaged table.
        if (entry.length < sizeof entry || entry.length > end - at)
            return false;
        at += (uint64_t(entry.length) + 7) & ~uint64_t(7);
        if (at > end)
            return false;
    }
    return false;
}
} // namespace

BOOL ReadTargetSignature(const CTargetPath& path, CTargetSignature& signature)
{
    signature = CTargetSignature();
    const DWORD error = pe::ReadImageFile(
        path.Platform().c_str(),
        [&](pe::Win32FileSource& source, const pe::PeImage& image)
        {
            // The image checks that the table lies in the file.
            const uint32_t tableSize = image.DirectorySize(pe::kDirSecurity);
            signature.isSigned =
                tableSize != 0 &&
                HoldsSignedData(source, image.DirectoryRva(pe::kDirSecurity), tableSize);
        });
    if (error != ERROR_SUCCESS && error != ERROR_BAD_EXE_FORMAT)
    {
        SetLastError(error);
        return FALSE;
    }
    if (signature.isSigned)
        signature.signer = ReadSignerName(path.Platform().c_str());
    return TRUE;
}
