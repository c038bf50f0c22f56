#include "CryptFunctions.h"

#include "errors/SystemLibrary.h"

CCryptFunctions::CCryptFunctions() : m_library(LoadSystemLibrary(L"crypt32.dll", 0))
{
    if (!m_library)
        return;
    const HMODULE library = m_library.Get();
    CryptQueryObject = GetProcAddressAs<decltype(CryptQueryObject)>(library, "CryptQueryObject");
    CryptMsgGetParam = GetProcAddressAs<decltype(CryptMsgGetParam)>(library, "CryptMsgGetParam");
    CryptMsgClose = GetProcAddressAs<decltype(CryptMsgClose)>(library, "CryptMsgClose");
    CertFindCertificateInStore = GetProcAddressAs<decltype(CertFindCertificateInStore)>(
        library, "CertFindCertificateInStore");
    CertGetNameStringW =
        GetProcAddressAs<decltype(CertGetNameStringW)>(library, "CertGetNameStringW");
    CertFreeCertificateContext = GetProcAddressAs<decltype(CertFreeCertificateContext)>(
        library, "CertFreeCertificateContext");
    CertCloseStore = GetProcAddressAs<decltype(CertCloseStore)>(library, "CertCloseStore");
}

CCryptFunctions::operator bool() const
{
    return CryptQueryObject && CryptMsgGetParam && CryptMsgClose && CertFindCertificateInStore &&
           CertGetNameStringW && CertFreeCertificateContext && CertCloseStore;
}
