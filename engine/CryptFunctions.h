// The functions of the platform's crypto library (crypt32.dll) that reading a
// program's signer needs, and owners for the handles they give out. The
// library is loaded from the system folder by full path, like the tool's
// other optional libraries: it is not one that Windows always takes from
// there, so a static import would load a crypt32.dll lying beside the tool.
#pragma once

#include "framework/AutoHandles.h"

#include <windows.h>
#include <wincrypt.h>

class CCryptFunctions
{
public:
    // Loads the library; the functions stay null when it or one of them is
    // missing.
    CCryptFunctions();
    CCryptFunctions(const CCryptFunctions&) = delete;
    CCryptFunctions& operator=(const CCryptFunctions&) = delete;
    explicit operator bool() const;

    decltype(&::CryptQueryObject) CryptQueryObject = nullptr;
    decltype(&::CryptMsgGetParam) CryptMsgGetParam = nullptr;
    decltype(&::CryptMsgClose) CryptMsgClose = nullptr;
    decltype(&::CertFindCertificateInStore) CertFindCertificateInStore = nullptr;
    decltype(&::CertGetNameStringW) CertGetNameStringW = nullptr;
    decltype(&::CertFreeCertificateContext) CertFreeCertificateContext = nullptr;
    decltype(&::CertCloseStore) CertCloseStore = nullptr;

private:
    CLibrary m_library;
};

// An owner of one crypto handle, released through the functions it came
// from: those must outlive it (declare them first). Not copyable.
template <typename T, typename Traits> class CCryptHandle
{
public:
    CCryptHandle(const CCryptFunctions& functions, T handle)
        : m_functions(functions), m_handle(handle)
    {
    }
    ~CCryptHandle() { Release(); }
    CCryptHandle(const CCryptHandle&) = delete;
    CCryptHandle& operator=(const CCryptHandle&) = delete;

    T Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    T Detach()
    {
        T handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Release()
    {
        if (m_handle)
            Traits::Close(m_functions, Detach());
    }

private:
    const CCryptFunctions& m_functions;
    T m_handle;
};

struct CCryptMessageTraits
{
    static void Close(const CCryptFunctions& f, HCRYPTMSG message) { f.CryptMsgClose(message); }
};
struct CCertStoreTraits
{
    static void Close(const CCryptFunctions& f, HCERTSTORE store) { f.CertCloseStore(store, 0); }
};
struct CCertificateTraits
{
    static void Close(const CCryptFunctions& f, PCCERT_CONTEXT certificate)
    {
        f.CertFreeCertificateContext(certificate);
    }
};
// A message from CryptQueryObject, closed with CryptMsgClose.
using CCryptMessage = CCryptHandle<HCRYPTMSG, CCryptMessageTraits>;
// A certificate store, closed with CertCloseStore.
using CCertStore = CCryptHandle<HCERTSTORE, CCertStoreTraits>;
// A certificate context, released with CertFreeCertificateContext.
using CCertificate = CCryptHandle<PCCERT_CONTEXT, CCertificateTraits>;
