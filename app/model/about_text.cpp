#include "about_text.h"

std::string ArchitectureName(std::string_view buildArchitecture) {
    if (buildArchitecture == "i386") return "x86";
    if (buildArchitecture == "x86_64") return "x64";
    if (buildArchitecture.starts_with("arm")) return "ARM";
    if (buildArchitecture == "ia64") return "Itanium";
    return {};
}

std::vector<std::string> AboutLines(std::string_view version, std::string_view buildArchitecture) {
    const std::string architecture = ArchitectureName(buildArchitecture);
    std::string versionLine = "Version " + std::string(version);
    if (!architecture.empty()) versionLine += " (" + architecture + ")";
    return {
        "Pictor",
        versionLine,
        "QVT 32-Bit Codec Version:\t7.21.02",
        "KLDExt Codec Version:\t\t3.21.02",
        "PixMap Version:\t\t\t2.21.02",
        "Copyright \u00a9 Tarvik",
    };
}
