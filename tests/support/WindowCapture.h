// The pixels of a window's client area (or of the whole window, frame and
// caption included) as they are on the screen.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace testing
{
class CWindowCapture
{
public:
    CWindowCapture() = default;
    enum Area
    {
        ClientArea,
        WholeWindow
    };
    explicit CWindowCapture(HWND window, Area area = ClientArea);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // 0x00RRGGBB
    DWORD At(int x, int y) const { return m_pixels[static_cast<size_t>(y * m_width + x)]; }
    bool operator==(const CWindowCapture& other) const
    {
        return m_width == other.m_width && m_height == other.m_height && m_pixels == other.m_pixels;
    }
    // Writes a 32-bit BMP file.
    bool SaveBmp(const std::wstring& path) const;

private:
    int m_width = 0, m_height = 0;
    std::vector<DWORD> m_pixels;
};

// Starts the program, waits for its visible top-level window of that class
// to be painted, captures its client area and closes the program. An empty
// capture when no such window appeared.
CWindowCapture CaptureProgramWindow(const std::wstring& program, const wchar_t* windowClass);
} // namespace testing
