// Asking the platform whether it would start a program with its manifest:
// the loader builds an activation context from manifest 1 before a program
// runs, and refuses to start it when that fails. Its own parser and binder
// are the judge, not ours.
#pragma once

#include <windows.h>

// Whether this process can judge programs for machine (IMAGE_FILE_MACHINE_*):
// the platform binds the assemblies of the process's own processor. Whether
// it binds another processor's for it is not documented (Wine does not), and
// a refusal there would only say what this machine lacks.
bool JudgesProcessor(WORD machine);

enum class ContextVerdict
{
    Builds,
    Refused,
    // The platform could not try: it maps the whole file, and a 32-bit
    // process may have no room for one of a gigabyte or more (an
    // installer), or the file could not be opened (a scanner holding it).
    // No verdict on the manifest.
    Unknown,
};

// Whether the platform builds an activation context from the variant of
// manifest 1 in language of the program file at path, a program for
// machine: its text parsed, its dependencies bound (those private to the
// program looked for in the file's folder). Only success counts, but for a
// failure to open or map the file: Windows gives one error
// (ERROR_SXS_CANT_GEN_ACTCTX) for most causes.
ContextVerdict JudgeActivationContext(LPCWSTR path, WORD language, WORD machine);
