// Every PE file under the folders given as arguments (Debian's Wine ships
// hundreds, many with resources in dozens of languages) goes through the
// core: no change, manifest 1 added, deleted again. At each step every other
// resource reads back identical and every other section is unchanged.
#include "PeCheck.h"
#include "tests/support/TestHarness.h"

#include <dirent.h>
#include <sys/stat.h>

using namespace pe;

namespace
{
std::vector<std::string> PeFiles()
{
    std::vector<std::string> files;
    for (const std::string& folder : testing::Arguments())
    {
        DIR* dir = opendir(folder.c_str());
        if (!dir)
            continue;
        while (dirent* entry = readdir(dir))
        {
            const std::string path = folder + "/" + entry->d_name;
            struct stat info;
            if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
                continue;
            FILE* f = fopen(path.c_str(), "rb");
            char magic[2] = {};
            if (f && fread(magic, 1, 2, f) == 2 && magic[0] == 'M' && magic[1] == 'Z')
                files.push_back(path);
            if (f)
                fclose(f);
        }
        closedir(dir);
    }
    return files;
}

Bytes Edit(const Bytes& file, int step)
{
    ResourceEditor editor(file);
    const ResName type = ResName::Id(24), one = ResName::Id(1), neutral = ResName::Id(0);
    if (step == 1)
        editor.Tree().Set(type, one, neutral, Bytes(700, 'm'));
    else if (step == 2)
        editor.Tree().Remove(type, one, neutral);
    return editor.Build();
}
} // namespace

TEST(WinesOwnFilesGoThroughTheCore)
{
    const std::vector<std::string> files = PeFiles();
    CHECK(files.size() >= 100);
    size_t withResources = 0, languages = 0;
    for (const std::string& path : files)
    {
        const Bytes file = pecheck::ReadFile(path);
        try
        {
            pecheck::Flat original = pecheck::Flatten(file);
            withResources += original.empty() ? 0 : 1;
            for (const auto& entry : original)
                languages = std::max<size_t>(languages, std::get<2>(entry.first).id);
            const Bytes same = Edit(file, 0);
            const Bytes added = Edit(same, 1);
            const Bytes deleted = Edit(added, 2);
            pecheck::Flat withManifest = original;
            withManifest[{ResName::Id(24), ResName::Id(1), ResName::Id(0)}] = {Bytes(700, 'm'), 0};
            pecheck::Flat without = original;
            without.erase({ResName::Id(24), ResName::Id(1), ResName::Id(0)});
            const std::string sameSections = pecheck::CompareOtherSections(file, same);
            const std::string addedSections = pecheck::CompareOtherSections(same, added);
            const std::string deletedSections = pecheck::CompareOtherSections(added, deleted);
            if (!(pecheck::Flatten(same) == original) ||
                !(pecheck::Flatten(added) == withManifest) ||
                !(pecheck::Flatten(deleted) == without) || !sameSections.empty() ||
                !addedSections.empty() || !deletedSections.empty())
                testing::Fail(__FILE__, __LINE__,
                              path + ": " + sameSections + addedSections + deletedSections);
        }
        catch (const BadImage&)
        {
            testing::Fail(__FILE__, __LINE__, path + ": refused as a bad image");
        }
    }
    printf("  %zu files, %zu with resources\n", files.size(), withResources);
    CHECK(withResources >= 50);
}
