// libFuzzer entry: any input either is refused as a bad image or gives an
// image that the core reads back with the change made and nothing else lost.
#include "pe/ResourceEditor.h"

#include <cstdlib>

using namespace pe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ResName type = ResName::Id(24), one = ResName::Id(1), neutral = ResName::Id(0);
    try
    {
        ResourceEditor editor(Bytes(data, data + size));
        const size_t before = editor.Tree().Root().entries.size();
        editor.Tree().Set(type, one, neutral, Bytes(64, 'm'));
        const Bytes added = editor.Build();
        ResourceEditor again(added);
        const auto& types = again.Tree().Root().entries;
        if (types.size() < before || types.count(type) != 1 ||
            types.at(type).entries.at(one).entries.count(neutral) != 1)
            abort();
        again.Tree().Remove(type, one, neutral);
        ResourceEditor third(again.Build());
    }
    catch (const BadImage&)
    {
    }
    return 0;
}
