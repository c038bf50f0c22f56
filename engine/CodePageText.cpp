#include "CodePageText.h"

#include "../framework/AutoHandles.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

BOOL CCodePageText::AllocBuffer(size_t length)
{
    if (length == SIZE_MAX)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    char* block = static_cast<char*>(AllocRuntimeBlock(length + 1));
    if (!block)
        return FALSE;
    free(m_pszText);
    m_pszText = block;
    m_pszText[length] = '\0';
    return TRUE;
}

BOOL CCodePageText::Assign(UINT codePage, const char* bytes, int length)
{
    if (length < 0)
        length = static_cast<int>(strlen(bytes));
    if (codePage != 0 && !IsValidCodePage(codePage))
        return FALSE;
    if (!AllocBuffer(static_cast<size_t>(length)))
        return FALSE;
    m_nCodePage = codePage;
    if (length > 0)
        memcpy(m_pszText, bytes, static_cast<size_t>(length));
    return TRUE;
}

void CCodePageText::Empty()
{
    free(m_pszText);
    m_pszText = nullptr;
    m_nCodePage = 0;
}
