// The slapd that runs the plug-in. A few things slapd offers plug-ins only
// through its own records (the reply record of intermediate responses, the
// modification list of its value check); their layout is known for slapd
// 2.5, so they are used only when the running slapd says it is a 2.5
// release.
#ifndef SLAPD_PLUGIN_SLAPD_VERSION_H
#define SLAPD_PLUGIN_SLAPD_VERSION_H

#include <dlfcn.h>

#include <string>
#include <string_view>

namespace adminext {

// Whether a slapd version text ("... slapd 2.5.13+dfsg-5 (...) ...") names a
// release whose records this plug-in knows: 2.5.x.
inline bool known_slapd_layout(std::string_view version)
{
    std::size_t at = version.find("slapd ");
    if (at == std::string_view::npos)
        return false;
    std::string_view number = version.substr(at + 6);
    return number.size() > 4 && number.substr(0, 4) == "2.5." && number[4] >= '0' && number[4] <= '9';
}

// The running slapd's version text; empty when it gives none.
inline std::string running_slapd_version()
{
    const auto* version = static_cast<const char*>(dlsym(RTLD_DEFAULT, "Versionstr"));
    return version != nullptr ? std::string(version) : std::string();
}

}  // namespace adminext

#endif
