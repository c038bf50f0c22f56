// CCodePageText: an owned 8-bit text and the code page of its bytes.
#pragma once

#include <windows.h>

class CCodePageText
{
public:
    CCodePageText() = default;
    ~CCodePageText() { Empty(); }
    CCodePageText(const CCodePageText&) = delete;
    CCodePageText& operator=(const CCodePageText&) = delete;

    // Copies length bytes (up to the first NUL when length is negative) under
    // codePage. 0 leaves the object unchanged: the code page is refused or
    // memory is short.
    BOOL Assign(UINT codePage, const char* bytes, int length);
    // Replaces the text with a new uninitialised block of length + 1 bytes
    // whose last byte is NUL. The code page is kept.
    BOOL AllocBuffer(size_t length);
    void Empty();

    UINT m_nCodePage = 0;
    char* m_pszText = nullptr; // runtime heap, owned
};
