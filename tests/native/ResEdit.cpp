// resedit IN OUT [set TYPE NAME LANG FILE | delete TYPE NAME LANG]...
// Applies the changes with the resource writer's core and streams OUT from
// IN (flushed to disk), so that scripts can check the result with
// independent PE readers and time it. TYPE and NAME are numbers or strings;
// exit code 3 for a refused image, 4 for a failed read or write.
#include "PeCheck.h"
#include "PosixFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace pe;

namespace
{
ResName Parse(const char* text)
{
    char* end = nullptr;
    const unsigned long value = strtoul(text, &end, 0);
    if (*text && !*end && value <= 0xFFFF)
        return ResName::Id(static_cast<uint16_t>(value));
    std::u16string name;
    for (const char* c = text; *c; ++c)
        name += static_cast<char16_t>(static_cast<unsigned char>(*c));
    return ResName::Named(name);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr, "usage: resedit IN OUT [set T N L FILE | delete T N L]...\n");
        return 2;
    }
    try
    {
        pecheck::PosixSource source(argv[1]);
        if (!source.IsOpen())
        {
            fprintf(stderr, "resedit: cannot open %s\n", argv[1]);
            return 4;
        }
        ResourceEditor editor(source);
        for (int i = 3; i < argc;)
        {
            if (!strcmp(argv[i], "set") && i + 4 < argc)
            {
                editor.Tree().Set(Parse(argv[i + 1]), Parse(argv[i + 2]), Parse(argv[i + 3]),
                                  pecheck::ReadFile(argv[i + 4]));
                i += 5;
            }
            else if (!strcmp(argv[i], "delete") && i + 3 < argc)
            {
                editor.Tree().Remove(Parse(argv[i + 1]), Parse(argv[i + 2]), Parse(argv[i + 3]));
                i += 4;
            }
            else
            {
                fprintf(stderr, "resedit: bad argument %s\n", argv[i]);
                return 2;
            }
        }
        const FilePlan plan = editor.Plan();
        pecheck::PosixSink sink(argv[2]);
        if (!sink.IsOpen())
        {
            fprintf(stderr, "resedit: cannot create %s\n", argv[2]);
            return 4;
        }
        WritePlan(plan, source, sink);
        sink.Sync();
        return 0;
    }
    catch (const IoError&)
    {
        fprintf(stderr, "resedit: a read or write failed\n");
        return 4;
    }
    catch (const BadImage& bad)
    {
        fprintf(stderr, "resedit: refused: %s\n", bad.reason);
        return 3;
    }
}
