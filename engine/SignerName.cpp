#include "SignerName.h"

#include "CryptFunctions.h"

#include <vector>

std::wstring ReadSignerName(LPCWSTR file)
{
    const CCryptFunctions crypt; // outlives the handles below
    if (!crypt)
        return std::wstring();
    DWORD encoding = 0, content = 0, format = 0;
    HCERTSTORE storeHandle = nullptr;
    HCRYPTMSG messageHandle = nullptr;
    // The library opens the file itself: the name it takes is the one the
    // tool's other file calls take (through Sysnative, long names extended).
    const BOOL found = crypt.CryptQueryObject(CERT_QUERY_OBJECT_FILE, file,
                                              CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                                              CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content,
                                              &format, &storeHandle, &messageHandle, nullptr);
    const CCertStore store(crypt, storeHandle);
    const CCryptMessage message(crypt, messageHandle);
    if (!found || !store || !message)
        return std::wstring();

    // The first signer's issuer and serial number name its certificate among
    // those the message carries. The buffer receives a CERT_INFO with
    // pointers into itself; new's alignment suits it.
    DWORD size = 0;
    if (!crypt.CryptMsgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) ||
        size < sizeof(CERT_INFO))
        return std::wstring();
    std::vector<BYTE> signerInfo(size);
    if (!crypt.CryptMsgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, signerInfo.data(),
                                &size))
        return std::wstring();
    const CCertificate certificate(
        crypt, crypt.CertFindCertificateInStore(store.Get(), encoding, 0, CERT_FIND_SUBJECT_CERT,
                                                signerInfo.data(), nullptr));
    if (!certificate)
        return std::wstring();

    // The length counts the terminating NUL; 1 means no name at all.
    const DWORD length = crypt.CertGetNameStringW(certificate.Get(), CERT_NAME_SIMPLE_DISPLAY_TYPE,
                                                  0, nullptr, nullptr, 0);
    if (length <= 1)
        return std::wstring();
    std::wstring name(length, L'\0');
    const DWORD written = crypt.CertGetNameStringW(certificate.Get(), CERT_NAME_SIMPLE_DISPLAY_TYPE,
                                                   0, nullptr, &name[0], length);
    name.resize(written > 1 && written <= length ? written - 1 : 0);
    return name;
}
