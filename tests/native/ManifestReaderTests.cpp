// The manifest reader on texts of every shape a program may carry, with
// AddressSanitizer watching that it never reads past the variant's bytes:
// what it reads each as, and the exact bytes of each command's change.
#include "manifest/ManifestReader.h"
#include "tests/support/TestHarness.h"

#include <cstring>
#include <memory>

namespace
{
const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
const char kAssembly[] =
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">";
const char kIdentity[] =
    "assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
    "version=\"6.0.0.0\" processorArchitecture=\"X86\" "
    "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>";
const char kUac[] = "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security>"
                    "<requestedPrivileges><requestedExecutionLevel level=\"asInvoker\"/>"
                    "</requestedPrivileges></security></trustInfo>";

std::string S(const char* text)
{
    return text;
}

std::string S(const ManifestBytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    return text.replace(text.find(from), from.size(), to);
}

// The bytes in a block of exactly their size, so that a read past them is
// caught.
CManifestReading Read(const std::string& bytes)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
    memcpy(exact.get(), bytes.data(), bytes.size());
    return ReadManifest(exact.get(), bytes.size());
}

const uint8_t* Data(const std::string& bytes)
{
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

std::string Utf16(const std::string& ascii, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii)
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}
} // namespace

// Classic texts: Enable's insertion, to the byte, in each layout.
TEST(EnableInsertsOneDependencyInTheTextsOwnLayout)
{
    const std::string dependency4 = "    <dependency>\n        <dependentAssembly>\n            <" +
                                    S(kIdentity) +
                                    "\n        </dependentAssembly>\n    </dependency>\n";
    const struct
    {
        const char* what;
        std::string text;
        std::string themed;
    } cases[] = {
        {"LF, four blanks, BOM",
         "\xEF\xBB\xBF" + S(kDeclaration) + "\n" + kAssembly + "\n    " + kUac + "\n</assembly>\n",
         "\xEF\xBB\xBF" + S(kDeclaration) + "\n" + kAssembly + "\n    " + kUac + "\n" +
             dependency4 + "</assembly>\n"},
        {"CR only, closing tag indented",
         S(kAssembly) + "\r  <description>x</description>\r  </assembly>",
         S(kAssembly) +
             "\r  <description>x</description>\r  <dependency>\r    <dependentAssembly>\r" +
             "      <" + kIdentity + "\r    </dependentAssembly>\r  </dependency>\r  </assembly>"},
        {"one line", S(kAssembly) + kUac + "</assembly>",
         S(kAssembly) + kUac + "<dependency><dependentAssembly><" + kIdentity +
             "</dependentAssembly></dependency></assembly>"},
        {"prefixed root, tabs",
         "<a:assembly "
         "xmlns:a=\"urn:schemas-microsoft-com:asm.v1\">\r\n\t<a:description/>\r\n</a:assembly>",
         "<a:assembly xmlns:a=\"urn:schemas-microsoft-com:asm.v1\">\r\n\t<a:description/>\r\n"
         "\t<a:dependency>\r\n\t\t<a:dependentAssembly>\r\n\t\t\t<a:" +
             S(kIdentity) + "\r\n\t\t</a:dependentAssembly>\r\n\t</a:dependency>\r\n</a:assembly>"},
        {"NULs after the text", S(kAssembly) + "\n</assembly>\n" + std::string(3, '\0'),
         S(kAssembly) + "\n<dependency>\n<dependentAssembly>\n<" + kIdentity +
             "\n</dependentAssembly>\n</dependency>\n</assembly>\n" + std::string(3, '\0')},
        // The Visual Studio 2008 .NET template: the default namespace is
        // asm.v1 as well, so the elements added carry no prefix.
        {"prefixed root, default namespace asm.v1",
         "<asmv1:assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
         "xmlns:asmv1=\"urn:schemas-microsoft-com:asm.v1\">\n  <description/>\n</asmv1:assembly>",
         S("<asmv1:assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
           "xmlns:asmv1=\"urn:schemas-microsoft-com:asm.v1\">\n  <description/>\n"
           "  <dependency>\n    <dependentAssembly>\n      <") +
             kIdentity + "\n    </dependentAssembly>\n  </dependency>\n</asmv1:assembly>"},
        // Declared single-byte code pages are read; the block is ASCII.
        {"windows-1252 with an accent",
         "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>" + S(kAssembly) +
             "<description>caf\xE9</description></assembly>",
         "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>" + S(kAssembly) +
             "<description>caf\xE9</description><dependency><dependentAssembly><" + kIdentity +
             "</dependentAssembly></dependency></assembly>"},
        {"us-ascii", "<?xml version='1.0' encoding='us-ascii'?>" + S(kAssembly) + "</assembly>",
         "<?xml version='1.0' encoding='us-ascii'?>" + S(kAssembly) +
             "<dependency><dependentAssembly><" + kIdentity +
             "</dependentAssembly></dependency></assembly>"},
    };
    for (const auto& c : cases)
    {
        const CManifestReading reading = Read(c.text);
        CHECK_EQ(int(reading.look), int(ManifestLook::Classic));
        if (reading.look != ManifestLook::Classic)
        {
            testing::Fail(__FILE__, __LINE__,
                          c.what + std::string(": ") + (reading.refusal ? reading.refusal : ""));
            continue;
        }
        const std::string themed = S(InsertThemedLook(Data(c.text), c.text.size(), reading, "X86"));
        CHECK_EQ(themed, c.themed);
        // Disable takes exactly that block out again.
        const CManifestReading again = Read(themed);
        CHECK_EQ(again.cuts.size(), size_t(1));
        CHECK_EQ(S(CutThemedLook(Data(themed), themed.size(), again)), c.text);
    }

    // UTF-16 in both byte orders: the block in the text's own encoding.
    for (bool bigEndian : {false, true})
    {
        const std::string text =
            Utf16(Replaced(kDeclaration, "UTF-8", "UTF-16") + "\n" + kAssembly + "\n</assembly>",
                  bigEndian);
        const CManifestReading reading = Read(text);
        CHECK_EQ(int(reading.look), int(ManifestLook::Classic));
        CHECK_EQ(S(InsertThemedLook(Data(text), text.size(), reading, "amd64")),
                 Utf16(Replaced(kDeclaration, "UTF-8", "UTF-16") + "\n" + kAssembly +
                           "\n<dependency>\n<dependentAssembly>\n<" +
                           Replaced(kIdentity, "X86", "amd64") +
                           "\n</dependentAssembly>\n</dependency>\n</assembly>",
                       bigEndian));
    }
}

// What asks for the themed look, and what Disable cuts of it.
TEST(DisableCutsOnlyTheDependencyThatAsks)
{
    const std::string vc90 =
        "<dependentAssembly><assemblyIdentity type=\"win32\" "
        "name=\"Microsoft.VC90.CRT\" version=\"9.0.21022.8\"/></dependentAssembly>";
    const struct
    {
        const char* what;
        std::string text;
        ManifestLook look;
        std::string classic; // after Disable
        bool nothingLeft;
    } cases[] = {
        {"the tool's own shape",
         S(kAssembly) + "\r\n<assemblyIdentity name=\"x\" version=\"1.0.0.0\"/>\r\n" +
             "<description>d</description>\r\n<dependency>\r\n<dependentAssembly>\r\n<" +
             kIdentity + "\r\n</dependentAssembly>\r\n</dependency> \r\n</assembly>",
         ManifestLook::Themed,
         S(kAssembly) + "\r\n<assemblyIdentity name=\"x\" version=\"1.0.0.0\"/>\r\n" +
             "<description>d</description>\r\n</assembly>",
         true},
        {"beside a runtime in one dependency",
         S(kAssembly) + "\n  <dependency>\n    " + vc90 + "\n    <dependentAssembly><" + kIdentity +
             "</dependentAssembly>\n  </dependency>\n</assembly>",
         ManifestLook::Themed,
         S(kAssembly) + "\n  <dependency>\n    " + vc90 + "\n  </dependency>\n</assembly>", false},
        {"on one line with the UAC request",
         S(kAssembly) + kUac + "<dependency><dependentAssembly><" + kIdentity +
             "</dependentAssembly></dependency></assembly>",
         ManifestLook::Themed, S(kAssembly) + kUac + "</assembly>", false},
        {"name without case, version 6.x, single quotes, a reference",
         S(kAssembly) + "<dependency><dependentAssembly><assemblyIdentity "
                        "name='MICROSOFT.windows.Common&#x2D;Controls' version='6.0.2600.0'/>"
                        "</dependentAssembly></dependency></assembly>",
         ManifestLook::Themed, S(kAssembly) + "</assembly>", true},
        {"named in a comment and in text",
         S(kAssembly) + "<!-- <dependency><dependentAssembly><" + kIdentity +
             "</dependentAssembly></dependency> "
             "--><description><![CDATA[<dependency><dependentAssembly><" +
             kIdentity + "</dependentAssembly></dependency>]]></description></assembly>",
         ManifestLook::Classic, "", false},
        {"a dependency that is not the root's",
         S(kAssembly) + "<file name=\"a.dll\"><dependency><dependentAssembly><" + kIdentity +
             "</dependentAssembly></dependency></file></assembly>",
         ManifestLook::Classic, "", false},
    };
    for (const auto& c : cases)
    {
        const CManifestReading reading = Read(c.text);
        CHECK_EQ(int(reading.look), int(c.look));
        if (reading.look != c.look)
            testing::Fail(__FILE__, __LINE__, c.what);
        if (reading.look != ManifestLook::Themed)
            continue;
        CHECK_EQ(S(CutThemedLook(Data(c.text), c.text.size(), reading)), c.classic);
        CHECK_EQ(reading.nothingLeft, c.nothingLeft);
    }
}

// Common-Controls named at another version (5.82, the classic controls):
// classic, and Enable changes that version in place, every other byte kept,
// for any encoding, since a second dependency would name two versions of one
// assembly, which Windows refuses.
TEST(EnableChangesAnotherVersionOfTheControlsInPlace)
{
    const std::string identity582 = Replaced(kIdentity, "6.0.0.0", "5.82.0.0");
    const std::string text = S(kAssembly) + "\n  <dependency>\n    <dependentAssembly><" +
                             identity582 + "</dependentAssembly>\n  </dependency>\n</assembly>";
    const struct
    {
        std::string text;
        std::string themed;
    } cases[] = {
        {text, Replaced(text, "5.82.0.0", "6.0.0.0")},
        {Utf16(text, true), Utf16(Replaced(text, "5.82.0.0", "6.0.0.0"), true)},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>" + Replaced(text, "5.82.0.0", "5.82"),
         "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>" +
             Replaced(text, "5.82.0.0", "6.0.0.0")},
    };
    for (const auto& c : cases)
    {
        const CManifestReading reading = Read(c.text);
        CHECK_EQ(int(reading.look), int(ManifestLook::Classic));
        CHECK_EQ(reading.otherVersions.size(), size_t(1));
        if (reading.look != ManifestLook::Classic)
            continue;
        const std::string themed = S(InsertThemedLook(Data(c.text), c.text.size(), reading, "X86"));
        CHECK_EQ(themed, c.themed);
        // It now asks, and Disable cuts that dependency as any other.
        const CManifestReading again = Read(themed);
        CHECK_EQ(int(again.look), int(ManifestLook::Themed));
        CHECK_EQ(again.cuts.size(), size_t(1));
    }
}

// Each text the reader cannot be sure of is refused by the check that
// catches it.
TEST(TextsThatAreNotXmlAreRefusedForTheirReason)
{
    const std::string close = "</assembly>";
    const struct
    {
        std::string text;
        const char* refusal;
    } cases[] = {
        {"", "no root element"},
        {S(kAssembly) + "<x:description/>" + close, "a namespace prefix that is not declared"},
        {"<!DOCTYPE assembly>" + S(kAssembly) + close, "a document type declaration"},
        {S(kAssembly) + "<description>" + close, "an end tag that does not match its start tag"},
        {S(kAssembly) + "<description a='1' a='2'/>" + close, "an attribute given twice"},
        {S(kAssembly) + "<description>Tools & more</description>" + close,
         "an ampersand that starts no reference"},
        {S(kAssembly) + "<description>&nbsp;</description>" + close,
         "an entity that XML does not predefine"},
        {S(kAssembly) + "<description>caf\xE9</description>" + close, "bytes that are not UTF-8"},
        {std::string("<\0a\0", 4), "UTF-16 or UTF-32 without a byte-order mark"},
        // The bytes and the declaration disagree.
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + S(kAssembly) + close,
         "an encoding other than the text's"},
        {"<?xml version=\"1.0\" encoding=\"us-ascii\"?>" + S(kAssembly) +
             "<description>caf\xE9</description>" + close,
         "bytes outside US-ASCII, the declared encoding"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-12\"?>" + S(kAssembly) + close,
         "an encoding other than the text's"},
        {Utf16("<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + S(kAssembly) + close, false),
         "an encoding other than the text's"},
        {S(kAssembly) +
             "<dependency><dependentAssembly><assemblyIdentity "
             "name=\"Microsoft.Windows.Common-Controls\"/></dependentAssembly>"
             "</dependency>" +
             close,
         "Common-Controls named without a version"},
        {"<configuration/>", "a root element other than assembly"},
        {"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\"/>",
         "an assembly element without content"},
        {S(kAssembly) + close + "x", "text after the root element"},
        {S(kAssembly) + "<!-- a -- b -->" + close, "two hyphens inside a comment"},
        {S(kAssembly) + "<?xml version=\"1.0\"?>" + close,
         "a declaration that is not at the start"},
        {S(kAssembly) + "<description>a\x01</description>" + close,
         "a character that XML does not allow"},
        {S(kAssembly) + "<description>", "an element that is not closed"},
        // Cut out, the dependency would join "]]" and ">" into text XML refuses.
        {S(kAssembly) + "]]<dependency><dependentAssembly><" + kIdentity +
             "</dependentAssembly></dependency>>" + close,
         "text that would not be XML without the dependency"},
    };
    for (const auto& c : cases)
    {
        const CManifestReading reading = Read(c.text);
        CHECK_EQ(int(reading.look), int(ManifestLook::NotXml));
        CHECK_EQ(S(reading.refusal ? reading.refusal : "(read)"), S(c.refusal));
    }
}

// Cut short anywhere, a themed text is refused, never read past its end;
// nested ten thousand deep it is read without running out of stack.
TEST(ShortAndDeepTextsAreReadSafely)
{
    const std::string text =
        "\xFF\xFE" + Utf16(S(kAssembly) + "<dependency><dependentAssembly><" + kIdentity +
                               "</dependentAssembly></dependency></assembly>",
                           false)
                         .substr(2);
    for (size_t length = 0; length < text.size(); ++length)
        CHECK(Read(text.substr(0, length)).look == ManifestLook::NotXml);
    CHECK(Read(text).look == ManifestLook::Themed);

    std::string deep = kAssembly;
    for (int i = 0; i < 10000; ++i)
        deep += "<a>";
    for (int i = 0; i < 10000; ++i)
        deep += "</a>";
    deep += "</assembly>";
    CHECK(Read(deep).look == ManifestLook::Classic);
}
