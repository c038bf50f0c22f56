// COM on the user-interface thread for the shell's handlers: ShellExecute may
// hand its work to COM objects, and the platform asks its callers to make the
// thread a single-threaded apartment first, without OLE1 DDE.
#pragma once

#include <objbase.h>

class CComApartment
{
public:
    CComApartment() = default;
    // Ends the apartment if Enter made it (S_FALSE, already one, counts too:
    // every successful initialisation is matched).
    ~CComApartment()
    {
        if (m_entered)
            CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    // Makes the thread a single-threaded apartment, once; a thread that is
    // in a multithreaded one already stays in it.
    void Enter()
    {
        if (!m_entered)
            m_entered = SUCCEEDED(
                CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    }

private:
    bool m_entered = false;
};
