// XML escaping of the text put into a manifest: exactly the five characters
// XML gives a meaning to (quotation mark, ampersand, apostrophe, less-than
// and greater-than signs) are written as their entities; every other
// character, control and non-ASCII ones and "%" included, goes as it is.
#pragma once

#include <cstddef>

// The entity that stands for c ("&quot;", ...), or null for a character
// written as it is.
const wchar_t* XmlEntityFor(wchar_t c);

// Calls write(piece, units) for the escaped form of text[0, length), in
// order: each run of ordinary characters whole, each special one as its
// entity.
template <typename Write> void EscapeXml(const wchar_t* text, size_t length, Write write)
{
    const wchar_t* at = text;
    const wchar_t* const end = text + length;
    while (at < end)
    {
        if (const wchar_t* entity = XmlEntityFor(*at))
        {
            size_t units = 0;
            while (entity[units])
                ++units;
            write(entity, units);
            ++at;
            continue;
        }
        const wchar_t* run = at;
        while (at < end && !XmlEntityFor(*at))
            ++at;
        write(run, static_cast<size_t>(at - run));
    }
}
