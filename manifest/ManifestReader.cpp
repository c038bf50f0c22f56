#include "ManifestReader.h"

#include <algorithm>
#include <cstring>

namespace
{
// Thrown inside the reader only: the variant is not XML it can be sure of.
struct CRefusal
{
    const char* reason;
};

[[noreturn]] void Refuse(const char* reason)
{
    throw CRefusal{reason};
}

bool IsXmlChar(uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsSpace(wchar_t c)
{
    return c == 0x20 || c == 0x9 || c == 0xD || c == 0xA;
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

bool IsNewline(wchar_t c)
{
    return c == L'\r' || c == L'\n';
}

// Code points; where wchar_t holds UTF-16, the halves of a pair (checked when
// the text was decoded) count as the name characters their pair may be.
bool IsNameStartChar(uint32_t c)
{
    return (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) || c == L':' ||
           (c >= L'A' && c <= L'Z') || c == L'_' || (c >= L'a' && c <= L'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(uint32_t c)
{
    return IsNameStartChar(c) || c == L'-' || c == L'.' || (c >= L'0' && c <= L'9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

wchar_t AsciiLower(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? c + 32 : c;
}

// Compares text with an ASCII literal, without case.
bool EqualsNoCase(const std::wstring& text, const char* literal)
{
    const size_t length = strlen(literal);
    if (text.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (AsciiLower(text[i]) != AsciiLower(static_cast<unsigned char>(literal[i])))
            return false;
    return true;
}

bool Equals(const std::wstring& text, const char* literal)
{
    const size_t length = strlen(literal);
    if (text.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (text[i] != static_cast<unsigned char>(literal[i]))
            return false;
    return true;
}

// The variant's characters, each with the byte offset it starts at.
struct CDecodedText
{
    ManifestEncoding encoding = ManifestEncoding::Utf8;
    std::wstring text;
    std::vector<uint32_t> offsets; // one per character, then the end's
};

// Appends code point c to text, as a UTF-16 pair where wchar_t holds UTF-16.
void AppendCodePoint(std::wstring& text, uint32_t c)
{
    if (sizeof(wchar_t) == 2 && c >= 0x10000)
    {
        text.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
        c = 0xDC00 + ((c - 0x10000) & 0x3FF);
    }
    text.push_back(static_cast<wchar_t>(c));
}

void Append(CDecodedText& decoded, uint32_t c, size_t offset)
{
    if (!IsXmlChar(c))
        Refuse("a character that XML does not allow");
    AppendCodePoint(decoded.text, c);
    decoded.offsets.resize(decoded.text.size(), static_cast<uint32_t>(offset));
}

void DecodeUtf8(const uint8_t* data, size_t at, size_t end, CDecodedText& decoded)
{
    while (at < end)
    {
        const uint8_t lead = data[at];
        size_t length;
        uint32_t c;
        if (lead < 0x80)
            length = 1, c = lead;
        else if (lead >= 0xC2 && lead <= 0xDF)
            length = 2, c = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, c = lead & 0x0F;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, c = lead & 0x07;
        else
            Refuse("bytes that are not UTF-8");
        if (end - at < length)
            Refuse("bytes that are not UTF-8");
        for (size_t i = 1; i < length; ++i)
        {
            if ((data[at + i] & 0xC0) != 0x80)
                Refuse("bytes that are not UTF-8");
            c = (c << 6) | (data[at + i] & 0x3F);
        }
        if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF))
            Refuse("bytes that are not UTF-8");
        Append(decoded, c, at);
        at += length;
    }
}

void DecodeUtf16(const uint8_t* data, size_t at, size_t end, bool bigEndian, CDecodedText& decoded)
{
    auto unit = [&](size_t i) {
        return bigEndian ? uint32_t(data[i] << 8 | data[i + 1])
                         : uint32_t(data[i] | data[i + 1] << 8);
    };
    while (at < end)
    {
        uint32_t c = unit(at);
        size_t length = 2;
        if (c >= 0xD800 && c <= 0xDBFF)
        {
            if (end - at < 4 || unit(at + 2) < 0xDC00 || unit(at + 2) > 0xDFFF)
                Refuse("UTF-16 with an unpaired surrogate");
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
            length = 4;
        }
        else if (c >= 0xDC00 && c <= 0xDFFF)
        {
            Refuse("UTF-16 with an unpaired surrogate");
        }
        Append(decoded, c, at);
        at += length;
    }
}

// Code pages whose first 128 characters are ASCII, which resource tools and
// older editors declare and Windows reads. Bytes from 128 up are read as the
// code points of the same number: what the commands look for is all ASCII,
// and the bytes written back are the bytes read.
enum class SingleByte
{
    None,
    Ascii,    // US-ASCII: a byte from 128 up disagrees with the declaration
    Extended, // ISO-8859-1 to -15, windows-1250 to -1258
};

// The number after prefix in lower, or -1.
int NumberAfter(const char* lower, const char* prefix)
{
    const size_t length = strlen(prefix);
    if (strncmp(lower, prefix, length) != 0 || lower[length] == 0 || lower[length] == '0')
        return -1;
    int number = 0;
    for (const char* c = lower + length; *c; ++c)
    {
        if (*c < '0' || *c > '9' || number > 9999)
            return -1;
        number = number * 10 + (*c - '0');
    }
    return number;
}

// name: an encoding name, compared without case. (No narrow string class
// here: the program links none.)
template <typename Char> SingleByte SingleByteNamed(const Char* name, size_t size)
{
    char lower[16];
    if (size >= sizeof lower)
        return SingleByte::None;
    for (size_t i = 0; i < size; ++i)
    {
        const Char c = name[i];
        if (c <= 0 || c >= 0x80)
            return SingleByte::None;
        lower[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    lower[size] = 0;
    if (strcmp(lower, "us-ascii") == 0)
        return SingleByte::Ascii;
    const int iso = NumberAfter(lower, "iso-8859-");
    if (iso >= 1 && iso <= 15 && iso != 12) // 12 was never published
        return SingleByte::Extended;
    const int windows = NumberAfter(lower, "windows-");
    if (windows >= 1250 && windows <= 1258)
        return SingleByte::Extended;
    return SingleByte::None;
}

// The single-byte encoding the declaration at the start of a text without a
// byte-order mark names, read before the text is decoded; the parser checks
// the declaration again.
SingleByte DeclaredSingleByte(const uint8_t* data, size_t end)
{
    const size_t limit = std::min<size_t>(end, 1024);
    if (limit < 6 || memcmp(data, "<?xml", 5) != 0 || !IsSpace(data[5]))
        return SingleByte::None;
    const uint8_t* const stop = data + limit;
    const uint8_t* at = data + 5;
    static const char kName[] = "encoding";
    for (;; ++at)
    {
        if (stop - at < 8 || (at[0] == '?' && at[1] == '>'))
            return SingleByte::None;
        if (memcmp(at, kName, 8) == 0)
            break;
    }
    at += 8;
    while (at < stop && IsSpace(*at))
        ++at;
    if (at == stop || *at++ != '=')
        return SingleByte::None;
    while (at < stop && IsSpace(*at))
        ++at;
    if (at == stop || (*at != '"' && *at != '\''))
        return SingleByte::None;
    const uint8_t quote = *at++;
    const uint8_t* close = std::find(at, stop, quote);
    if (close == stop)
        return SingleByte::None;
    return SingleByteNamed(at, static_cast<size_t>(close - at));
}

void DecodeSingleByte(const uint8_t* data, size_t at, size_t end, SingleByte kind,
                      CDecodedText& decoded)
{
    for (; at < end; ++at)
    {
        if (kind == SingleByte::Ascii && data[at] >= 0x80)
            Refuse("bytes outside US-ASCII, the declared encoding");
        Append(decoded, data[at], at);
    }
}

// NULs after the text, which some resource tools pad with, are no part of
// it; they stay where they are.
CDecodedText Decode(const uint8_t* data, size_t size)
{
    CDecodedText decoded;
    if (size > UINT32_MAX)
        Refuse("larger than 4 GiB");
    size_t at = 0, end = size;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE)
        decoded.encoding = ManifestEncoding::Utf16LE, at = 2;
    else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF)
        decoded.encoding = ManifestEncoding::Utf16BE, at = 2;
    else if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
        at = 3;
    else if (size >= 2 && (data[0] == 0 || data[1] == 0))
        Refuse("UTF-16 or UTF-32 without a byte-order mark");
    decoded.text.reserve(size - at);
    decoded.offsets.reserve(size - at + 1);
    if (decoded.encoding == ManifestEncoding::Utf8)
    {
        while (end > at && data[end - 1] == 0)
            --end;
        const SingleByte singleByte = at == 0 ? DeclaredSingleByte(data, end) : SingleByte::None;
        if (singleByte == SingleByte::None)
            DecodeUtf8(data, at, end, decoded);
        else
        {
            decoded.encoding = ManifestEncoding::SingleByte;
            DecodeSingleByte(data, at, end, singleByte, decoded);
        }
    }
    else
    {
        if ((end - at) % 2 != 0 && data[end - 1] == 0)
            --end;
        if ((end - at) % 2 != 0)
            Refuse("UTF-16 with an odd number of bytes");
        while (end - at >= 2 && data[end - 1] == 0 && data[end - 2] == 0)
            end -= 2;
        DecodeUtf16(data, at, end, decoded.encoding == ManifestEncoding::Utf16BE, decoded);
    }
    decoded.offsets.push_back(static_cast<uint32_t>(end));
    return decoded;
}

// An element of the root's content, and those of a dependency's content.
struct CSpan
{
    size_t begin = 0;
    size_t end = 0;
    bool asks = false; // a dependentAssembly that asks for Common-Controls 6
    // One that names Common-Controls at another version: its value's range.
    bool otherVersion = false;
    size_t versionBegin = 0;
    size_t versionEnd = 0;
};

struct CRootChild
{
    std::wstring localName;
    CSpan span;
    bool hasText = false;
    std::vector<CSpan> children; // of a dependency
};

struct CAttribute
{
    std::wstring name;
    std::wstring value; // with references replaced and blanks normalised
    size_t valueBegin;  // the value as written, between its quotes
    size_t valueEnd;
};

// A well-formedness parser (XML 1.0 and namespaces, no document type) that
// keeps what the commands need: the root, its children, the dependencies'
// children and whether they ask for the themed look. No recursion: nesting
// depth costs heap, not stack.
class CParser
{
public:
    explicit CParser(const std::wstring& text) : m_text(text) {}

    void Parse(ManifestEncoding encoding);

    std::wstring m_rootPrefix;         // with its colon
    bool m_rootDefaultIsAsmV1 = false; // the default namespace inside the root
    std::wstring m_rootLocalName;
    bool m_rootEmpty = false;
    bool m_rootHasText = false;
    size_t m_rootClose = 0; // where its closing tag begins
    std::vector<CRootChild> m_rootChildren;

private:
    enum class Role
    {
        Root,
        RootChild,
        Dependency,
        DependentAssembly,
        Other,
    };
    struct CFrame
    {
        std::wstring name;
        size_t bindings; // namespace bindings in scope before this element
        Role role;
        size_t child;      // index in m_rootChildren
        size_t grandchild; // index in that child's children
        bool hasText;
    };
    struct CBinding
    {
        std::wstring prefix; // empty for the default namespace
        std::wstring uri;
    };

    bool AtEnd() const { return m_at >= m_text.size(); }
    wchar_t Peek(size_t ahead = 0) const
    {
        return m_at + ahead < m_text.size() ? m_text[m_at + ahead] : 0;
    }
    bool At(const char* literal) const;
    void Expect(const char* literal, const char* reason);
    bool SkipSpace();
    void SkipPast(const wchar_t* end, const char* reason);
    std::wstring Name(const char* reason);
    uint32_t Reference();
    void Declaration(ManifestEncoding encoding);
    void Misc();
    void Comment();
    void ProcessingInstruction();
    void StartTag();
    void EndTag();
    void CharacterData();
    void CData();
    std::wstring AttributeValue();
    void EndElement(const CFrame& frame, size_t end);
    const std::wstring* Namespace(const std::wstring& prefix) const;
    static std::wstring PrefixOf(const std::wstring& name);
    static std::wstring LocalNameOf(const std::wstring& name);
    static void NamesCommonControls(const std::vector<CAttribute>& attributes, CSpan& span);

    const std::wstring& m_text;
    size_t m_at = 0;
    std::vector<CFrame> m_open;
    std::vector<CBinding> m_bindings;
};

bool CParser::At(const char* literal) const
{
    for (size_t i = 0; literal[i]; ++i)
        if (Peek(i) != static_cast<unsigned char>(literal[i]))
            return false;
    return true;
}

void CParser::Expect(const char* literal, const char* reason)
{
    if (!At(literal))
        Refuse(reason);
    m_at += strlen(literal);
}

bool CParser::SkipSpace()
{
    const size_t start = m_at;
    while (!AtEnd() && IsSpace(m_text[m_at]))
        ++m_at;
    return m_at != start;
}

std::wstring CParser::Name(const char* reason)
{
    const size_t start = m_at;
    if (AtEnd() || !IsNameStartChar(m_text[m_at]))
        Refuse(reason);
    while (!AtEnd() && IsNameChar(m_text[m_at]))
        ++m_at;
    std::wstring name = m_text.substr(start, m_at - start);
    // Namespaces: a prefix and a local name, each a name without a colon.
    const size_t colon = name.find(L':');
    if (colon != std::wstring::npos &&
        (colon == 0 || colon + 1 == name.size() || name.find(L':', colon + 1) != name.npos ||
         !IsNameStartChar(name[colon + 1])))
        Refuse("a name that is not a qualified name");
    return name;
}

uint32_t CParser::Reference()
{
    ++m_at; // '&'
    if (Peek() == L'#')
    {
        ++m_at;
        const bool hex = Peek() == L'x';
        if (hex)
            ++m_at;
        uint32_t value = 0;
        size_t digits = 0;
        for (;; ++m_at, ++digits)
        {
            const wchar_t c = Peek();
            unsigned digit;
            if (c >= L'0' && c <= L'9')
                digit = c - L'0';
            else if (hex && c >= L'a' && c <= L'f')
                digit = c - L'a' + 10;
            else if (hex && c >= L'A' && c <= L'F')
                digit = c - L'A' + 10;
            else
                break;
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0x10FFFF)
                Refuse("a character reference out of range");
        }
        if (digits == 0 || !IsXmlChar(value))
            Refuse("a character reference that XML does not allow");
        Expect(";", "a reference without its semicolon");
        return value;
    }
    const std::wstring name = Name("an ampersand that starts no reference");
    Expect(";", "a reference without its semicolon");
    static const struct
    {
        const char* name;
        uint32_t value;
    } entities[] = {{"lt", L'<'}, {"gt", L'>'}, {"amp", L'&'}, {"apos", L'\''}, {"quot", L'"'}};
    for (const auto& entity : entities)
        if (Equals(name, entity.name))
            return entity.value;
    Refuse("an entity that XML does not predefine");
}

void CParser::Declaration(ManifestEncoding encoding)
{
    m_at += 5; // "<?xml", followed by a blank
    SkipSpace();
    auto equals = [&]
    {
        SkipSpace();
        Expect("=", "a declaration attribute without its value");
        SkipSpace();
    };
    auto quoted = [&]
    {
        const wchar_t quote = Peek();
        if (quote != L'"' && quote != L'\'')
            Refuse("a declaration value without quotes");
        const size_t start = ++m_at;
        while (!AtEnd() && m_text[m_at] != quote)
            ++m_at;
        if (AtEnd())
            Refuse("a declaration value without its closing quote");
        return m_text.substr(start, m_at++ - start);
    };
    Expect("version", "a declaration without its version");
    equals();
    const std::wstring version = quoted();
    if (version.size() < 3 || version[0] != L'1' || version[1] != L'.' ||
        !std::all_of(version.begin() + 2, version.end(),
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
        Refuse("an XML version other than 1.x");
    bool space = SkipSpace();
    if (space && At("encoding"))
    {
        m_at += 8;
        equals();
        const std::wstring name = quoted();
        bool known = false;
        switch (encoding)
        {
        case ManifestEncoding::Utf8:
            known = EqualsNoCase(name, "UTF-8");
            break;
        case ManifestEncoding::Utf16LE:
        case ManifestEncoding::Utf16BE:
            known =
                EqualsNoCase(name, "UTF-16") ||
                EqualsNoCase(name, encoding == ManifestEncoding::Utf16LE ? "UTF-16LE" : "UTF-16BE");
            break;
        case ManifestEncoding::SingleByte:
            known = SingleByteNamed(name.data(), name.size()) != SingleByte::None;
            break;
        }
        if (!known)
            Refuse("an encoding other than the text's");
        space = SkipSpace();
    }
    if (space && At("standalone"))
    {
        m_at += 10;
        equals();
        const std::wstring standalone = quoted();
        if (!Equals(standalone, "yes") && !Equals(standalone, "no"))
            Refuse("a standalone value other than yes or no");
        SkipSpace();
    }
    Expect("?>", "a declaration that does not end");
}

// Moves past the next end (a comment's, a CDATA section's, ...), or refuses.
void CParser::SkipPast(const wchar_t* end, const char* reason)
{
    const size_t at = m_text.find(end, m_at);
    if (at == std::wstring::npos)
        Refuse(reason);
    m_at = at + wcslen(end);
}

void CParser::Comment()
{
    m_at += 4; // "<!--"
    SkipPast(L"--", "a comment that does not end");
    Expect(">", "two hyphens inside a comment");
}

void CParser::ProcessingInstruction()
{
    m_at += 2; // "<?"
    const std::wstring target = Name("a processing instruction without a target");
    if (EqualsNoCase(target, "xml"))
        Refuse("a declaration that is not at the start");
    if (!At("?>") && !SkipSpace())
        Refuse("a processing instruction target without a blank after it");
    SkipPast(L"?>", "a processing instruction that does not end");
}

// Comments, processing instructions and blanks, before or after the root.
void CParser::Misc()
{
    for (;;)
    {
        SkipSpace();
        if (At("<!--"))
            Comment();
        else if (At("<?"))
            ProcessingInstruction();
        else
            return;
    }
}

std::wstring CParser::AttributeValue()
{
    const wchar_t quote = Peek();
    if (quote != L'"' && quote != L'\'')
        Refuse("an attribute value without quotes");
    ++m_at;
    std::wstring value;
    for (;;)
    {
        if (AtEnd())
            Refuse("an attribute value without its closing quote");
        const wchar_t c = m_text[m_at];
        if (c == quote)
            break;
        if (c == L'<')
            Refuse("a less-than sign in an attribute value");
        if (c == L'&')
        {
            AppendCodePoint(value, Reference());
            continue;
        }
        // The value as XML hands it on: each line end and blank as one blank.
        if (c == L'\r' && Peek(1) == L'\n')
            ++m_at;
        value.push_back(IsSpace(c) ? L' ' : c);
        ++m_at;
    }
    ++m_at;
    return value;
}

const std::wstring* CParser::Namespace(const std::wstring& prefix) const
{
    for (auto binding = m_bindings.rbegin(); binding != m_bindings.rend(); ++binding)
        if (binding->prefix == prefix)
            return &binding->uri;
    return nullptr;
}

std::wstring CParser::PrefixOf(const std::wstring& name)
{
    const size_t colon = name.find(L':');
    return colon == std::wstring::npos ? std::wstring() : name.substr(0, colon);
}

std::wstring CParser::LocalNameOf(const std::wstring& name)
{
    const size_t colon = name.find(L':');
    return colon == std::wstring::npos ? name : name.substr(colon + 1);
}

// The identity of span's dependentAssembly: it asks for the themed look with
// the name "Microsoft.Windows.Common-Controls" (without case) and a version
// 6.x; with the name and another version it names the classic controls.
void CParser::NamesCommonControls(const std::vector<CAttribute>& attributes, CSpan& span)
{
    const CAttribute* name = nullptr;
    const CAttribute* version = nullptr;
    for (const CAttribute& attribute : attributes)
    {
        if (Equals(attribute.name, "name"))
            name = &attribute;
        else if (Equals(attribute.name, "version"))
            version = &attribute;
    }
    if (!name || !EqualsNoCase(name->value, "Microsoft.Windows.Common-Controls"))
        return;
    // Windows requires the version of a dependency; there is none to change.
    if (!version)
        Refuse("Common-Controls named without a version");
    if (version->value.size() >= 2 && version->value[0] == L'6' && version->value[1] == L'.')
    {
        span.asks = true;
        return;
    }
    span.otherVersion = true;
    span.versionBegin = version->valueBegin;
    span.versionEnd = version->valueEnd;
}

void CParser::StartTag()
{
    const size_t start = m_at++;
    CFrame frame{
        Name("a less-than sign that starts no tag"), m_bindings.size(), Role::Other, 0, 0, false};
    std::vector<CAttribute> attributes;
    for (;;)
    {
        const bool space = SkipSpace();
        if (At(">") || At("/>"))
            break;
        if (!space)
            Refuse("attributes without blanks between them");
        CAttribute attribute{Name("an attribute without a name"), {}, 0, 0};
        SkipSpace();
        Expect("=", "an attribute without its value");
        SkipSpace();
        attribute.valueBegin = m_at + 1;
        attribute.value = AttributeValue();
        attribute.valueEnd = m_at - 1;
        attributes.push_back(std::move(attribute));
    }

    // Namespace declarations first: they apply to the element's own name
    // and attributes.
    static const wchar_t kXmlUri[] = L"http://www.w3.org/XML/1998/namespace";
    for (const CAttribute& attribute : attributes)
    {
        if (Equals(attribute.name, "xmlns"))
            m_bindings.push_back({std::wstring(), attribute.value});
        else if (Equals(PrefixOf(attribute.name), "xmlns"))
        {
            const std::wstring prefix = LocalNameOf(attribute.name);
            if (Equals(prefix, "xmlns") || attribute.value.empty() ||
                (Equals(prefix, "xml") != (attribute.value == kXmlUri)))
                Refuse("a namespace declaration that XML does not allow");
            m_bindings.push_back({prefix, attribute.value});
        }
    }
    auto bound = [&](const std::wstring& prefix)
    { return prefix.empty() || Equals(prefix, "xml") || Namespace(prefix) != nullptr; };
    if (!bound(PrefixOf(frame.name)))
        Refuse("a namespace prefix that is not declared");
    // No attribute twice, by name or by namespace and local name.
    std::vector<std::wstring> names, expanded;
    for (const CAttribute& attribute : attributes)
    {
        names.push_back(attribute.name);
        const std::wstring prefix = PrefixOf(attribute.name);
        if (Equals(prefix, "xmlns") || Equals(attribute.name, "xmlns"))
            continue;
        if (!bound(prefix))
            Refuse("a namespace prefix that is not declared");
        if (prefix.empty())
            expanded.push_back(L'\0' + attribute.name);
        else
            expanded.push_back(
                (Equals(prefix, "xml") ? std::wstring(kXmlUri) : *Namespace(prefix)) + L'\0' +
                LocalNameOf(attribute.name));
    }
    for (auto* list : {&names, &expanded})
    {
        std::sort(list->begin(), list->end());
        if (std::adjacent_find(list->begin(), list->end()) != list->end())
            Refuse("an attribute given twice");
    }

    // What the element is to the commands.
    const std::wstring localName = LocalNameOf(frame.name);
    if (m_open.empty())
    {
        frame.role = Role::Root;
        m_rootPrefix = PrefixOf(frame.name);
        if (!m_rootPrefix.empty())
            m_rootPrefix.push_back(L':');
        const std::wstring* defaultNamespace = Namespace(std::wstring());
        m_rootDefaultIsAsmV1 =
            defaultNamespace && Equals(*defaultNamespace, "urn:schemas-microsoft-com:asm.v1");
        m_rootLocalName = localName;
    }
    else
    {
        const CFrame& parent = m_open.back();
        if (parent.role == Role::Root)
        {
            const bool dependency = Equals(localName, "dependency");
            frame.role = dependency ? Role::Dependency : Role::RootChild;
            frame.child = m_rootChildren.size();
            m_rootChildren.push_back({localName, {start, 0, false}, false, {}});
        }
        else if (parent.role == Role::Dependency)
        {
            frame.role =
                Equals(localName, "dependentAssembly") ? Role::DependentAssembly : Role::Other;
            frame.child = parent.child;
            auto& children = m_rootChildren[parent.child].children;
            frame.grandchild = children.size();
            children.push_back({start, 0, false});
        }
        else if (parent.role == Role::DependentAssembly && Equals(localName, "assemblyIdentity"))
        {
            NamesCommonControls(attributes,
                                m_rootChildren[parent.child].children[parent.grandchild]);
        }
    }

    if (At("/>"))
    {
        m_at += 2;
        if (frame.role == Role::Root)
            m_rootEmpty = true;
        EndElement(frame, m_at);
    }
    else
    {
        ++m_at;
        m_open.push_back(std::move(frame));
    }
}

void CParser::EndElement(const CFrame& frame, size_t end)
{
    m_bindings.resize(frame.bindings);
    switch (frame.role)
    {
    case Role::Root:
        m_rootHasText = frame.hasText;
        break;
    case Role::RootChild:
    case Role::Dependency:
        m_rootChildren[frame.child].span.end = end;
        m_rootChildren[frame.child].hasText = frame.hasText;
        break;
    case Role::DependentAssembly:
        m_rootChildren[frame.child].children[frame.grandchild].end = end;
        break;
    case Role::Other:
        if (!m_open.empty() && m_open.back().role == Role::Dependency)
            m_rootChildren[frame.child].children[frame.grandchild].end = end;
        break;
    }
}

void CParser::EndTag()
{
    const size_t start = m_at;
    m_at += 2; // "</"
    const std::wstring name = Name("an end tag without a name");
    SkipSpace();
    Expect(">", "an end tag that does not end");
    CFrame frame = std::move(m_open.back());
    m_open.pop_back();
    if (name != frame.name)
        Refuse("an end tag that does not match its start tag");
    if (frame.role == Role::Root)
        m_rootClose = start;
    EndElement(frame, m_at);
}

void CParser::CharacterData()
{
    const size_t start = m_at;
    while (!AtEnd() && m_text[m_at] != L'<' && m_text[m_at] != L'&')
        ++m_at;
    const std::wstring::const_iterator first = m_text.begin() + static_cast<long>(start),
                                       last = m_text.begin() + static_cast<long>(m_at);
    static const wchar_t kCDataEnd[] = L"]]>";
    if (std::search(first, last, kCDataEnd, kCDataEnd + 3) != last)
        Refuse("]]> in text");
    if (!std::all_of(first, last, IsSpace))
        m_open.back().hasText = true;
}

void CParser::CData()
{
    m_at += 9; // "<![CDATA["
    SkipPast(L"]]>", "a CDATA section that does not end");
    m_open.back().hasText = true;
}

void CParser::Parse(ManifestEncoding encoding)
{
    if (At("<?xml") && IsSpace(Peek(5)))
        Declaration(encoding);
    Misc();
    if (At("<!DOCTYPE"))
        Refuse("a document type declaration");
    if (Peek() != L'<' || At("<!") || At("</"))
        Refuse("no root element");
    StartTag();
    while (!m_open.empty())
    {
        if (AtEnd())
            Refuse("an element that is not closed");
        if (At("</"))
            EndTag();
        else if (At("<!--"))
            Comment();
        else if (At("<![CDATA["))
            CData();
        else if (At("<?"))
            ProcessingInstruction();
        else if (At("<!"))
            Refuse("a declaration inside an element");
        else if (Peek() == L'<')
            StartTag();
        else if (Peek() == L'&')
        {
            Reference();
            m_open.back().hasText = true;
        }
        else
            CharacterData();
    }
    Misc();
    if (!AtEnd())
        Refuse("text after the root element");
}

// An element's range, widened to its whole line when nothing but blanks
// stands beside it there: the blanks before it and its line end go with it.
CSpan WithOwnLine(const std::wstring& text, CSpan span)
{
    size_t begin = span.begin;
    while (begin > 0 && IsBlank(text[begin - 1]))
        --begin;
    if (begin == 0 || !IsNewline(text[begin - 1]))
        return span;
    size_t end = span.end;
    while (end < text.size() && IsBlank(text[end]))
        ++end;
    if (end == text.size() || !IsNewline(text[end]))
        return span;
    if (text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n')
        ++end;
    return {begin, end + 1, span.asks};
}

// The blanks from the start of the line of the element at at, when only
// blanks precede it there.
bool LeadingBlanks(const std::wstring& text, size_t at, std::wstring& blanks)
{
    size_t begin = at;
    while (begin > 0 && IsBlank(text[begin - 1]))
        --begin;
    if (begin == 0 || !IsNewline(text[begin - 1]))
        return false;
    blanks = text.substr(begin, at - begin);
    return true;
}

// The text's own newline and indentation, for the lines Enable adds.
void Layout(const std::wstring& text, const CParser& parser, CManifestReading& reading)
{
    const size_t newline = text.find_first_of(L"\r\n");
    if (newline != std::wstring::npos)
        reading.newline =
            text[newline] == L'\r' && newline + 1 < text.size() && text[newline + 1] == L'\n'
                ? L"\r\n"
                : text.substr(newline, 1);
    // One level: a tab where the first indented line uses one, else the
    // fewest blanks any line is indented by; none where no line is indented.
    size_t fewest = 0;
    bool tab = false, first = true;
    for (size_t at = 0; at < text.size(); ++at)
    {
        if (!IsNewline(text[at]) ||
            (text[at] == L'\r' && at + 1 < text.size() && text[at + 1] == L'\n'))
            continue;
        size_t end = at + 1;
        while (end < text.size() && IsBlank(text[end]))
            ++end;
        if (end == at + 1 || end == text.size() || IsNewline(text[end]))
            continue;
        if (first)
            tab = text[at + 1] == L'\t';
        first = false;
        if (text.compare(at + 1, end - at - 1, std::wstring(end - at - 1, L' ')) == 0 &&
            (fewest == 0 || end - at - 1 < fewest))
            fewest = end - at - 1;
    }
    reading.indentStep = tab ? L"\t" : std::wstring(fewest, L' ');
    // The root's children are indented as its first child on a line of its
    // own, else one level deeper than its closing tag.
    for (const CRootChild& child : parser.m_rootChildren)
        if (LeadingBlanks(text, child.span.begin, reading.indent))
            return;
    std::wstring closing;
    LeadingBlanks(text, parser.m_rootClose, closing);
    reading.indent = closing + reading.indentStep;
}

// text (UTF-16 where wchar_t holds UTF-16, else code points) in encoding.
ManifestBytes Encode(const std::wstring& text, ManifestEncoding encoding)
{
    ManifestBytes bytes;
    for (size_t i = 0; i < text.size(); ++i)
    {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[++i]) - 0xDC00);
        if (encoding == ManifestEncoding::SingleByte)
        {
            // Read as the code points of the same number: written back the
            // same (what the commands add is ASCII or copied from the text).
            bytes.push_back(static_cast<uint8_t>(c));
            continue;
        }
        if (encoding == ManifestEncoding::Utf8)
        {
            const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
            static const uint8_t kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
            bytes.push_back(static_cast<uint8_t>(kLead[tail] | c >> (6 * tail)));
            for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6)
                bytes.push_back(static_cast<uint8_t>(0x80 | (c >> shift & 0x3F)));
            continue;
        }
        auto unit = [&](uint32_t u)
        {
            const uint8_t high = static_cast<uint8_t>(u >> 8), low = static_cast<uint8_t>(u);
            bytes.push_back(encoding == ManifestEncoding::Utf16BE ? high : low);
            bytes.push_back(encoding == ManifestEncoding::Utf16BE ? low : high);
        };
        if (c < 0x10000)
            unit(c);
        else
            unit(0xD800 + ((c - 0x10000) >> 10)), unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
    return bytes;
}

std::wstring Widen(const char* ascii)
{
    return std::wstring(ascii, ascii + strlen(ascii));
}
} // namespace

CManifestReading ReadManifest(const uint8_t* data, size_t size)
{
    CManifestReading reading;
    try
    {
        const CDecodedText decoded = Decode(data, size);
        reading.encoding = decoded.encoding;
        CParser parser(decoded.text);
        parser.Parse(decoded.encoding);
        if (!Equals(parser.m_rootLocalName, "assembly"))
            Refuse("a root element other than assembly");
        if (parser.m_rootEmpty)
            Refuse("an assembly element without content");

        std::vector<CSpan> spans;
        std::vector<CByteRange> otherVersions;
        for (const CRootChild& child : parser.m_rootChildren)
        {
            for (const CSpan& grandchild : child.children)
                if (grandchild.otherVersion)
                    otherVersions.push_back({decoded.offsets[grandchild.versionBegin],
                                             decoded.offsets[grandchild.versionEnd]});
            size_t asking = 0;
            for (const CSpan& grandchild : child.children)
                asking += grandchild.asks;
            if (asking == 0)
                continue;
            // The whole dependency when it holds nothing else.
            if (asking == child.children.size() && !child.hasText)
                spans.push_back(child.span);
            else
                for (const CSpan& grandchild : child.children)
                    if (grandchild.asks)
                        spans.push_back(grandchild);
        }
        if (spans.empty())
        {
            reading.look = ManifestLook::Classic;
            const std::wstring& text = decoded.text;
            size_t begin = parser.m_rootClose;
            while (begin > 0 && IsBlank(text[begin - 1]))
                --begin;
            reading.ownLines = IsNewline(text[begin - 1]);
            reading.insertAt = decoded.offsets[reading.ownLines ? begin : parser.m_rootClose];
            reading.prefix = parser.m_rootDefaultIsAsmV1 ? std::wstring() : parser.m_rootPrefix;
            reading.otherVersions = std::move(otherVersions);
            Layout(text, parser, reading);
            // As for a cut: only a change that Disable can take back is made.
            if (!reading.otherVersions.empty())
            {
                const ManifestBytes themed = InsertThemedLook(data, size, reading, "X86");
                if (ReadManifest(themed.data(), themed.size()).look != ManifestLook::Themed)
                    Refuse("text that would not be XML with the controls at 6.0");
            }
            return reading;
        }

        reading.look = ManifestLook::Themed;
        reading.nothingLeft = !parser.m_rootHasText;
        for (const CRootChild& child : parser.m_rootChildren)
        {
            const bool cut =
                std::any_of(spans.begin(), spans.end(),
                            [&](const CSpan& span) { return span.begin == child.span.begin; });
            if (!cut && !Equals(child.localName, "assemblyIdentity") &&
                !Equals(child.localName, "description"))
                reading.nothingLeft = false;
        }
        for (const CSpan& span : spans)
        {
            const CSpan line = WithOwnLine(decoded.text, span);
            reading.cuts.push_back({decoded.offsets[line.begin], decoded.offsets[line.end]});
        }
        // Text joined across a cut could read differently ("]]" before the
        // dependency and ">" after it): only a cut that leaves XML is made.
        const ManifestBytes rest = CutThemedLook(data, size, reading);
        if (ReadManifest(rest.data(), rest.size()).look != ManifestLook::Classic)
            Refuse("text that would not be XML without the dependency");
    }
    catch (const CRefusal& refusal)
    {
        CManifestReading refused;
        refused.refusal = refusal.reason;
        refused.encoding = reading.encoding;
        return refused;
    }
    return reading;
}

ManifestBytes InsertThemedLook(const uint8_t* data, size_t size, const CManifestReading& reading,
                               const char* architecture)
{
    if (!reading.otherVersions.empty())
    {
        const ManifestBytes version = Encode(L"6.0.0.0", reading.encoding);
        ManifestBytes themed;
        size_t kept = 0;
        for (const CByteRange& range : reading.otherVersions)
        {
            themed.insert(themed.end(), data + kept, data + range.begin);
            themed.insert(themed.end(), version.begin(), version.end());
            kept = range.end;
        }
        themed.insert(themed.end(), data + kept, data + size);
        return themed;
    }
    const std::wstring& p = reading.prefix;
    const std::wstring identity =
        L"<" + p +
        L"assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
        L"version=\"6.0.0.0\" processorArchitecture=\"" +
        Widen(architecture) + L"\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>";
    std::wstring block;
    if (reading.ownLines)
    {
        const std::wstring& i = reading.indent;
        const std::wstring& s = reading.indentStep;
        const std::wstring& n = reading.newline;
        block = i + L"<" + p + L"dependency>" + n + i + s + L"<" + p + L"dependentAssembly>" + n +
                i + s + s + identity + n + i + s + L"</" + p + L"dependentAssembly>" + n + i +
                L"</" + p + L"dependency>" + n;
    }
    else
    {
        block = L"<" + p + L"dependency><" + p + L"dependentAssembly>" + identity + L"</" + p +
                L"dependentAssembly></" + p + L"dependency>";
    }
    ManifestBytes themed(data, data + reading.insertAt);
    const ManifestBytes inserted = Encode(block, reading.encoding);
    themed.insert(themed.end(), inserted.begin(), inserted.end());
    themed.insert(themed.end(), data + reading.insertAt, data + size);
    return themed;
}

ManifestBytes CutThemedLook(const uint8_t* data, size_t size, const CManifestReading& reading)
{
    ManifestBytes rest;
    rest.reserve(size);
    size_t kept = 0;
    for (const CByteRange& cut : reading.cuts)
    {
        rest.insert(rest.end(), data + kept, data + cut.begin);
        kept = cut.end;
    }
    rest.insert(rest.end(), data + kept, data + size);
    return rest;
}
