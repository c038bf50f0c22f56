#include "AfxString.h"
#include "ModuleState.h"

#include <cstdio>
#include <cwchar>

LPWSTR CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_text.resize(static_cast<size_t>(minLength));
    return &m_text[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(wcsnlen(m_text.c_str(), m_text.size()));
    m_text.resize(static_cast<size_t>(newLength));
}

CString& CString::operator=(LPCWSTR text)
{
    m_text = text ? text : L"";
    return *this;
}

CString& CString::operator+=(LPCWSTR text)
{
    if (text)
        m_text += text;
    return *this;
}

CString& CString::operator+=(WCHAR ch)
{
    m_text += ch;
    return *this;
}

CString operator+(const CString& left, LPCWSTR right)
{
    CString result(left);
    result += right;
    return result;
}

void CString::FormatV(LPCWSTR format, va_list args)
{
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length < 0)
    {
        m_text.clear();
        return;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    _vsnwprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    m_text.swap(text);
}

void CString::Format(LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::Format(UINT formatId, ...)
{
    CString format;
    format.LoadString(formatId);
    va_list args;
    va_start(args, formatId);
    FormatV(format, args);
    va_end(args);
}

BOOL CString::LoadString(UINT id)
{
    // With a zero buffer size LoadStringW hands back a read-only pointer to
    // the resource text itself, which is not NUL-terminated.
    LPCWSTR text = nullptr;
    const int length =
        ::LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
    {
        m_text.clear();
        return FALSE;
    }
    m_text.assign(text, static_cast<size_t>(length));
    return TRUE;
}

int CString::Replace(LPCWSTR from, LPCWSTR to)
{
    const size_t fromLength = wcslen(from), toLength = wcslen(to);
    int count = 0;
    for (size_t at = m_text.find(from); at != std::wstring::npos;
         at = m_text.find(from, at + toLength))
    {
        m_text.replace(at, fromLength, to);
        ++count;
    }
    return count;
}
