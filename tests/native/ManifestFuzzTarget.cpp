// libFuzzer entry for the manifest reader: no input crashes or hangs it, and
// every change it makes reads back as the original with exactly the block
// inserted, the versions named changed or the reported ranges cut out, and
// reads as the other look.
#include "manifest/ManifestReader.h"

#include <cstdlib>
#include <string>

namespace
{
void Require(bool condition)
{
    if (!condition)
        abort();
}

std::string Text(const ManifestBytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

const uint8_t* Bytes(const std::string& text)
{
    return reinterpret_cast<const uint8_t*>(text.data());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string original(reinterpret_cast<const char*>(data), size);
    const CManifestReading reading = ReadManifest(data, size);
    Require((reading.look == ManifestLook::NotXml) == (reading.refusal != nullptr));
    if (reading.look == ManifestLook::Classic && !reading.otherVersions.empty())
    {
        // Only the versions named change, and the text then asks.
        const std::string themed = Text(InsertThemedLook(data, size, reading, "X86"));
        const CByteRange first = reading.otherVersions.front(), last = reading.otherVersions.back();
        Require(first.begin <= last.end && last.end <= size);
        Require(themed.compare(0, first.begin, original, 0, first.begin) == 0);
        Require(themed.size() >= size - last.end &&
                themed.compare(themed.size() - (size - last.end), std::string::npos, original,
                               last.end, std::string::npos) == 0);
        Require(ReadManifest(Bytes(themed), themed.size()).look == ManifestLook::Themed);
    }
    else if (reading.look == ManifestLook::Classic)
    {
        // One block inserted at insertAt, and nothing else changed.
        const std::string themed = Text(InsertThemedLook(data, size, reading, "X86"));
        Require(reading.insertAt <= size && themed.size() > size);
        const size_t added = themed.size() - size;
        Require(themed.compare(0, reading.insertAt, original, 0, reading.insertAt) == 0);
        Require(themed.compare(reading.insertAt + added, std::string::npos, original,
                               reading.insertAt, std::string::npos) == 0);
        // It asks once, and Disable gives back every byte.
        const CManifestReading again = ReadManifest(Bytes(themed), themed.size());
        Require(again.look == ManifestLook::Themed && again.cuts.size() == 1);
        Require(again.cuts[0].begin == reading.insertAt &&
                again.cuts[0].end == reading.insertAt + added);
        Require(Text(CutThemedLook(Bytes(themed), themed.size(), again)) == original);
    }
    else if (reading.look == ManifestLook::Themed)
    {
        // The ranges cut, in order and apart, and nothing else.
        size_t kept = 0, cut = 0;
        for (const CByteRange& range : reading.cuts)
        {
            Require(kept <= range.begin && range.begin < range.end && range.end <= size);
            cut += range.end - range.begin;
            kept = range.end;
        }
        const std::string classic = Text(CutThemedLook(data, size, reading));
        Require(classic.size() == size - cut);
        Require(ReadManifest(Bytes(classic), classic.size()).look == ManifestLook::Classic);
    }
    return 0;
}
