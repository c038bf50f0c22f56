#include "ManifestTemplate.h"

#include <cstdio>

const char kTemplateArchitecture[] = "processorArchitecture=\"X86\"";
const char kVersionPlaceholder[] = "%AppVersion%";
const char kNamePlaceholder[] = "%AppName%";

void FormatVersionText(uint32_t packed, int build, char (&buffer)[32])
{
    const int major = static_cast<int>(packed >> 24);
    const int minor = static_cast<int>((packed >> 16) & 0xFF);
    const int release = static_cast<int>(packed & 0xFFFF);
    snprintf(buffer, sizeof buffer, "%d.%d.%d.%d", major, minor, release, build);
}
