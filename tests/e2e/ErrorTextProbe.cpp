// Writes the error text that the program shows for each code on its command
// line into a file, one text per line (UTF-16): error_text_probe OUT CODE...
// The tests run it from a folder that holds planted copies of the libraries
// that the texts come from. Like the program, it imports none of them.
#include "errors/ErrorCode.h"
#include "framework/AfxString.h"

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    std::wstring out;
    for (int i = 2; i < argc; ++i)
    {
        CString text;
        FormatErrorText(text, static_cast<HRESULT>(wcstoul(argv[i], nullptr, 0)));
        out += static_cast<LPCWSTR>(text);
        out += L'\n';
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(out.size() * sizeof(wchar_t));
    const BOOL ok = WriteFile(file, out.data(), size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok ? 0 : 1;
}
