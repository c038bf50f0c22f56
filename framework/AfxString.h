// CString: the framework's UTF-16 text, kept thin over std::wstring.
#pragma once

#include <windows.h>
#include <cstdarg>
#include <string>

class CString
{
public:
    CString() = default;
    CString(LPCWSTR text) : m_text(text ? text : L"") {}
    CString(LPCWSTR text, int length) : m_text(text, static_cast<size_t>(length)) {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    operator LPCWSTR() const { return m_text.c_str(); }
    LPCWSTR GetString() const { return m_text.c_str(); }

    // The buffer holds at least minLength characters plus a NUL; the caller
    // writes into it and calls ReleaseBuffer before using the string again.
    LPWSTR GetBuffer(int minLength);
    // Sets the length to newLength, or up to the first NUL when it is -1.
    void ReleaseBuffer(int newLength = -1);

    CString& operator=(LPCWSTR text);
    CString& operator+=(LPCWSTR text);
    CString& operator+=(WCHAR ch);
    friend CString operator+(const CString& left, LPCWSTR right);
    bool operator==(LPCWSTR other) const { return m_text == (other ? other : L""); }
    bool operator!=(LPCWSTR other) const { return !(*this == other); }

    // printf-style formatting with the C runtime's wide conventions: %s takes
    // a wide text, %hs a narrow one.
    void Format(LPCWSTR format, ...);
    // Formats with a string of the current resource module as the format.
    void Format(UINT formatId, ...);
    void FormatV(LPCWSTR format, va_list args);

    // Replaces every occurrence of from (not empty) by to, left to right;
    // the number replaced.
    int Replace(LPCWSTR from, LPCWSTR to);

    // Loads a string from the current resource module; the platform picks the
    // language variant. FALSE (and an empty string) when there is none.
    BOOL LoadString(UINT id);

private:
    std::wstring m_text;
};
