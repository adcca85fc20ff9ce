// The About box's text: the program's version, the processor it was built for and the versions
// of its codecs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The processor architecture as the About box names it ("x86", "x64", "ARM", "Itanium"), from
// the build's architecture name ("i386", "x86_64", "arm64", ...); empty for any other.
std::string ArchitectureName(std::string_view buildArchitecture);

// The lines of the About box for the program `version` ("0.1") built for `buildArchitecture`.
std::vector<std::string> AboutLines(std::string_view version, std::string_view buildArchitecture);
