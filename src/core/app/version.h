// The program's version and its maker, one place for the about box and both programs' --version.
#pragma once

// Four numbers, major.minor.release.build, from the project version of the build.
const char* ProgramVersion();

// The maker of the Orvex devices, whose name, notice and web address the about box shows and
// whose logo opens that address. The address is a reserved example domain.
constexpr const char* kMakerName = "Orvex s.r.o.";
constexpr const char* kMakerNotice = "Copyright \u00a9 2026";
constexpr const char* kMakerWebAddress = "https://www.example.com/";
