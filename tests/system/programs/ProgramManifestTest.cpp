// Each program carries a manifest that has Windows run it with the rights of the user who
// started it: a legacy program's writes to Program Files and HKEY_LOCAL_MACHINE would go to that
// user's own copies and pass for a success. Nothing else in it may change how the programs look
// or behave.
#include "Process.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// The manifest resource a program starts with; empty when it has none.
AnsiString ManifestOf(const AnsiString& program) {
    const ModuleHandle module(LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return {};
    const HRSRC resource = FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const HGLOBAL data = resource ? LoadResource(module.get(), resource) : nullptr;
    const auto* text = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    return text ? AnsiString(text, SizeofResource(module.get(), resource)) : AnsiString();
}

TEST(ProgramManifest, RunsAsTheInvokerAndChangesNothingElse) {
    std::istringstream programs(PROGRAMS);
    for (std::string program; std::getline(programs, program, '|');) {
        SCOPED_TRACE(program);
        const AnsiString manifest = ManifestOf(DosPath(program.c_str()));
        ASSERT_FALSE(manifest.empty());
        EXPECT_NE(
            manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            AnsiString::npos);
        // No side-by-side assembly (such as version 6 of the common controls) and no other
        // statement of the Windows versions it was made for.
        for (const char* changes : {"<dependency", "<compatibility", "<application", "<file"})
            EXPECT_EQ(manifest.find(changes), AnsiString::npos) << changes;
    }
}

} // namespace
